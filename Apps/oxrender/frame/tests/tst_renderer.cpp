// The host's analysis renderer as the host drives it: what the view shows on top of the
// raytraced surfaces (light visuals, legend) and how the host's render state chooses the shading.
#include "OSGUberCamera.h"
#include "oxCurvatureComb.h"
#include "oxDeviationColouring.h"
#include "oxDraftColouring.h"
#include "oxModuleColouring.h"
#include "oxMeshNodes.h"
#include "oxOSGWidget.h"
#include "oxOverlay.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxRenderTestSupport.h"
#include "oxRenderer.h"
#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSALightPlane.h"
#include "oxSampleSurfaces.h"
#include "oxStripesColouring.h"
#include "oxScenegraph.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <limits>
#include <memory>

namespace
{
const int Size = 200;

bool stripe(QRgb c)
{
    return qGray(c) < 30;
}

// The light visuals' orange over whatever lies below.
bool orange(QRgb c)
{
    return qRed(c) > qGreen(c) + 60 && qGreen(c) > qBlue(c) + 30;
}

QVector<double> runs(const QImage& image, int row, bool (*inside)(QRgb))
{
    QVector<double> centres;
    int start = -1;
    for (int x = 0; x <= image.width(); ++x)
    {
        const bool in = x < image.width() && inside(image.pixel(x, row));
        if (in && start < 0)
            start = x;
        if (!in && start >= 0)
        {
            centres << 0.5 * (start + x - 1);
            start = -1;
        }
    }
    return centres;
}

osg::SurfaceAnalysisAttachmentPtr record()
{
    return oxAnalysisSettings::hostRecord();
}
} // namespace

class tst_Renderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void lightPlaneVisualLiesOverItsHighlightLines_data();
    void lightPlaneVisualLiesOverItsHighlightLines();
    void renderingModeChoosesTheShading();
    void everyColouringRowHasItsColouring();
    void frameTakesOneColouring_data();
    void frameTakesOneColouring();
    void legendShowsInCurvatureModeWithTheOverlay_data();
    void legendShowsInCurvatureModeWithTheOverlay();
    void downscaledFrameHasTheRequestedSize();
    void renderToFileNamesTheFileOnError();
    void visualsReadNowAreDrawnLaterAsTheyWere();
    void combsFollowTheRequestedSettings();
    void sameViewWithOtherSettingsTracesOnce();

private:
    std::unique_ptr<oxOSGWidget> _widget;
    osg::NodePtr _surface;
};

// A flat square under a parallel view from +z, the analysis on, a record with black stripes
// on a white unlit surface.
void tst_Renderer::init()
{
    oxOSGWidget::resetRenderState();
    _widget = std::make_unique<oxOSGWidget>();
    oxOSGWidget::setMGLW(_widget.get());
    _widget->getUberCamera()->setOrthographic(true);
    oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, 50.f), 45.f);
    oxRenderer::the().setLookAt(osg::Pnt3f(0.f, 0.f, 0.f), osg::Vec3f(0.f, 1.f, 0.f));
    oxOSGWidget::setRenderingMode(2, -1);

    oxRaytracingManager::createRaytracingUtils();
    osg::SurfaceAnalysisAttachmentPtr r = record();
    r->setShadingMode(0);
    r->setStripeSharpness(1.f);
    r->setStripeThickness(0.1f);

    oxRenderMesh plane = oxSampleSurfaces::plane(30.f, 60);
    plane.name = "floor";
    _surface = oxMeshNodes::makeNode(plane);
    oxScenegraph::getRoot()->addChild(_surface);
}

void tst_Renderer::cleanup()
{
    oxScenegraph::getRoot()->subChild(_surface);
    _surface = osg::NullFC;
    oxRaytracingManager::removeRaytracingUtils();
    oxOSGWidget::setMGLW(nullptr);
    _widget.reset();
    oxOSGWidget::resetRenderState();
}

void tst_Renderer::lightPlaneVisualLiesOverItsHighlightLines_data()
{
    QTest::addColumn<uint>("count");
    QTest::addColumn<float>("distance");
    QTest::addColumn<float>("turn");
    QTest::addColumn<float>("length");
    QTest::newRow("5 lines") << 5u << 6.f << 0.f << 0.f;
    QTest::newRow("4 lines, turned 30 degrees") << 4u << 5.f << 30.f << 0.f;
    QTest::newRow("3 lines, 20 long") << 3u << 8.f << 0.f << 20.f;
}

