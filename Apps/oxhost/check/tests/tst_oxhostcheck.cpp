// oxhost's data-quality check as users run it: the check command's verdicts, exit statuses, JSON
// and CSV, oxHost.check on the model in the scene, on mesh files too, and where a moved model's
// findings lie.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
// A tetrahedron, 10 long, wound outwards: faces z = 0, y = 0, x = 0 and the slanted one.
const double corners[4][3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
const int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};

QByteArray stl(int faceCount, bool turnLast)
{
    QByteArray text = "solid t\n";
    for (int f = 0; f < faceCount; ++f)
    {
        text += "facet normal 0 0 0\nouter loop\n";
        for (int k = 0; k < 3; ++k)
        {
            const double* p = corners[faces[f][turnLast && f == faceCount - 1 ? 2 - k : k]];
            text += QByteArray("vertex ") + QByteArray::number(p[0]) + " " + QByteArray::number(p[1]) + " " +
                    QByteArray::number(p[2]) + "\n";
        }
        text += "endloop\nendfacet\n";
    }
    return text + "endsolid t\n";
}

// The tetrahedron without its slanted face, as OBJ.
QByteArray openObj()
{
    QByteArray text;
    for (const auto& p : corners)
        text += QByteArray("v ") + QByteArray::number(p[0]) + " " + QByteArray::number(p[1]) + " " +
                QByteArray::number(p[2]) + "\n";
    for (int f = 0; f < 3; ++f)
        text += QByteArray("f ") + QByteArray::number(faces[f][0] + 1) + " " + QByteArray::number(faces[f][1] + 1) +
                " " + QByteArray::number(faces[f][2] + 1) + "\n";
    return text;
}
} // namespace

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
    void scriptAndReportCheckTheLoadedMesh();
    void batchChecksTheMeshFilesOfAFolder();
    void findingsFollowTheMovedModel();

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
    QVERIFY(QDir().mkpath(path("empty")) && QDir().mkpath(path("nocad")) && QDir().mkpath(path("meshes/sub")));
    QVERIFY(writeTestFile(path("meshes/closed.stl"), stl(4, false)));
    QVERIFY(writeTestFile(path("meshes/sub/open.obj"), openObj()));
    QVERIFY(writeTestFile(path("meshes/turned.STL"), stl(4, true)));
    QVERIFY(writeTestFile(path("meshes/notes.txt"), "not a part: passed over\n"));
    QVERIFY(writeTestFile(path("nocad/notes.txt"), "not a part\n"));
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
    QTest::newRow("an empty folder") << QStringList{"empty"} << 2 << "the folder \"empty\" holds no CAD or mesh file";
    QTest::newRow("a folder without CAD or mesh files")
        << QStringList{"box.brep", "nocad"} << 2 << "the folder \"nocad\" holds no CAD or mesh file";
    QTest::newRow("no jobs") << QStringList{"box.brep", "--jobs", "0"} << 2
                             << "--jobs needs a whole number from 1 to 100000, not \"0\"";
    QTest::newRow("jobs not a number") << QStringList{"box.brep", "--jobs=two"} << 2
                                       << "--jobs needs a whole number from 1 to 100000, not \"two\"";
    QTest::newRow("a time limit in minutes") << QStringList{"box.brep", "--timeout", "1m"} << 2
                                             << "--timeout needs a whole number from 1 to 100000, not \"1m\"";
}

void tst_OxhostCheck::exitStatusFollowsTheWorstVerdict()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir out;
    const QString here = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const OxhostResult r = oxhost(QStringList{"check"} + args + QStringList{"--out", out.path()});
    QDir::setCurrent(here);
    QVERIFY2(r.status == status, qPrintable(r.out + r.err));
    QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
    // A command line refused checks nothing.
    if (status == 2)
        QCOMPARE(QDir(out.path()).entryList({"*.check.json"}, QDir::Files), QStringList());
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

// The open edges of a loaded mesh are findings of oxHost.check, and the report lists the
// mesh criteria, not those of CAD parts the model lacks.
void tst_OxhostCheck::scriptAndReportCheckTheLoadedMesh()
{
    const OxhostResult r = oxhost({"-c", QString("oxHost.loadMesh(r'%1')\n"
                                                 "r = oxHost.check()\n"
                                                 "print(r['verdict'], r['counts']['MESH_FREE_EDGE'], "
                                                 "sorted(set(f['entity'] for f in r['findings'])))\n"
                                                 "oxHost.report(r'%2', 160, 100)")
                                             .arg(path("meshes/sub/open.obj"), path("report.html"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QString("warning 3 ['edge']\n"));
    const QString html = QString::fromUtf8(readTestFile(path("report.html")));
    QVERIFY2(html.contains(">MESH_FREE_EDGE</td><td>warning</td><td class=\"n\">&ndash;</td><td class=\"n\">3<"),
             qPrintable(html.right(3000)));
    QVERIFY(html.contains(">MESH_FLIPPED_TRIANGLE<"));
    QVERIFY(!html.contains(">G1_BREAK<"));
}

// A folder's mesh files are checked each in its own process, beside CAD files.
void tst_OxhostCheck::batchChecksTheMeshFilesOfAFolder()
{
    QTemporaryDir out;
    const OxhostResult r = oxhost({"check", path("meshes"), "--out", out.path()});
    QVERIFY2(r.status == 1, qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains("3 files: 1 pass, 1 warning, 1 fail, 0 error"), qPrintable(r.out));
    const QJsonObject turned = QJsonDocument::fromJson(readTestFile(out.filePath("turned.check.json"))).object();
    QCOMPARE(turned["verdict"].toString(), QString("fail"));
    QCOMPARE(turned["counts"].toObject()["MESH_FLIPPED_TRIANGLE"].toInt(), 1);
    QVERIFY(turned.contains("seal"));
}

// A model moved in the scene (here through its project) is checked where it is seen, so that the
// viewer's markers and the report's follow the model.
void tst_OxhostCheck::findingsFollowTheMovedModel()
{
    const QString code = QString(R"(
import json, math
BOX, PROJECT, MOVED = r'%1', r'%2', r'%3'
t, r = [5, 0, -5], [0, 0, 90]
oxHost.loadMesh(BOX)
fresh = oxHost.check('class-a')['findings']
oxHost.saveProject(PROJECT)
project = json.load(open(PROJECT))
project['values']['Host Model Placement Translation'] = {'type': 'vec3f', 'value': t}
project['values']['Host Model Placement Rotation'] = {'type': 'vec3f', 'value': r}
json.dump(project, open(MOVED, 'w'))
oxHost.loadProject(MOVED)
moved = oxHost.check('class-a')['findings']
a = math.radians(r[2])
def placed(f):
    x, y, z = f['x'], f['y'], f['z']
    return (x * math.cos(a) - y * math.sin(a) + t[0], x * math.sin(a) + y * math.cos(a) + t[1], z + t[2])
worst = max(abs(p - q) for f, g in zip(fresh, moved) for p, q in zip(placed(f), (g['x'], g['y'], g['z'])))
print(len(fresh), len(moved), worst < 1e-3)
)")
                             .arg(path("box.brep"), path("box.json"), path("moved.json"));
    const OxhostResult r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.trimmed().endsWith("True") && !r.out.startsWith("0 "), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(tst_OxhostCheck)
#include "tst_oxhostcheck.moc"
