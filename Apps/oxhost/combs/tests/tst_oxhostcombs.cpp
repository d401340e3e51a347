// oxhost's curvature combs as a script drives them: oxHost.edgeComb and oxHost.sectionComb on CAD
// and mesh input, and the errors for bad input.
#include <QImage>
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
    void optionsShowInTheImage_data();
    void optionsShowInTheImage();
};

void tst_OxhostCombs::combsOfCadAndMeshInput()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
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
        "ValueError: sectionComb: normal must be a direction, not the zero vector",
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

// The host analyses' options, seen in the image --render writes: pixels of a colour that only
// the option brings (the combs' magenta, the draft's yellow for too little draft).
void tst_OxhostCombs::optionsShowInTheImage_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("magenta"); // else yellow
    QTest::newRow("section combs") << "joins" << QStringList{"--comb-sections", "3:0,1,0"} << true;
    QTest::newRow("edge combs") << "joins" << QStringList{"--comb-edges"} << true;
    QTest::newRow("draft") << "draftbox" << QStringList{"--draft", "z:5"} << false;
}

void tst_OxhostCombs::optionsShowInTheImage()
{
    QFETCH(QString, sample);
    QFETCH(QStringList, options);
    QFETCH(bool, magenta);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString part = dir.filePath(sample + ".step");
    const Result written = oxhost({"-c", QString("oxHost.writeCadSample('%1', r'%2')").arg(sample, part)});
    QVERIFY2(written.status == 0, qPrintable(written.err));
    auto share = [&](const QStringList& extra)
    {
        const QString image = dir.filePath("image.png");
        const Result r = oxhost(QStringList{part} + extra + QStringList{"--render", image, "--size", "320x200"});
        if (r.status != 0)
            return -1.0;
        const QImage shot(image);
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
            {
                const QRgb c = shot.pixel(x, y);
                n += magenta ? qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) > 150
                             : qRed(c) > 140 && qGreen(c) > 120 && qBlue(c) < 80;
            }
        return double(n) / (shot.width() * shot.height());
    };
    const double without = share({}), with = share(options);
    QVERIFY2(without >= 0 && without < 0.0005 && with > 0.002, qPrintable(QString("%1 %2").arg(without).arg(with)));
}

QTEST_GUILESS_MAIN(tst_OxhostCombs)
#include "tst_oxhostcombs.moc"
