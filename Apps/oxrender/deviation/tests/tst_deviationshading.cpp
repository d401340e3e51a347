// Frames coloured by the distance to a reference: hand-made distance fields on a plane, read back
// as pixel colours, the neutral band, the ramp's scale and the legend.
#include "oxDeviation.h"
#include "oxColouringInput.h"
#include "oxDeviationColouring.h"
#include "oxDeviationOverlay.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxReferenceGhost.h"
#include "oxRenderScene.h"
#include "oxRenderTestSupport.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace
{
// The square [-10, 10]^2 at z = 0, n x n cells.
std::shared_ptr<oxRenderMesh> plane(int n)
{
    auto mesh = std::make_shared<oxRenderMesh>();
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
        {
            mesh->positions.emplace_back(-10.f + 20.f * float(i) / float(n), -10.f + 20.f * float(j) / float(n), 0.f);
            mesh->normals.emplace_back(0.f, 0.f, 1.f);
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
        {
            const osg::UInt32 a = osg::UInt32(j * (n + 1) + i), b = a + 1, c = a + osg::UInt32(n + 1), d = c + 1;
            mesh->indices.insert(mesh->indices.end(), {a, b, d, a, d, c});
        }
    return mesh;
}

// The square [-h, h]^2 at height z.
std::shared_ptr<oxRenderMesh> square(float h, float z)
{
    std::shared_ptr<oxRenderMesh> mesh = plane(2);
    for (osg::Pnt3f& p : mesh->positions)
        p = osg::Pnt3f(p[0] * h / 10.f, p[1] * h / 10.f, z);
    return mesh;
}

// d = slope * x at every vertex: + on the right half, - on the left; linear, so that the
// interpolation over any triangle gives slope * x at every point.
std::shared_ptr<oxDeviationField> slopeField(const oxRenderMesh& mesh, float slope)
{
    auto field = std::make_shared<oxDeviationField>();
    field->distance.resize(1);
    field->closest.resize(1);
    for (const osg::Pnt3f& p : mesh.positions)
    {
        field->distance[0].push_back(slope * p[0]);
        field->closest[0].push_back(p);
    }
    return field;
}

// From above, the square filling 400 pixels across: x = (px + 0.5) / 20 - 10 at pixel px.
const int Size = 480;
oxRenderCamera topView()
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(0.f, 0.f, 50.f);
    camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
    camera.up = osg::Vec3f(0.f, 1.f, 0.f);
    camera.orthographic = true;
    camera.orthographicHeight = 24.f;
    return camera;
}
double worldX(int px)
{
    return (px + 0.5 - Size / 2.0) * 24.0 / Size;
}

// Flat, unlit colours, so that pixels show the deviation's colours as they are.
oxFrame::Request deviationRequest(const std::shared_ptr<const oxDeviationField>& field, float tolerance, float range)
{
    oxFrame::Request r;
    r.camera = topView();
    r.hostAnalyses.ColoursLit = false;
    r.analysis = false;
    r.hostAnalyses.DeviationActive = true;
    r.hostAnalyses.DeviationTolerance = tolerance;
    r.hostAnalyses.DeviationRange = range;
    r.deviationTolerance = tolerance;
    r.deviation = field;
    r.width = r.height = Size;
    return r;
}

// The plane of n x n cells coloured by d = 0.05 x, tolerance 0.1 and range 0.4 on the host's colour
// map, and the colouring that colours it.
struct SlopeFrame
{
    explicit SlopeFrame(int cells, unsigned colourMap = 0)
        : mesh(plane(cells)), field(slopeField(*mesh, 0.05f)), request(deviationRequest(field, 0.1f, 0.4f))
    {
        request.hostAnalyses.ColourMap = colourMap;
        scene.setMeshes({mesh});
        std::vector<float> depth;
        image = oxFrame::compose(request, scene, oxRaytracer(), depth);
        oxColouringInput input;
        input.scene = &scene;
        input.settings = request.settings;
        input.host = request.hostAnalyses;
        input.deviation = field;
        input.deviationTolerance = 0.1f;
        shader = std::make_unique<oxDeviationColouring>(input);
    }
    std::shared_ptr<oxRenderMesh> mesh;
    std::shared_ptr<oxDeviationField> field;
    oxFrame::Request request;
    oxRenderScene scene;
    QImage image;
    std::unique_ptr<const oxDeviationColouring> shader;
};
} // namespace