void tst_Renderer::lightPlaneVisualLiesOverItsHighlightLines()
{
    QFETCH(uint, count);
    QFETCH(float, distance);
    QFETCH(float, turn);
    QFETCH(float, length);
    // The plane floats above the parallel floor: every highlight line (the floor's normal line
    // meeting a light) lies straight below its light, so seen from above the visual's orange
    // lines cover exactly the black highlight lines.
    const osg::Vec3f origin(0.f, 0.f, 10.f), euler(0.f, 0.f, turn);
    osg::Vec3f u, v;
    oxSurfaceAnalysisLightFrame::getLightPlaneAxesFromEuler(euler, u, v);
    osg::SurfaceAnalysisAttachmentPtr r = record();
    r->setAnalysisMode(2);
    r->setReflectionMode(1);
    r->setIsolines(count);
    r->setLightLinesDistance(distance);
    r->setLightPlaneOrigin(origin);
    r->setLightPlaneEulerRotation(euler);
    r->setLightPlaneAxisU(u);
    r->setLightPlaneAxisV(v);
    r->setIsLightLinesLengthLimited(length > 0.f);
    r->setLightLinesLength(length);

    oxSALightPlane visual;
    visual.setParent(oxScenegraph::getInternalRoot());
    visual.setTransform(origin, euler);
    visual.setLineCount(count, false);
    visual.setLineDistance(distance, false);
    visual.setLineLengthLimited(length > 0.f, false);
    visual.setLineLength(length, true);

    const QImage lines = oxRenderer::the().renderView({Size, Size});
    visual.setVisible(true);
    const QImage shown = oxRenderer::the().renderView({Size, Size});
    visual.setParent(osg::NullFC);

    const double unitsPerPixel = 2 * 50 * std::tan(osg::deg2rad(22.5)) / Size;
    for (int row : {Size / 2 - 5, Size / 2 + 20})
    {
        const QVector<double> black = runs(lines, row, stripe);
        const QVector<double> drawn = runs(shown, row, orange);
        QCOMPARE(black.size(), int(count));
        QCOMPARE(drawn.size(), black.size());
        for (int i = 0; i < black.size(); ++i)
            QVERIFY2(std::fabs(black[i] - drawn[i]) <= 1.5,
                     qPrintable(QString("row %1: line at %2, visual at %3").arg(row).arg(black[i]).arg(drawn[i])));
    }
    if (length > 0.f)
    {
        // Beyond the lines' ends there is neither a light nor its highlight.
        const int row = Size / 2 - int(std::ceil(length / 2 / unitsPerPixel)) - 3;
        QVERIFY(runs(lines, row, stripe).isEmpty());
        QVERIFY(runs(shown, row, orange).isEmpty());
    }
}

void tst_Renderer::renderingModeChoosesTheShading()
{
    osg::SurfaceAnalysisAttachmentPtr r = record();
    r->setAnalysisMode(0);
    r->setIsolines(4);
    r->setLineMode(1);
    r->setStripeThickness(0.5f);
    // Levels every 45 degrees, black from 0 to 45: a light 20 degrees off the floor's normal
    // makes the floor black in the analysis.
    const float angle = float(osg::deg2rad(20.0));
    r->setLinearLightDirection(osg::Vec3f(std::sin(angle), 0.f, std::cos(angle)));
    QVERIFY(stripe(oxRenderer::the().renderView({32, 32}).pixel(16, 16)));

    for (int mode : {0, 1, 3})
    {
        oxOSGWidget::setRenderingMode(mode, -1);
        QVERIFY2(!stripe(oxRenderer::the().renderView({32, 32}).pixel(16, 16)), qPrintable(QString::number(mode)));
    }
    oxOSGWidget::setRenderingMode(2, -1);
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QVERIFY(!stripe(oxRenderer::the().renderView({32, 32}).pixel(16, 16))); // no record: plain
}

namespace
{
std::string join(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}
} // namespace

// The rows whose role is Colours and the registered colourings name each other.
void tst_Renderer::everyColouringRowHasItsColouring()
{
    std::vector<std::string> rows;
    for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
        if (oxHostAnalysisRows::at(i).role == oxSettingRole::Colours)
            rows.push_back(oxHostAnalysisRows::at(i).name);
    // In the rows' order: that order decides which colours when several are on.
    const std::vector<std::string> names = oxColourings::names();
    QVERIFY2(names == rows,
             qPrintable(QString("registered: %1; rows: %2")
                            .arg(QString::fromStdString(join(names)), QString::fromStdString(join(rows)))));
}

