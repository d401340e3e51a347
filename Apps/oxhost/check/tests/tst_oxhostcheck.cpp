// oxhost's data-quality check as users run it: the check command's verdicts, exit statuses, JSON
// and CSV, and oxHost.check on the model in the scene.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

class tst_OxhostCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void exitStatusFollowsTheWorstVerdict_data();
    void exitStatusFollowsTheWorstVerdict();
    void eachPartGetsVersionedJsonAndTheFindingsOneCsv();
    void scriptCheckNumbersEdgesAsContinuityDoes();
    void scriptCheckRefusesWhatItCannotCheck();
    void reportHasTheLastCheckOfTheModel_data();
    void reportHasTheLastCheckOfTheModel();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void tst_OxhostCheck::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const OxhostResult r = oxhost({"-c", QString("oxHost.writeCadSample('filletedbox', r'%1')\n"
                                                 "oxHost.writeCadSample('sphere', r'%2')")
                                             .arg(path("box.brep"), path("sphere.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(writeTestFile(path("broken.step"), "ISO-10303-21;\nthis is not a part\n"));
    QVERIFY(writeTestFile(path("mesh.stl"), "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                                            "vertex 0 1 0\nendloop\nendfacet\nendsolid s\n"));
    // Class A with curvature jumps as errors: the filleted box fails it along its eight fillet edges.
    QVERIFY(writeTestFile(path("strict.json"),
                          "{\"base\": \"class-a\", \"criteria\": {\"G2_BREAK\": {\"severity\": \"error\"}}}"));
    QVERIFY(writeTestFile(path("bad.json"), "{\n  \"base\": \"class-a\",\n  \"treshold\": 1\n}\n"));
}

void tst_OxhostCheck::exitStatusFollowsTheWorstVerdict_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("clean parts pass") << QStringList{"box.brep", "sphere.brep"} << 0 << "box.brep: pass";
    QTest::newRow("warnings still pass") << QStringList{"box.brep", "--profile", "class-a"} << 0 << "box.brep: warning";
    QTest::newRow("an error fails") << QStringList{"sphere.brep", "box.brep", "--profile=strict.json"} << 1
                                    << "box.brep: fail";
    QTest::newRow("an unreadable file is not checked")
        << QStringList{"box.brep", "broken.step"} << 3 << "broken.step: error: cannot read CAD file";
    QTest::newRow("a lone triangle's edges warn")
        << QStringList{"mesh.stl"} << 0 << "mesh.stl: warning (0 errors, 3 warnings shown)";
    QTest::newRow("a missing file") << QStringList{"none.step"} << 3 << "none.step: error:";
    QTest::newRow("a bad profile") << QStringList{"box.brep", "--profile", "bad.json"} << 2
                                   << "cannot read check profile \"bad.json\": line 3: unknown key \"treshold\"";
    QTest::newRow("no file") << QStringList{"--profile", "class-a"} << 2 << "check needs at least one file";
    QTest::newRow("an unknown option") << QStringList{"box.brep", "--prof"} << 2 << "unknown option \"--prof\"";
}

void tst_OxhostCheck::exitStatusFollowsTheWorstVerdict()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir out;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString here = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const OxhostResult r = oxhost(QStringList{"check"} + args + QStringList{"--out", out.path()});
    QDir::setCurrent(here);
    QVERIFY2(r.status == status, qPrintable(r.out + r.err));
    QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
}

void tst_OxhostCheck::eachPartGetsVersionedJsonAndTheFindingsOneCsv()
{
    QTemporaryDir out;
    const OxhostResult r =
        oxhost({"check", path("box.brep"), path("sphere.brep"), "--profile", "class-a", "--out", out.path()});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QJsonObject box = QJsonDocument::fromJson(readTestFile(out.filePath("box.check.json"))).object();
    QCOMPARE(box["schema"].toString(), QString("oxhost-check"));
    QCOMPARE(box["version"].toInt(), 1);
    QCOMPARE(box["verdict"].toString(), QString("warning"));
    QCOMPARE(box["profile"].toString(), QString("class-a"));
    QCOMPARE(box["counts"].toObject()["G2_BREAK"].toInt(), 8);
    const QJsonArray findings = box["findings"].toArray();
    QCOMPARE(findings.size(), 8);
    const QJsonObject first = findings[0].toObject();
    QCOMPARE(first["code"].toString(), QString("G2_BREAK"));
    QCOMPARE(first["entity"].toString(), QString("edge"));
    QVERIFY(first["message"].toString().startsWith("edge " + QString::number(first["index"].toInt()) + ": "));
    const QJsonObject sphere = QJsonDocument::fromJson(readTestFile(out.filePath("sphere.check.json"))).object();
    QCOMPARE(sphere["verdict"].toString(), QString("pass"));
    const QStringList csv =
        QString::fromUtf8(readTestFile(out.filePath("findings.csv"))).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 9);
    QCOMPARE(csv[0], QString("file,code,severity,value,threshold,entity,index,x,y,z,message"));
    QVERIFY(csv[1].startsWith(path("box.brep") + ",G2_BREAK,warning,"));
}

void tst_OxhostCheck::scriptCheckNumbersEdgesAsContinuityDoes()
{
    const OxhostResult r =
        oxhost({"-c", QString("oxHost.loadMesh(r'%1')\n"
                              "r = oxHost.check('class-a')\n"
                              "edges = oxHost.continuity()\n"
                              "print(r['verdict'], r['counts']['G2_BREAK'], len(r['findings']))\n"
                              "print(sorted(set(edges[f['index']]['class'] for f in r['findings'])))\n"
                              "print(oxHost.check()['verdict'])")
                          .arg(path("box.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    // The findings' edges are the tangent ones continuity() finds curvature jumps on.
    QCOMPARE(r.out, QString("warning 8 8\n['G1']\npass\n"));
}

void tst_OxhostCheck::scriptCheckRefusesWhatItCannotCheck()
{
    const OxhostResult r = oxhost({"-c", QString("r = oxHost.check()\n"
                                                 "print(r['verdict'], r['findings'])\n"
                                                 "try:\n    oxHost.check(r'%1')\n"
                                                 "except ValueError as e:\n    print(e)")
                                             .arg(path("bad.json"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.startsWith("error []\ncannot read check profile \"" + path("bad.json") + "\": line 3: unknown key"),
             qPrintable(r.out));
}

void tst_OxhostCheck::reportHasTheLastCheckOfTheModel_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("verdict"); // empty: no check section
    QTest::addColumn<QString>("row");     // a criterion's row: code, severity, threshold, count
    QTest::newRow("not checked") << ""
                                 << ""
                                 << "";
    QTest::newRow("class-a warns") << "oxHost.check('class-a')"
                                   << "warning"
                                   << "<td>G2_BREAK</td><td>warning</td><td class=\"n\">0.05</td>"
                                      "<td class=\"n\">8</td>";
    QTest::newRow("the last check counts") << "oxHost.check('class-a')\noxHost.check()"
                                           << "pass"
                                           << "<td>G1_BREAK</td><td>warning</td><td class=\"n\">0.1 "
                                              "degrees</td><td class=\"n\">0</td>";
    QTest::newRow("a file profile") << "oxHost.check(r'strict.json')"
                                    << "fail"
                                    << "<td>G2_BREAK</td><td>error</td><td class=\"n\">0.05</td>"
                                       "<td class=\"n\">8</td>";
    QTest::newRow("the model changed since") << "oxHost.check('class-a')\noxHost.loadMesh(r'sphere.brep')"
                                             << ""
                                             << "";
}

void tst_OxhostCheck::reportHasTheLastCheckOfTheModel()
{
    QFETCH(QString, script);
    QFETCH(QString, verdict);
    QFETCH(QString, row);
    const QString here = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const OxhostResult r = oxhost({"-c", QString("oxHost.loadMesh(r'box.brep')\n%1\noxHost.report(r'report.html', 320, "
                                                 "200)")
                                             .arg(script)});
    QDir::setCurrent(here);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QString html = QString::fromUtf8(readTestFile(path("report.html")));
    QCOMPARE(html.contains("<h2>Data-quality check</h2>"), !verdict.isEmpty());
    if (verdict.isEmpty())
        return;
    QVERIFY2(html.contains("Verdict: <strong>" + verdict + "</strong>"), qPrintable(html.right(3000)));
    QVERIFY2(html.contains(QRegularExpression("<td title=\"[^\"]*\">" + row.mid(4))), qPrintable(html.right(3000)));
    QVERIFY(html.contains("<img alt=\"Check findings\" src=\"data:image/png;base64,"));
}

QTEST_GUILESS_MAIN(tst_OxhostCheck)
#include "tst_oxhostcheck.moc"