class tst_DeviationShading : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pixelsTakeTheInterpolatedDistancesColour_data();
    void pixelsTakeTheInterpolatedDistancesColour();
    void neutralBandEndsAtTheTolerance();
    void offOrWithoutFieldTheModelIsNotColoured_data();
    void offOrWithoutFieldTheModelIsNotColoured();
    void scaleDefaults();
    void mapColoursBeyondTheTolerance();
    void legendShowsTheRampAndTheHistogram();
    void ghostShowsWhereTheReferenceIsNotHidden_data();
    void ghostShowsWhereTheReferenceIsNotHidden();
};

// On viridis the distances from -range to range take the map; within tolerance they stay neutral.
void tst_DeviationShading::mapColoursBeyondTheTolerance()
{
    const SlopeFrame classic(16), mapped(16, 1);
    const QImage& image = mapped.image;
    const oxDeviationColouring& shader = *mapped.shader;
    const oxColourTable viridis = oxColourMap::table(1);
    QCOMPARE(rgb(shader.colour(0.4f)), rgb(oxColourMap::sample(viridis, 1.f)));
    QCOMPARE(rgb(shader.colour(-9.f)), rgb(oxColourMap::sample(viridis, 0.f)));
    QCOMPARE(rgb(shader.colour(0.2f)), rgb(oxColourMap::sample(viridis, 0.75f)));
    QCOMPARE(rgb(shader.colour(0.05f)), rgb(classic.shader->colour(0.05f)));
    const int py = Size / 2 + 40;
    for (double x : {-9.0, -5.0, 0.0, 5.0})
    {
        const int px = int(Size / 2 + x * 20);
        const float d = float(0.05 * worldX(px));
        QVERIFY2(near(image.pixel(px, py), rgb(shader.colour(d))), qPrintable(QString::number(x)));
    }
}

void tst_DeviationShading::pixelsTakeTheInterpolatedDistancesColour_data()
{
    QTest::addColumn<int>("px");
    QTest::addColumn<QString>("expect"); // inside, outside or neutral
    // d = 0.05 x, tolerance 0.1 (|x| < 2), range 0.4 (|x| = 8).
    QTest::newRow("far right, full vermillion") << int(Size / 2 + 9.0 * 20) << "outside";
    QTest::newRow("right, on the ramp") << int(Size / 2 + 5.0 * 20) << "outside";
    QTest::newRow("just right of the band") << int(Size / 2 + 2.5 * 20) << "outside";
    QTest::newRow("right in the band") << int(Size / 2 + 1.5 * 20) << "neutral";
    QTest::newRow("middle") << Size / 2 << "neutral";
    QTest::newRow("left in the band") << int(Size / 2 - 1.5 * 20) << "neutral";
    QTest::newRow("left, on the ramp") << int(Size / 2 - 5.0 * 20) << "inside";
    QTest::newRow("far left, full blue") << int(Size / 2 - 9.0 * 20) << "inside";
}

void tst_DeviationShading::pixelsTakeTheInterpolatedDistancesColour()
{
    QFETCH(int, px);
    QFETCH(QString, expect);
    const SlopeFrame frame(16);
    const QImage& image = frame.image;
    const oxDeviationColouring& shader = *frame.shader;
    const float d = float(0.05 * worldX(px));
    const int py = Size / 2 + 40; // below the middle, clear of the legend's bar
    QVERIFY2(near(image.pixel(px, py), rgb(shader.colour(d))), qPrintable(QString::number(double(d))));
    // The three kinds are told apart by colour: red over blue outside, blue over red inside.
    const QColor c(image.pixel(px, py));
    if (expect == "outside")
        QVERIFY(c.red() > c.blue() + 20);
    else if (expect == "inside")
        QVERIFY(c.blue() > c.red() + 20);
    else
        QVERIFY(std::abs(c.red() - c.blue()) <= 2 && std::abs(c.red() - c.green()) <= 2);
    // Beyond the range, the colour stays the range's.
    QCOMPARE(rgb(shader.colour(9.f)), rgb(shader.colour(0.4f)));
    QCOMPARE(rgb(shader.colour(-9.f)), rgb(shader.colour(-0.4f)));
}