void tst_Renderer::frameTakesOneColouring_data()
{
    QTest::addColumn<bool>("draft");
    QTest::addColumn<bool>("deviation");
    QTest::addColumn<bool>("distances");
    QTest::addColumn<bool>("stripes");
    QTest::addColumn<QString>("colouring");
    QTest::newRow("neither") << false << false << false << false << "module";
    QTest::newRow("draft") << true << false << false << false << "draft";
    QTest::newRow("deviation") << false << true << true << false << "deviation";
    QTest::newRow("deviation without distances") << false << true << false << false << "module";
    QTest::newRow("stripes") << false << false << false << true << "stripes";
    // A project written by hand can have several on: the first row of the table colours.
    QTest::newRow("both") << true << true << true << false << "draft";
    QTest::newRow("both, no distances") << true << true << false << false << "draft";
    QTest::newRow("draft and stripes") << true << false << false << true << "draft";
    QTest::newRow("deviation and stripes") << false << true << true << true << "deviation";
}

void tst_Renderer::frameTakesOneColouring()
{
    QFETCH(bool, draft);
    QFETCH(bool, deviation);
    QFETCH(bool, distances);
    QFETCH(bool, stripes);
    QFETCH(QString, colouring);
    oxFrame::Request request;
    request.hostAnalyses.DraftActive = draft;
    request.hostAnalyses.DeviationActive = deviation;
    request.hostAnalyses.StripesActive = stripes;
    if (distances)
        request.deviation = std::make_shared<oxDeviationField>();
    const std::unique_ptr<oxColouring> chosen = oxFrame::colouring(request, oxRenderer::the().scene());
    const oxColouring* c = chosen.get();
    const QString kind = dynamic_cast<const oxDraftColouring*>(c)       ? "draft"
                         : dynamic_cast<const oxDeviationColouring*>(c) ? "deviation"
                         : dynamic_cast<const oxStripesColouring*>(c)   ? "stripes"
                         : dynamic_cast<const oxModuleColouring*>(c)    ? "module"
                                                                        : "other";
    QCOMPARE(kind, colouring);
}

void tst_Renderer::legendShowsInCurvatureModeWithTheOverlay_data()
{
    QTest::addColumn<uint>("analysisMode");
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<bool>("legend");
    QTest::newRow("curvature, overlay shown") << 3u << true << true;
    QTest::newRow("curvature, overlay hidden") << 3u << false << false;
    QTest::newRow("isophotes, overlay shown") << 0u << true << false;
}

void tst_Renderer::legendShowsInCurvatureModeWithTheOverlay()
{
    QFETCH(uint, analysisMode);
    QFETCH(bool, overlay);
    QFETCH(bool, legend);
    record()->setAnalysisMode(analysisMode);
    oxOSGWidget::setCurvatureLegendOverlayVisible(overlay);
    // A narrow view of the floor's middle leaves the right edge to the legend.
    const QImage image = oxRenderer::the().renderView({400, 300});
    int red = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = image.width() * 3 / 4; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            red += qRed(c) > 150 && qGreen(c) < 60 && qBlue(c) < 80;
            blue += qBlue(c) > 150 && qRed(c) < 100 && qGreen(c) < 120;
        }
    QCOMPARE(red > 20 && blue > 20, legend);
}

void tst_Renderer::downscaledFrameHasTheRequestedSize()
{
    oxOSGWidget::enableRaytracingDownscale(1);
    oxOSGWidget::setRaytracingDownscaleFactor(4);
    const QImage image = oxRenderer::the().renderView({203, 101});
    QCOMPARE(image.size(), QSize(203, 101));
    oxOSGWidget::setRaytracingDownscaleFactor(1000);
    QCOMPARE(oxRenderer::the().renderView({50, 20}).size(), QSize(50, 20));
}

void tst_Renderer::renderToFileNamesTheFileOnError()
{
    QTemporaryDir dir;
    std::string error;
    const std::string good = dir.filePath("view.png").toStdString();
    QVERIFY2(oxRenderer::the().renderToFile(good, {40, 30, oxRenderer::DefaultFileSamples}, error), error.c_str());
    QCOMPARE(QImage(QString::fromStdString(good)).size(), QSize(40, 30));

    const std::string nowhere = dir.filePath("missing/folder/view.png").toStdString();
    QVERIFY(!oxRenderer::the().renderToFile(nowhere, {40, 30, oxRenderer::DefaultFileSamples}, error));
    QVERIFY2(QString::fromStdString(error).startsWith(QString::fromStdString("cannot write image \"" + nowhere + "\"")),
             error.c_str());
    QVERIFY(!oxRenderer::the().renderToFile(good, {0, 30, oxRenderer::DefaultFileSamples}, error));
    QVERIFY2(QString::fromStdString(error).contains("0x30"), error.c_str());
}

