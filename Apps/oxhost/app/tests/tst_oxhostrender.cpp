// oxhost's model input and images, as a user drives them from the command line and from scripts:
// --mesh, --sample, --render, --size and oxHost.loadMesh, addSample, render, frameScene. Their
// wrong values on the command line are tst_oxhost's.
#include <QImage>
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
