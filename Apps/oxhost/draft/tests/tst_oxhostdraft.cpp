// oxhost's draft angle as a script drives it: draftStats on CAD and mesh input, probe's draft,
// bad input (the domains of its direction and angle are tst_hostscript's), and the report's draft
// section.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;
} // namespace

class tst_OxhostDraft : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void scriptReadsTheDraft();
    void badInputIsRefused_data();
    void badInputIsRefused();
    void reportHasADraftSection();

private:
    QTemporaryDir dir;
};

void tst_OxhostDraft::initTestCase()
{
    QVERIFY(dir.isValid());
    const Result r = oxhost({"-c", QString("oxHost.writeCadSample('draftbox', r'%1')").arg(dir.filePath("box.step"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
}

void tst_OxhostDraft::scriptReadsTheDraft()
{
    // The drafted box: four sides at 3 degrees, the top at 90, the bottom at -90. With 5 degrees the
    // sides lack draft; the probe reads a side's draft along the default pull (+z).
    const QString code = QString(R"(
oxHost.loadMesh(r'%1')
s = oxHost.draftStats(angle=5)
sides = [f for f in s["faces"] if abs(f["min"]) < 89]
print("faces", len(s["faces"]), len(sides), sorted(set(f["class"] for f in sides)))
print("sides", all(abs(f["min"] - 3) < 0.01 and abs(f["max"] - 3) < 0.01 for f in sides))
print("sum", abs(s["positive"] + s["negative"] + s["insufficient"] - 1) < 1e-9, round(s["min"]), round(s["max"]))
print("clear", sorted(set(f["class"] for f in oxHost.draftStats((0, 0, 7), 1)["faces"])))
p = oxHost.probeRay((100, 0, 10), (-1, 0, 0))
print("probe", abs(p["draft"] - 3) < 0.01)
oxHost.removeMesh(oxHost.meshes()[0])
oxHost.addSample('sphere')
m = oxHost.draftStats((0, 0, 1), 1)
print("mesh", m["faces"] == [], abs(m["positive"] - m["negative"]) < 0.003)
)")
                             .arg(dir.filePath("box.step"));
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("faces 6 4 ['insufficient']"), qPrintable(r.out));
    QVERIFY2(r.out.contains("sides True"), qPrintable(r.out));
    QVERIFY2(r.out.contains("sum True -90 90"), qPrintable(r.out));
    QVERIFY2(r.out.contains("clear ['negative', 'positive']"), qPrintable(r.out));
    QVERIFY2(r.out.contains("probe True"), qPrintable(r.out));
    QVERIFY2(r.out.contains("mesh True True"), qPrintable(r.out));
}

void tst_OxhostDraft::badInputIsRefused_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("direction not a vector") << "oxHost.draftStats('z')"
                                            << "TypeError: direction must be a Vec3f";
    QTest::newRow("angle not finite") << "oxHost.draftStats(angle=float('nan'))"
                                      << "ValueError: angle";
    QTest::newRow("no model") << "oxHost.removeMesh(oxHost.meshes()[0]); oxHost.draftStats()"
                              << "RuntimeError: cannot take draft statistics: the model has no area";
}

void tst_OxhostDraft::badInputIsRefused()
{
    QFETCH(QString, call);
    QFETCH(QString, message);
    const Result r = oxhost({"--sample", "sphere", "-c", call});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

void tst_OxhostDraft::reportHasADraftSection()
{
    const QString report = dir.filePath("box.html");
    const QString code = QString(R"(
oxHost.set('DraftActive', True)
oxHost.set('DraftAngle', 5.0)
oxHost.loadMesh(r'%1')
oxHost.report(r'%2', 320, 200)
)")
                             .arg(dir.filePath("box.step"), report);
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QString html = QString::fromUtf8(readTestFile(report));
    QVERIFY(html.contains("<h2>Draft angle</h2>"));
    QVERIFY(html.contains("<img alt=\"Draft angle\""));
    // The sides lack 5 degrees: they lead the face table, the top and bottom follow.
    const int table = html.indexOf("<th>Face</th>");
    QVERIFY(table > 0);
    QVERIFY(html.indexOf("<td>insufficient</td>", table) < html.indexOf("<td>positive</td>", table));
}

QTEST_GUILESS_MAIN(tst_OxhostDraft)
#include "tst_oxhostdraft.moc"
