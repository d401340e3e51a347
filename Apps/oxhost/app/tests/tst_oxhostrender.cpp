// oxhost's model input and images, as a user drives them from the command line and from scripts:
// --mesh, --sample, --render, --size and oxHost.loadMesh, addSample, render, frameScene; wrong
// values of these and of the CAD options are refused.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

// Share of pixels that are not the background's grey.
double coverage(const QImage& image)
{
    int model = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            model += std::abs(qRed(c) - qBlue(c)) > 20 || qGray(c) > 120 || qGray(c) < 30;
        }
    return double(model) / (image.width() * image.height());
}
} // namespace

class tst_OxhostRender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renderFromTheCommandLine_data();
    void renderFromTheCommandLine();
    void badCommandLineIsRefused_data();
    void badCommandLineIsRefused();
    void scriptsLoadRenderAndFrame();
};

void tst_OxhostRender::renderFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("model");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QSize>("size");
    QTest::newRow("sample, default size") << QStringList{"--sample", "torus"} << QString() << QSize(1280, 800);
    QTest::newRow("two samples, analysis on")
        << QStringList{"--sample", "sphere", "--sample", "saddle"}
        << "enableSurfaceAnalysis(True)\nsetSurfaceAnalysisMode(3)\nprint(sorted(oxHost.meshes()))" << QSize(160, 90);
    QTest::newRow("mesh file") << QStringList{"--mesh", "MESH", "--view", "top"} << QString("print(oxHost.meshes())")
                               << QSize(120, 80);
}

void tst_OxhostRender::renderFromTheCommandLine()
{
    QFETCH(QStringList, model);
    QFETCH(QString, code);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const QString mesh = dir.filePath("tetra.obj");
    QVERIFY(writeTestFile(mesh, "v 0 0 0\nv 10 0 0\nv 0 10 0\nv 0 0 10\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n"));
    model.replaceInStrings("MESH", mesh);

    const QString image = dir.filePath("view.png");
    QStringList args = model;
    args << "--render" << image;
    if (size != QSize(1280, 800))
        args << "--size" << QString("%1x%2").arg(size.width()).arg(size.height());
    if (!code.isEmpty())
        args << "-c" << code;
    const Result r = oxhost(args);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QImage rendered(image);
    QCOMPARE(rendered.size(), size);
    // Framed on the model: it fills a good part of the view.
    QVERIFY2(coverage(rendered) > 0.1, qPrintable(QString::number(coverage(rendered))));
    if (model.contains(mesh))
        QVERIFY(r.out.contains("tetra.obj"));
    if (model.contains("saddle"))
        QVERIFY(r.out.contains("['saddle', 'sphere']"));
}

void tst_OxhostRender::badCommandLineIsRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing mesh file") << QStringList{"--mesh", "DIR/none.stl", "-c", "pass"} << 1
                                       << "cannot read mesh \"DIR/none.stl\": no such file";
    QTest::newRow("unknown sample") << QStringList{"--sample", "cube", "-c", "pass"} << 2
                                    << "unknown sample surface \"cube\"";
    QTest::newRow("size without x") << QStringList{"--render", "DIR/a.png", "--size", "640"} << 2 << "--size";
    QTest::newRow("size of zero") << QStringList{"--render", "DIR/a.png", "--size", "0x10"} << 2 << "--size";
    QTest::newRow("render without a file") << QStringList{"--render"} << 2 << "--render needs a file";
    QTest::newRow("unwritable image") << QStringList{"--sample", "sphere", "--render", "DIR/no/such/a.png"} << 1
                                      << "cannot write image \"DIR/no/such/a.png\"";
    QTest::newRow("no samples") << QStringList{"--samples", "0", "-c", "pass"} << 2
                                << "--samples needs a number from 1 to 16, not \"0\"";
    QTest::newRow("too many samples") << QStringList{"--samples", "100", "-c", "pass"} << 2 << "not \"100\"";
    QTest::newRow("the first wrong argument is named")
        << QStringList{"--samples", "0", "--bogus"} << 2 << "--samples needs a number from 1 to 16, not \"0\"";
    QTest::newRow("report without a file") << QStringList{"--report"} << 2 << "--report needs a file";
    QTest::newRow("unwritable report") << QStringList{"--sample", "sphere", "--report", "DIR/no/such/r.html"} << 1
                                       << "cannot write the report \"DIR/no/such/r.html\"";
    QTest::newRow("angle of 0") << QStringList{"--angle", "0", "-c", "pass"} << 2 << "--angle needs an angle";
    QTest::newRow("angle above 90") << QStringList{"--angle", "91", "-c", "pass"} << 2 << "--angle needs an angle";
    QTest::newRow("deflection not a number")
        << QStringList{"--deflection", "fine", "-c", "pass"} << 2 << "--deflection needs a deflection";
    QTest::newRow("deflection without value") << QStringList{"--deflection"} << 2 << "--deflection needs";
    QTest::newRow("csv without file") << QStringList{"--continuity-csv"} << 2 << "--continuity-csv needs a file";
    const QStringList csv{"--sample", "joins", "--continuity-csv", "DIR/no/t.csv", "-c", "print('ran')"};
    QTest::newRow("unwritable csv") << csv << 1 << "cannot write the continuity table \"DIR/no/t.csv\"";
}

void tst_OxhostRender::badCommandLineIsRefused()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    args.replaceInStrings("DIR", dir.path());
    message.replace("DIR", dir.path());
    const Result r = oxhost(args);
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!r.out.contains("ran"));
}

void tst_OxhostRender::scriptsLoadRenderAndFrame()
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("broken.ply");
    QVERIFY(writeTestFile(broken, "ply\nformat ascii 1.0\nelement vertex 3\n"));
    const QString image = dir.filePath("script.png");
    const QString code = QString(R"(
import oxHost
print("empty frame:", oxHost.frameScene())
print("added", oxHost.addSample("cylinder"))
try:
    oxHost.loadMesh(%1)
except RuntimeError as e:
    print("refused:", e)
print("meshes:", oxHost.meshes())
try:
    oxHost.addSample("cube")
except ValueError as e:
    print("no sample:", e)
print("framed:", oxHost.frameScene(2.0))
eye, target, up, fov, ortho = oxHost.camera()
print("target:", [round(v, 3) for v in target])
print("wrote", oxHost.render(%2, 64, 32))
)")
                             .arg(QString("r'%1'").arg(broken), QString("r'%1'").arg(image));
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("empty frame: False"), qPrintable(r.out));
    QVERIFY(r.out.contains("added cylinder"));
    QVERIFY(r.out.contains("refused: cannot read mesh \"" + broken + "\""));
    QVERIFY(r.out.contains("meshes: ['cylinder']")); // the broken file left the model as it was
    QVERIFY(r.out.contains("no sample: unknown sample surface \"cube\""));
    QVERIFY(r.out.contains("framed: True"));
    QVERIFY(r.out.contains("target: [0.0, 0.0, 0.0]")); // the cylinder's centre
    QCOMPARE(QImage(image).size(), QSize(64, 32));
}

QTEST_APPLESS_MAIN(tst_OxhostRender)
#include "tst_oxhostrender.moc"