// The viewer reads the visuals on the GUI thread and draws them on its worker: the drawing is
// the one-step drawing, and shows the visuals as they were read, whatever moved since.
void tst_Renderer::visualsReadNowAreDrawnLaterAsTheyWere()
{
    oxSALightPlane visual;
    visual.setParent(oxScenegraph::getInternalRoot());
    visual.setTransform(osg::Vec3f(0.f, 0.f, 10.f), osg::Vec3f());
    visual.setLineCount(5, false);
    visual.setLineDistance(6.f, true);
    visual.setVisible(true);
    const oxRenderCamera camera = oxRenderer::the().hostCamera();
    const std::vector<float> depth(size_t(Size) * Size, std::numeric_limits<float>::infinity());
    QImage base(Size, Size, QImage::Format_RGB32);
    base.fill(Qt::darkGray);

    QImage oneStep = base.copy();
    oxOverlay::drawLightVisuals(oneStep, oxScenegraph::getInternalRoot(), camera, depth, Size, Size);
    const auto read = oxOverlay::collectLightVisuals(oxScenegraph::getInternalRoot(), camera, Size, Size);
    visual.setTransform(osg::Vec3f(7.f, 0.f, 10.f), osg::Vec3f(0.f, 0.f, 40.f));
    QImage later = base.copy();
    oxOverlay::drawLightVisuals(later, *read, camera, depth, Size, Size);
    visual.setParent(osg::NullFC);

    QVERIFY(oneStep != base);
    QCOMPARE(later, oneStep);
}

// The floor's sections along x are straight: combs without teeth, their envelopes lines on the
// floor at the planes, x = -15 and 15 for two planes.
void tst_Renderer::combsFollowTheRequestedSettings()
{
    auto combColumns = [](const QImage& image)
    {
        QVector<int> columns;
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixel(x, image.height() / 2), rgb(oxCurvatureComb::color()), 39))
                columns << x;
        return columns;
    };
    oxFrame::View view{Size, Size};
    view.hostAnalyses.CombSections = 2;
    QVERIFY(combColumns(oxRenderer::the().renderView(view)).isEmpty());
    view.hostAnalyses.CombActive = true;
    const QVector<int> two = combColumns(oxRenderer::the().renderView(view));
    view.hostAnalyses.CombSections = 1;
    const QVector<int> one = combColumns(oxRenderer::the().renderView(view));
    QVERIFY2(!one.isEmpty() && one.first() >= Size / 2 - 3 && one.last() <= Size / 2 + 2,
             qPrintable(QString::number(one.size())));
    QVERIFY2(two.size() >= 2 && two.first() < Size / 2 - 10 && two.last() > Size / 2 + 10,
             qPrintable(QString::number(two.size())));
}

// Images of one view with other settings (a report's) trace it once and re-shade it after; the
// first that needs curvatures traces it once more, with them. Each equals a frame traced afresh.
// A camera move traces again.
void tst_Renderer::sameViewWithOtherSettingsTracesOnce()
{
    oxRenderer& renderer = oxRenderer::the();
    auto fresh = []
    {
        std::vector<float> depth;
        return oxFrame::compose(oxFrame::request({64, 48, 3}), oxRenderer::the().scene(), oxRaytracer(), depth);
    };
    record()->setAnalysisMode(0);
    renderer.renderView({64, 48, 3});
    const size_t traces = renderer.traces();
    const std::pair<unsigned, size_t> images[] = {{1u, 0}, {2u, 0}, {3u, 1}, {0u, 1}, {1u, 1}};
    for (const auto& [mode, traced] : images)
    {
        record()->setAnalysisMode(mode);
        QCOMPARE(renderer.renderView({64, 48, 3}), fresh());
        QCOMPARE(renderer.traces(), traces + traced);
    }
    oxOSGWidget::setCamera(osg::Pnt3f(1.f, 0.f, 50.f), 45.f);
    QCOMPARE(renderer.renderView({64, 48, 3}), fresh());
    QCOMPARE(renderer.traces(), traces + 2);
}

QTEST_MAIN(tst_Renderer)
#include "tst_renderer.moc"
