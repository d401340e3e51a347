// oxhost with CAD input, as a user drives it: --mesh with STEP, IGES and B-rep, --continuity,
// --continuity-csv, --show-continuity, --no-exact, --deflection, --angle, --no-cache, and the oxHost functions
// modelInfo, continuity, setExactShading, setShowContinuity and loadMesh's keyword arguments.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

// Share of pixels in the colour of a continuity class (pure enough not to be shading).
double share(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            n += std::abs(qRed(c) - qRed(colour)) < 30 && std::abs(qGreen(c) - qGreen(colour)) < 30 &&
                 std::abs(qBlue(c) - qBlue(colour)) < 30;
        }
    return double(n) / (image.width() * image.height());
}
} // namespace

class tst_OxhostCad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cadFilesRenderFromTheCommandLine_data();
    void cadFilesRenderFromTheCommandLine();
    void continuityTableAndCsv();
    void continuityEdgesAreDrawn();
    void scriptsInspectTheModel();
    void probeAndReportReadTheExactModel();
    void badCadInputIsRefused_data();
    void badCadInputIsRefused();
    void noCacheNeitherReadsNorKeeps();

private:
    QTemporaryDir dir;
};

void tst_OxhostCad::initTestCase()
{
    QVERIFY(dir.isValid());
    const Result r = oxhost({"-c", QString("for name, path in [('joins', r'%1'), ('torus', r'%2'), ('torus', r'%3'), "
                                           "('torus', r'%4')]:\n    oxHost.writeCadSample(name, path)")
                                       .arg(dir.filePath("joins.step"), dir.filePath("torus.step"),
                                            dir.filePath("torus.IGS"), dir.filePath("torus.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
}

void tst_OxhostCad::cadFilesRenderFromTheCommandLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("STEP") << "torus.step" << QStringList();
    QTest::newRow("IGES, coarse, no exact shading")
        << "torus.IGS" << QStringList{"--deflection", "0.01", "--angle", "30", "--no-exact"};
    QTest::newRow("B-rep") << "torus.brep" << QStringList();
}

void tst_OxhostCad::cadFilesRenderFromTheCommandLine()
{
    QFETCH(QString, file);
    QFETCH(QStringList, options);
    const QString image = dir.filePath(file + ".png");
    const Result r = oxhost(QStringList{"--mesh", dir.filePath(file)} + options +
                            QStringList{"--render", image, "--size", "160x100", "-c",
                                        "enableSurfaceAnalysis(True)\ninfo = oxHost.modelInfo()\n"
                                        "print(oxHost.meshes(), info['faces'], info['triangles'], "
                                        "oxHost.exactShading())"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.startsWith(QString("['%1'] 1 ").arg(file)), qPrintable(r.out));
    const int triangles = r.out.split(' ').value(2).toInt();
    QVERIFY(options.isEmpty() ? triangles > 2000 : triangles < 1000);
    QVERIFY(r.out.trimmed().endsWith(options.isEmpty() ? "True" : "False"));
    QCOMPARE(QImage(image).size(), QSize(160, 100));
}

void tst_OxhostCad::continuityTableAndCsv()
{
    const QString csv = dir.filePath("joins.csv");
    const Result r =
        oxhost({"--mesh", dir.filePath("joins.step"), "--continuity", "--continuity-csv", csv, "-c", "pass"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("3 shared edges: 0 G3, 1 G2, 1 G1, 1 G0, 0 open"), qPrintable(r.out));
    const QStringList lines = QString::fromUtf8(readTestFile(csv)).trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QString("edge,face1,face2,length,g0,g1,g2,g2abs,g3,class"));
    QVERIFY(lines[1].startsWith("0,0,1,20,") && lines[1].endsWith(",30,1,0.1,0,G0"));
    QVERIFY(lines[3].endsWith(",G2"));
}

void tst_OxhostCad::continuityEdgesAreDrawn()
{
    const QString shown = dir.filePath("shown.png"), hidden = dir.filePath("hidden.png");
    for (const QString& image : {shown, hidden})
    {
        QStringList args{"--mesh", dir.filePath("joins.step"), "--view", "top", "--render", image, "--size", "400x250"};
        if (image == shown)
            args << "--show-continuity";
        const Result r = oxhost(args);
        QVERIFY2(r.status == 0, qPrintable(r.err));
    }
    // Seen from the front, the three joins are vertical lines: red (G0), yellow (G1), green (G2).
    for (const QRgb colour : {qRgb(230, 26, 26), qRgb(242, 217, 0), qRgb(26, 204, 26)})
    {
        QVERIFY2(share(QImage(shown), colour) > 0.002, qPrintable(QString::number(share(QImage(shown), colour))));
        QCOMPARE(share(QImage(hidden), colour), 0.0);
    }
}

void tst_OxhostCad::scriptsInspectTheModel()
{
    const QString code = QString(R"(
name = oxHost.loadMesh(r'%1', deflection=0.002, angle=20)
oxHost.addSample("sphere")
info = oxHost.modelInfo()
print("loaded", name, info["meshes"], info["faces"], info["edges"], info["freeEdges"], info["source"])
print("bounds", [[round(v, 3) for v in corner] for corner in info["bounds"]])
edges = oxHost.continuity()
print("classes", [e["class"] for e in edges], sorted(edges[0].keys()))
print("loose", [e["class"] for e in oxHost.continuity(g1=40)])
try:
    oxHost.continuity(g1=-1)
except ValueError as e:
    print("refused:", e)
oxHost.removeMesh(name)
print("after removal", oxHost.modelInfo()["source"], oxHost.modelInfo()["faces"])
print("mesh only:", oxHost.continuity())
print("again:", oxHost.continuity())
oxHost.setExactShading(False)
print("exact", oxHost.exactShading())
)")
                             .arg(dir.filePath("joins.step"));
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("mesh only: []\nagain: []"), qPrintable(r.out));
    // The reason is given once, not on every call.
    QCOMPARE(r.err.count("the model has no CAD faces"), 1);
    QVERIFY2(r.out.contains(QString("loaded joins.step 2 6 3 18 ['%1']").arg(dir.filePath("joins.step"))),
             qPrintable(r.out));
    QVERIFY(r.out.contains("bounds [[-20.0, -32.5, -20.0], [20.0, 32.5, 20.0]]"));
    QVERIFY(r.out.contains("classes ['G0', 'G1', 'G2'] ['class', 'edge', 'faces', 'g0', 'g1', 'g2', 'g2abs', "
                           "'g3', 'length']"));
    QVERIFY(r.out.contains("loose ['G1', 'G1', 'G2']")); // a 30 degree kink passes for G1 at 40
    QVERIFY(r.out.contains("refused: the tolerance g1 must be 0 or more"));
    QVERIFY(r.out.contains("after removal [] 0"));
    QVERIFY(r.out.contains("exact False"));
}

// On a coarse torus (R 20, r 5) the probe reads the surface where the ray meets it, not the
// triangle; the report lists the joins' continuity.
void tst_OxhostCad::probeAndReportReadTheExactModel()
{
    const QString report = dir.filePath("joins.html");
    const QString code = QString(R"(
import math
oxHost.loadMesh(r'%1', deflection=0.01, angle=30)
p = oxHost.probeRay((40, 0.7, 1.3), (-1, 0, 0))
x, y, z = p["point"]
rho = math.hypot(x, y)
off = abs(math.hypot(rho - 20, z) - 5)
k2 = (rho - 20) / 5 / rho
print("probe", p["face"], p["exact"], off < 1e-4, abs(p["k1"] - 0.2) < 1e-4, abs(p["k2"] - k2) < 1e-4)
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
oxHost.loadMesh(r'%2')
oxHost.report(r'%3', 320, 200)
)")
                             .arg(dir.filePath("torus.step"), dir.filePath("joins.step"), report);
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("probe 0 True True True True"), qPrintable(r.out));
    const QString html = QString::fromUtf8(readTestFile(report));
    QVERIFY(html.contains("Continuity of shared edges"));
    QVERIFY2(html.contains("G0: 1, G1: 1, G2: 1"), qPrintable(html.mid(html.indexOf("Continuity"), 200)));
    // Worst first: the G0 join leads the table.
    QVERIFY(html.indexOf("<td>G0</td>") < html.indexOf("<td>G1</td>"));
}

void tst_OxhostCad::badCadInputIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QTest::newRow("garbage STEP") << "noise.step" << QByteArray(3000, '\x9c') << "the STEP reader cannot parse it";
    QTest::newRow("empty IGES") << "empty.iges" << QByteArray() << "the file is empty";
    QTest::newRow("missing B-rep") << "none.brep" << QByteArray() << "no such file";
}

void tst_OxhostCad::badCadInputIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    const QString path = dir.filePath(name);
    if (name != "none.brep")
        QVERIFY(writeTestFile(path, content));
    const QString message = QString("cannot read CAD file \"%1\": %2").arg(path, cause);
    // From the command line: the message and a failed exit; from a script: the scene stays as it was.
    Result r = oxhost({"--mesh", path, "-c", "print('ran')"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("oxhost: " + message), qPrintable(r.err));
    QVERIFY(!r.out.contains("ran"));
    r = oxhost({"-c", QString("oxHost.addSample('torus')\ntry:\n    oxHost.loadMesh(r'%1')\n"
                              "except RuntimeError as e:\n    print(e)\nprint(oxHost.meshes())")
                          .arg(path)});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(message + "\n['torus']"), qPrintable(r.out));
}

void tst_OxhostCad::noCacheNeitherReadsNorKeeps()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    const QDir entries(dir.filePath("cache/oxhost/cad"), "*.oxcad");
    const QString code = "print(oxHost.modelInfo()['triangles'])";
    const Result first = oxhost({"--mesh", dir.filePath("joins.step"), "-c", code}, QByteArray(), env);
    QVERIFY2(first.status == 0, qPrintable(first.err));
    QCOMPARE(entries.entryList().size(), 1);
    // The entry is neither read (it now holds no answer) nor replaced.
    const QString entry = entries.filePath(entries.entryList()[0]);
    QVERIFY(writeTestFile(entry, "damaged"));
    const Result fresh = oxhost({"--no-cache", "--mesh", dir.filePath("joins.step"), "-c", code}, QByteArray(), env);
    QVERIFY2(fresh.status == 0, qPrintable(fresh.err));
    QCOMPARE(fresh.out, first.out);
    QCOMPARE(readTestFile(entry), QByteArray("damaged"));
    QCOMPARE(entries.entryList().size(), 1);
}

QTEST_APPLESS_MAIN(tst_OxhostCad)
#include "tst_oxhostcad.moc"