void tst_DeviationShading::neutralBandEndsAtTheTolerance()
{
    // Along a row, the neutral colour covers exactly the pixels with |d| <= tolerance.
    const SlopeFrame frame(7); // vertices off the band's edges
    const QRgb neutral = rgb(frame.shader->colour(0.f));
    int first = -1, last = -1;
    for (int px = 0; px < Size; ++px)
        if (frame.image.pixel(px, Size / 2 + 40) == neutral)
        {
            if (first < 0)
                first = px;
            last = px;
        }
    // |0.05 x| <= 0.1 for x in [-2, 2]: 80 pixels about the middle.
    QVERIFY2(std::fabs(worldX(first) + 2) < 0.06 && std::fabs(worldX(last) - 2) < 0.06,
             qPrintable(QString("%1 .. %2").arg(worldX(first)).arg(worldX(last))));
}

void tst_DeviationShading::offOrWithoutFieldTheModelIsNotColoured_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("field");
    QTest::newRow("off") << false << true;
    QTest::newRow("no field") << true << false;
}

void tst_DeviationShading::offOrWithoutFieldTheModelIsNotColoured()
{
    QFETCH(bool, active);
    QFETCH(bool, field);
    oxRenderScene scene;
    const std::shared_ptr<oxRenderMesh> mesh = plane(4);
    scene.setMeshes({mesh});
    oxFrame::Request request = deviationRequest(slopeField(*mesh, 0.05f), 0.1f, 0.4f);
    request.hostAnalyses.DeviationActive = active;
    if (!field)
        request.deviation.reset();
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, scene, oxRaytracer(), depth);
    const QColor left(image.pixel(Size / 2 - 160, Size / 2)), right(image.pixel(Size / 2 + 120, Size / 2));
    QCOMPARE(left, right);
    QCOMPARE(left.red(), left.blue());
}

void tst_DeviationShading::scaleDefaults()
{
    const std::shared_ptr<oxRenderMesh> mesh = plane(100);
    oxRenderScene reference;
    reference.setMeshes({mesh});
    oxHostAnalysisSettings host;
    // Tolerance 0 (never set): a thousandth of the reference's diagonal; without one, 0.
    QCOMPARE(float(oxDeviation::tolerance(host, reference)), float(std::sqrt(800.0) / 1000));
    QCOMPARE(float(oxDeviation::tolerance(host, oxRenderScene())), 0.f);
    host.DeviationTolerance = 0.25f;
    QCOMPARE(float(oxDeviation::tolerance(host, reference)), 0.25f);
    // Range 0: the 98th percentile of |d|, here of 0.05 |x| over evenly spread columns of x.
    std::shared_ptr<const oxDeviationField> field = slopeField(*mesh, 0.05f);
    QVERIFY(std::fabs(oxDeviationOverlay::halfRange(host, field) - 0.49f) < 0.01f);
    // A new field is measured again, not read from the last one's.
    field = slopeField(*mesh, 0.1f);
    QVERIFY(std::fabs(oxDeviationOverlay::halfRange(host, field) - 0.98f) < 0.02f);
    host.DeviationRange = 0.3f;
    QCOMPARE(oxDeviationOverlay::halfRange(host, field), 0.3f);
    QCOMPARE(oxDeviationOverlay::halfRange(oxHostAnalysisSettings(), nullptr), 0.f);
}

