// oxhost's curvature combs as a script drives them: oxHost.edgeComb and oxHost.sectionComb on CAD
// and mesh input, and the errors for bad input.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;
} // namespace

class tst_OxhostCombs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void combsOfCadAndMeshInput();
    void badInputIsRefused();
};

void tst_OxhostCombs::combsOfCadAndMeshInput()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The CAD files first: their reader forks, best before the renderer's threads run.
    const QString code = QString(R"(
import math
oxHost.writeCadSample("sphere", r'%1')
oxHost.writeCadSample("cylinder", r'%2')
sphere = oxHost.loadMesh(r'%1')
combs = oxHost.sectionComb((0, 0, 5), (0, 0, 2))
c = combs[0]
print("sphere", len(combs), len(c["points"]), c["faces"], sorted(c.keys()))
print("exact", all(abs(k - 1 / math.sqrt(75)) < 1e-6 for k in c["curvature"]), abs(c["max"] - 1 / math.sqrt(75)) < 1e-6)
print("outwards", all(n[0] * p[0] + n[1] * p[1] > 0.999 * math.hypot(p[0], p[1]) for p, n in zip(c["points"], c["normals"])))
print("missed", oxHost.sectionComb((0, 0, 20), (0, 0, 1)))
oxHost.removeMesh(sphere)
oxHost.loadMesh(r'%2')
e = oxHost.edgeComb(1, samples=9)
print("circle", len(e["points"]), all(abs(k - 0.2) < 1e-9 for k in e["curvature"]), "faces" in e)
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
oxHost.addSample("sphere")
m = oxHost.sectionComb((0, 0, 0), (0, 0, 1), 32)
print("mesh", len(m), m[0]["faces"], len(m[0]["points"]), min(m[0]["curvature"]) > 0)
)")
                             .arg(dir.filePath("sphere.brep"), dir.filePath("cylinder.step"));
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("sphere 1 64 [0] ['curvature', 'faces', 'max', 'normals', 'points']"), qPrintable(r.out));
    QVERIFY(r.out.contains("exact True True"));
    QVERIFY(r.out.contains("outwards True"));
    QVERIFY(r.out.contains("missed []"));
    QVERIFY(r.out.contains("circle 9 True False"));
    QVERIFY(r.out.contains("mesh 1 [] 32 True"));
}

void tst_OxhostCombs::badInputIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString code = QString(R"(
def attempt(call):
    try:
        call()
        print("accepted")
    except Exception as e:
        print(type(e).__name__ + ":", e)
attempt(lambda: oxHost.sectionComb((0, 0, 0), (0, 0, 1)))
attempt(lambda: oxHost.edgeComb(0))
oxHost.writeCadSample("cylinder", r'%1')
oxHost.loadMesh(r'%1')
before = (oxHost.undoCount(), oxHost.undoIndex())
attempt(lambda: oxHost.edgeComb(2))
attempt(lambda: oxHost.edgeComb(-1))
attempt(lambda: oxHost.edgeComb("0"))
attempt(lambda: oxHost.edgeComb(0, samples=1))
attempt(lambda: oxHost.sectionComb((0, 0, 0), (0, 0, 0)))
attempt(lambda: oxHost.sectionComb((0, 0, 0), (float("nan"), 0, 1)))
attempt(lambda: oxHost.sectionComb("here", (0, 0, 1)))
attempt(lambda: oxHost.sectionComb((0, 0, 0), (0, 0, 1), samples=0))
print("unchanged", (oxHost.undoCount(), oxHost.undoIndex()) == before)
)")
                             .arg(dir.filePath("cylinder.brep"));
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QStringList expected{
        "ValueError: sectionComb: there is no model",
        "ValueError: edgeComb: there is no model",
        "IndexError: edgeComb: there is no edge 2; the model has 2 shared CAD edges",
        "IndexError: edgeComb: there is no edge -1;",
        "TypeError: edgeComb: edge must be a whole number",
        "ValueError: edgeComb: samples must be from 2 to 100000, not 1",
        "ValueError: sectionComb: normal must have a direction",
        "ValueError: sectionComb: normal",
        "TypeError: sectionComb: origin must be",
        "ValueError: sectionComb: samples must be from 2 to 100000, not 0",
    };
    const QStringList lines = r.out.split('\n');
    QVERIFY2(lines.size() > expected.size(), qPrintable(r.out));
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(lines[i].startsWith(expected[i]), qPrintable(lines[i] + " / " + expected[i]));
    QVERIFY2(!r.out.contains("accepted"), qPrintable(r.out));
    QVERIFY(r.out.contains("unchanged True"));
}

QTEST_GUILESS_MAIN(tst_OxhostCombs)
#include "tst_oxhostcombs.moc"