void tst_DeviationShading::legendShowsTheRampAndTheHistogram()
{
    const SlopeFrame frame(64);
    const oxRenderScene& scene = frame.scene;
    const oxDeviationField& field = *frame.field;
    // Area fractions: all of the model within [-0.5, 0.5], half on either side.
    const std::vector<double> hist = oxDeviationOverlay::histogram(scene, field, 0.5f, 32);
    QCOMPARE(int(hist.size()), 32);
    double total = 0, upper = 0;
    for (size_t i = 0; i < hist.size(); ++i)
    {
        total += hist[i];
        upper += i >= 16 ? hist[i] : 0;
    }
    QVERIFY(std::fabs(total - 1) < 1e-9);
    QVERIFY2(std::fabs(upper - 0.5) < 0.02, qPrintable(QString::number(upper)));
    // A range of 0.25 puts the outer halves (|x| > 5, a quarter of the area each) in the end bins,
    // beside the bins' own share (a 32nd of the half of the area within range).
    const std::vector<double> narrow = oxDeviationOverlay::histogram(scene, field, 0.25f, 32);
    const double end = 0.25 + 0.5 / 32;
    QVERIFY(std::fabs(narrow.front() - end) < 0.01 && std::fabs(narrow.back() - end) < 0.01);
    QVERIFY(oxDeviationOverlay::histogram(scene, field, 0.f, 32).empty());

    // The legend's bar at the right edge (no labels without a GUI application): the range's
    // colours at its ends, the neutral colour in its middle, the marks at +-tolerance.
    const QImage& image = frame.image;
    const oxDeviationColouring& shader = *frame.shader;
    const int barLeft = Size - std::max(4, Size / 80) - std::max(6, std::min(24, Size / 40)) + 2;
    const int top = (Size - Size * 3 / 5) / 2, height = Size * 3 / 5;
    QVERIFY(near(image.pixel(barLeft, top + 1), rgb(shader.colour(0.4f)), 8));
    QVERIFY(near(image.pixel(barLeft, top + height - 2), rgb(shader.colour(-0.4f)), 8));
    QVERIFY(near(image.pixel(barLeft, top + height / 2), rgb(shader.colour(0.f)), 2));
    const int markRow = top + int(std::lround((1.0 - 0.25) / 2 * (height - 1)));
    QCOMPARE(image.pixel(barLeft, markRow), oxDeviationOverlay::ToleranceMark);
    // The histogram's bars to the left of the bar.
    bool bars = false;
    for (int x = barLeft - 30; x < barLeft - 4; ++x)
        bars = bars || image.pixel(x, top + height / 2) == qRgb(230, 230, 230);
    QVERIFY(bars);
}

void tst_DeviationShading::ghostShowsWhereTheReferenceIsNotHidden_data()
{
    QTest::addColumn<float>("z");
    QTest::addColumn<bool>("inFront");
    QTest::newRow("in front of the model") << 2.f << true;
    QTest::newRow("behind the model") << -2.f << false;
}

void tst_DeviationShading::ghostShowsWhereTheReferenceIsNotHidden()
{
    // The model [-10, 10]^2 at z = 0 seen from above; the reference [-11, 11]^2 above or below it.
    QFETCH(float, z);
    QFETCH(bool, inFront);
    oxRenderScene scene, reference;
    scene.setMeshes({plane(4)});
    reference.setMeshes({square(11.f, z)});
    oxFrame::Request request;
    request.camera = topView();
    request.width = request.height = Size;
    std::vector<float> depth;
    const QImage plain = oxFrame::compose(request, scene, oxRaytracer(), depth).copy();
    request.ghost = &reference;
    const QImage ghosted = oxFrame::compose(request, scene, oxRaytracer(), depth);
    auto veiled = [](QRgb under, float alpha)
    {
        auto mix = [alpha](int a, int b) { return int(float(a) + (float(b) - float(a)) * alpha + 0.5f); };
        const QRgb c = oxReferenceGhost::Colour;
        return qRgb(mix(qRed(under), qRed(c)), mix(qGreen(under), qGreen(c)), mix(qBlue(under), qBlue(c)));
    };
    const int middle = Size / 2, edge = int(Size / 2 + 11.0 * 20), between = int(Size / 2 + 10.5 * 20);
    const int y = Size / 2 + 30;
    // Over the model: veiled in front, untouched behind it.
    const QRgb model = plain.pixel(middle, y);
    QCOMPARE(ghosted.pixel(middle, y), inFront ? veiled(model, oxReferenceGhost::VeilAlpha) : model);
    // Where the model leaves the background, the reference shows either way, its outline on its edge.
    QCOMPARE(ghosted.pixel(between, y), veiled(plain.pixel(between, y), oxReferenceGhost::VeilAlpha));
    bool outline = false;
    for (int x = edge - 2; x <= edge + 2; ++x)
        outline = outline || ghosted.pixel(x, y) == veiled(plain.pixel(x, y), oxReferenceGhost::OutlineAlpha);
    QVERIFY(outline);
    // Beyond the reference, nothing.
    QCOMPARE(ghosted.pixel(Size - 2, 2), plain.pixel(Size - 2, 2));
}

QTEST_GUILESS_MAIN(tst_DeviationShading)
#include "tst_deviationshading.moc"
