// The draft angle: area fractions and per-face values against analytic answers, and the frames
// that show it.
#include "oxCadImporter.h"
#include "oxDraftColouring.h"
#include "oxDraftOverlay.h"
#include "oxDraftStats.h"
#include "oxFrame.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"
#include "oxSampleSurfaces.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{
const double Sin1 = std::sin(M_PI / 180); // 0.017452

// Flat, unlit colours, so that pixels show the draft's colours as they are.
oxFrame::Request draftRequest(const oxRenderCamera& camera, int size, float angle, bool ramp)
{
    oxFrame::Request r;
    r.camera = camera;
    r.analysis = false;
    r.hostAnalyses.ColoursLit = false;
    r.hostAnalyses.DraftActive = true;
    r.hostAnalyses.DraftDirection = osg::Vec3f(0.f, 0.f, 1.f);
    r.hostAnalyses.DraftAngle = angle;
    r.hostAnalyses.DraftRamp = ramp;
    r.width = r.height = size;
    return r;
}

// Looking along -x at the origin, z up, the view 22 units high: image y = centre - z * scale.
oxRenderCamera sideView()
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(50.f, 0.f, 0.f);
    camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    camera.orthographic = true;
    camera.orthographicHeight = 22.f;
    return camera;
}
} // namespace

class tst_Draft : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sphereFractions_data();
    void sphereFractions();
    void draftedBoxFaces_data();
    void draftedBoxFaces();
    void fractionsSplitTrianglesExactly();
    void probeReadsTheOutwardDraft();
    void classesAndBoundaryLinesInTheImage();
    void rampAndLegend();
    void rampTakesTheHostsMap_data();
    void rampTakesTheHostsMap();
    void facesSeenFromBehindKeepTheirDraft_data();
    void facesSeenFromBehindKeepTheirDraft();
    void badInputIsRefused();
    void boxFromACornerReadsAsASolid_data();
    void boxFromACornerReadsAsASolid();
};

void tst_Draft::sphereFractions_data()
{
    QTest::addColumn<bool>("cad");
    QTest::addColumn<double>("tolerance");
    // The exact surface, sampled on sub-triangles whose corners lie on the sphere: the sine there is
    // z / R, linear along the flat sub-triangles, so only their area differs from the sphere's
    // (1e-6 when this was written).
    QTest::newRow("CAD sphere") << true << 2e-5;
    // 256 x 128 segments, corner normals radial: the sine is again z / R on flat triangles, but
    // the triangles are coarser (1.4 degrees) and their area falls short of the sphere's by up to
    // (pi / 256)^2 / 2 = 8e-5 (relative) towards the poles more than in the band (2e-6 when this
    // was written).
    QTest::newRow("mesh sphere") << false << 1e-4;
}

void tst_Draft::sphereFractions()
{
    QFETCH(bool, cad);
    QFETCH(double, tolerance);
    oxRenderScene scene;
    std::string error;
    if (cad)
        QVERIFY(cadSampleLoads(scene, "sphere"));
    else
        scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 256))});
    oxDraftStats stats;
    QVERIFY2(oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 2.f), 1.0, stats, error), error.c_str());
    qInfo("insufficient %.6f (sin 1 deg %.6f), positive %.6f, negative %.6f", stats.insufficient, Sin1, stats.positive,
          stats.negative);
    QVERIFY2(std::fabs(stats.insufficient - Sin1) < tolerance, qPrintable(QString::number(stats.insufficient, 'g', 8)));
    QVERIFY(std::fabs(stats.positive - stats.negative) < 0.003);
    QVERIFY(std::fabs(stats.positive + stats.negative + stats.insufficient - 1) < 1e-9);
    QVERIFY(stats.min < -89.0 && stats.max > 89.0);
    QCOMPARE(stats.faces.empty(), !cad);
    // The CAD sphere is one face that runs through all three classes.
    if (cad)
    {
        QCOMPARE(stats.faces.size(), size_t(1));
        QCOMPARE(oxDraftStats::className(stats.faces[0].draftClass), "mixed");
        QVERIFY(stats.faces[0].min < -89.0 && stats.faces[0].max > 89.0);
    }
}

void tst_Draft::draftedBoxFaces_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<QString>("sides");
    QTest::addColumn<double>("insufficient"); // the sides' share of the area
    QTest::newRow("3 degrees clear 1") << 1.0 << "positive" << 0.0;
    QTest::newRow("3 degrees lack 5") << 5.0 << "insufficient" << -1.0;
}

void tst_Draft::draftedBoxFaces()
{
    QFETCH(double, angle);
    QFETCH(QString, sides);
    QFETCH(double, insufficient);
    oxRenderScene scene;
    QVERIFY(cadSampleLoads(scene, "draftbox"));
    oxDraftStats stats;
    std::string error;
    QVERIFY2(oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 1.f), angle, stats, error), error.c_str());
    QCOMPARE(stats.faces.size(), size_t(6));
    int drafted = 0, top = 0, bottom = 0;
    for (const oxDraftStats::Face& f : stats.faces)
    {
        const QString what = QString("face %1: %2 .. %3").arg(f.face).arg(f.min, 0, 'f', 4).arg(f.max, 0, 'f', 4);
        if (f.min > 89.99)
        {
            ++top;
            QCOMPARE(oxDraftStats::className(f.draftClass), "positive");
        }
        else if (f.max < -89.99)
        {
            ++bottom;
            QCOMPARE(oxDraftStats::className(f.draftClass), "negative");
        }
        else
        {
            ++drafted;
            QVERIFY2(std::fabs(f.min - 3) < 0.01 && std::fabs(f.max - 3) < 0.01, qPrintable(what));
            QCOMPARE(QString(oxDraftStats::className(f.draftClass)), sides);
        }
    }
    QCOMPARE(drafted, 4);
    QCOMPARE(top, 1);
    QCOMPARE(bottom, 1);
    QVERIFY(std::fabs(stats.min + 90) < 1e-6 && std::fabs(stats.max - 90) < 1e-6);
    if (insufficient == 0.0)
        QCOMPARE(stats.insufficient, 0.0);
    else
        QVERIFY(stats.insufficient > 0.5); // the sides hold most of the area
}

void tst_Draft::fractionsSplitTrianglesExactly()
{
    // One right triangle whose sine runs linearly from -0.5 to 0.5 along x: the levels +-0.25 cut
    // it where the area below x is x^2 / 2 of the unit triangle's 1/2 (with the hypotenuse
    // x + y = 1, the share below level t at x = t + 0.5 is 1 - (1 - x)^2).
    const double corners[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const double sines[3] = {-0.5, 0.5, -0.5};
    oxDraftStats::Sum sum;
    sum.add(corners, sines, 0.25);
    QCOMPARE(sum.area, 0.5);
    QVERIFY(std::fabs(sum.negative / sum.area - (1 - 0.75 * 0.75)) < 1e-12);
    QVERIFY(std::fabs(sum.belowPositive / sum.area - (1 - 0.25 * 0.25)) < 1e-12);
    QCOMPARE(sum.minSine, -0.5);
    QCOMPARE(sum.maxSine, 0.5);
}

void tst_Draft::probeReadsTheOutwardDraft()
{
    // A ray onto one drafted side of the box, from outside: the exact normal leans 3 degrees up.
    oxRenderScene scene;
    QVERIFY(cadSampleLoads(scene, "draftbox"));
    oxProbe p;
    QVERIFY(oxProbe::trace(scene, osg::Pnt3f(100.f, 0.f, 10.f), osg::Vec3f(-1.f, 0.f, 0.f), p));
    QVERIFY(p.exact);
    QVERIFY(p.face >= 0);
    QVERIFY(std::fabs(oxDraftStats::draft(p.normal, osg::Vec3f(0.f, 0.f, 1.f)) - 3) < 0.01);
    // The same face seen through the box from inside keeps its outward normal.
    QVERIFY(oxProbe::trace(scene, osg::Pnt3f(0.f, 0.f, 10.f), osg::Vec3f(1.f, 0.f, 0.f), p));
    QVERIFY(std::fabs(oxDraftStats::draft(p.normal, osg::Vec3f(0.f, 0.f, 1.f)) - 3) < 0.01);

    // Around the CAD sphere's pole, where the triangles' (u, v) run through the pole's arbitrary u,
    // the exact normal is still the outward one: the draft is 90 degrees less the polar angle (to
    // 0.2 degrees: at the pole itself the normal is undefined and the pole's own is taken).
    QVERIFY(cadSampleLoads(scene, "sphere"));
    for (float x = -0.6f; x <= 0.6f; x += 0.1f)
    {
        QVERIFY(oxProbe::trace(scene, osg::Pnt3f(x, 0.03f, 50.f), osg::Vec3f(0.f, 0.f, -1.f), p));
        const double expected = 90 - std::asin(std::hypot(x, 0.03) / 10) * 180 / M_PI;
        QVERIFY2(std::fabs(oxDraftStats::draft(p.normal, osg::Vec3f(0.f, 0.f, 1.f)) - expected) < 0.2,
                 qPrintable(QString::number(x)));
    }
}

void tst_Draft::classesAndBoundaryLinesInTheImage()
{
    // The CAD sphere from the side with 20 degrees: yellow about the equator, blue above the
    // boundary at z = 10 sin 20, vermillion below; the lines on those two rows.
    oxRenderScene scene;
    QVERIFY(cadSampleLoads(scene, "sphere"));
    const int size = 440; // 20 pixels a unit
    const double scale = size / 22.0, centre = size / 2.0;
    const oxFrame::Request request = draftRequest(sideView(), size, 20.f, false);
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, scene, oxRaytracer(), depth);
    const oxDraftColouring shader(request.settings, request.hostAnalyses);
    const int x = int(centre) - 40; // left of the middle, clear of the legend
    auto rowOf = [&](double z) { return int(std::floor(centre - z * scale)); };
    QVERIFY(near(image.pixel(x, rowOf(0)), rgb(shader.colour(0.f))));
    QVERIFY(near(image.pixel(x, rowOf(6)), rgb(shader.colour(40.f))));
    QVERIFY(near(image.pixel(x, rowOf(-6)), rgb(shader.colour(-40.f))));
    QVERIFY(rgb(shader.colour(40.f)) != rgb(shader.colour(0.f)));
    QVERIFY(rgb(shader.colour(-40.f)) != rgb(shader.colour(0.f)));
    // The draft at this column's hit is asin(z / 10) (the ray runs along x): each boundary row is
    // where z = +-10 sin 20, the line on the pixel nearer to it; a few pixels off, none.
    for (double boundary : {1.0, -1.0})
    {
        const double z = boundary * 10 * std::sin(20 * M_PI / 180);
        int line = -1;
        for (int y = rowOf(z) - 3; y <= rowOf(z) + 3; ++y)
            if (image.pixel(x, y) == oxDraftOverlay::LineColour)
            {
                QVERIFY2(line < 0, "one pixel wide");
                line = y;
            }
        QVERIFY2(std::abs(line - rowOf(z)) <= 1,
                 qPrintable(QString("line at %1, boundary at %2").arg(line).arg(rowOf(z))));
    }
}

void tst_Draft::rampAndLegend()
{
    oxRenderScene scene;
    scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 256))});
    const int size = 440;
    const double scale = size / 22.0, centre = size / 2.0;
    const oxFrame::Request request = draftRequest(sideView(), size, 1.f, true);
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, scene, oxRaytracer(), depth);
    const oxDraftColouring shader(request.settings, request.hostAnalyses);
    // The draft at a hit is asin(z / 10) in any column: the ramp's colours at 30 and -45 degrees
    // (the pixel's centre a little off those), and its ends differ from its middle.
    const int x = int(centre) - 40;
    for (double degrees : {30.0, -45.0})
    {
        const double z = 10 * std::sin(degrees * M_PI / 180);
        const int y = int(std::floor(centre - z * scale));
        const double draft = std::asin((centre - (y + 0.5)) / scale / 10) * 180 / M_PI;
        QVERIFY2(near(image.pixel(x, y), rgb(shader.colour(float(draft))), 3), qPrintable(QString::number(degrees)));
    }
    QVERIFY(rgb(shader.colour(90.f)) != rgb(shader.colour(0.f)));
    QVERIFY(rgb(shader.colour(-90.f)) != rgb(shader.colour(90.f)));
    // The legend's bar at the right edge (without a GUI application, and so without labels): its
    // top is the ramp's top, its bottom the ramp's bottom.
    const int barLeft = size - std::max(4, size / 80) - std::max(6, std::min(24, size / 40)) + 2;
    const int top = (size - size * 3 / 5) / 2;
    QVERIFY(near(image.pixel(barLeft, top + 1), rgb(shader.colour(90.f)), 8));
    QVERIFY(near(image.pixel(barLeft, top + size * 3 / 5 - 2), rgb(shader.colour(-90.f)), 8));
}

void tst_Draft::rampTakesTheHostsMap_data()
{
    QTest::addColumn<bool>("ramp");
    QTest::addColumn<unsigned>("map");
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<unsigned>("steps");
    QTest::addColumn<float>("degrees");
    QTest::addColumn<float>("position"); // on the map; negative: the classic colour
    QTest::newRow("viridis, facing away") << true << 1u << false << 0u << -90.f << 0.f;
    QTest::newRow("viridis, along the pull") << true << 1u << false << 0u << 0.f << 0.5f;
    QTest::newRow("viridis, facing the pull") << true << 1u << false << 0u << 90.f << 1.f;
    QTest::newRow("cividis reversed") << true << 2u << true << 0u << 45.f << 0.25f;
    QTest::newRow("coolwarm in four steps") << true << 3u << false << 4u << 10.f << 2.f / 3.f;
    QTest::newRow("classic ramp in two steps") << true << 0u << false << 2u << -30.f << 0.f;
    QTest::newRow("the classes keep their colours") << false << 1u << false << 0u << 30.f << -1.f;
    QTest::newRow("the classic ramp as it was") << true << 0u << false << 0u << 30.f << -1.f;
}

void tst_Draft::rampTakesTheHostsMap()
{
    QFETCH(bool, ramp);
    QFETCH(unsigned, map);
    QFETCH(bool, reversed);
    QFETCH(unsigned, steps);
    QFETCH(float, degrees);
    QFETCH(float, position);
    oxHostAnalysisSettings host;
    host.DraftRamp = ramp;
    host.ColourMap = map;
    host.ColourMapReversed = reversed;
    host.ColourMapSteps = steps;
    const oxDraftColouring draft(oxAnalysisSettings(), host);
    oxHostAnalysisSettings classic;
    classic.DraftRamp = ramp;
    const oxDraftColouring classicDraft(oxAnalysisSettings(), classic);
    // The classic ramp's ends: vermillion at -90, blue at 90.
    const osg::Color3f expected = position < 0.f ? classicDraft.colour(degrees)
                                  : map == 0
                                      ? (position == 0.f ? classicDraft.colour(-90.f) : classicDraft.colour(90.f))
                                      : oxColourMap::sample(oxColourMap::table(int(map)), position);
    QCOMPARE(rgb(draft.colour(degrees)), rgb(expected));
}

void tst_Draft::facesSeenFromBehindKeepTheirDraft_data()
{
    QTest::addColumn<bool>("cad");
    // An open plane (normal +z) seen from below, and the CAD sphere seen from its centre: both
    // face away from the viewer, and their outward normals are what the draft reads.
    QTest::newRow("mesh plane from below") << false;
    QTest::newRow("CAD sphere from inside") << true;
}

void tst_Draft::facesSeenFromBehindKeepTheirDraft()
{
    QFETCH(bool, cad);
    oxRenderScene scene;
    oxRenderCamera camera;
    if (cad)
    {
        QVERIFY(cadSampleLoads(scene, "sphere"));
        // From the centre, looking along x: the upper half of the image is the upper half of the
        // sphere, whose outward normals lean up.
        camera.from = osg::Pnt3f(0.f, 0.f, 0.f);
        camera.at = osg::Pnt3f(1.f, 0.f, 0.f);
        camera.up = osg::Vec3f(0.f, 0.f, 1.f);
        camera.fovDegrees = 90.f;
    }
    else
    {
        scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::plane(10.f, 4))});
        camera.from = osg::Pnt3f(0.f, 0.f, -30.f);
        camera.up = osg::Vec3f(0.f, 1.f, 0.f);
    }
    const int size = 64;
    const oxFrame::Request request = draftRequest(camera, size, 1.f, false);
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, scene, oxRaytracer(), depth);
    const oxDraftColouring shader(request.settings, request.hostAnalyses);
    const QRgb pixel = image.pixel(size / 4, cad ? size / 8 : size / 2);
    QVERIFY2(near(pixel, rgb(shader.colour(60.f))), qPrintable(QString::number(pixel, 16)));
}

void tst_Draft::badInputIsRefused()
{
    oxRenderScene scene;
    scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 16))});
    oxDraftStats stats;
    stats.min = 42;
    std::string error;
    QVERIFY(!oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 0.f), 1.0, stats, error));
    QVERIFY(error.find("direction") != std::string::npos);
    QVERIFY(!oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 1.f), -1.0, stats, error));
    QVERIFY(error.find("angle") != std::string::npos);
    QVERIFY(!oxDraftStats::compute(oxRenderScene(), osg::Vec3f(0.f, 0.f, 1.f), 1.0, stats, error));
    QCOMPARE(stats.min, 42.0);
}

void tst_Draft::boxFromACornerReadsAsASolid_data()
{
    // Its top and two sides seen from a corner are all of one class; a light along the view would
    // light the three alike, and the box would read as a flat cut-out.
    QTest::addColumn<unsigned>("shadingMode");
    QTest::newRow("flat") << unsigned(osg::FlatShading);
    QTest::newRow("diffuse") << unsigned(osg::DiffuseShading);
    QTest::newRow("glossy") << unsigned(osg::GlossyShading);
}

void tst_Draft::boxFromACornerReadsAsASolid()
{
    QFETCH(unsigned, shadingMode);
    oxRenderScene scene;
    QVERIFY(cadSampleLoads(scene, "draftbox"));
    oxFrame::Request request;
    request.camera.from = osg::Pnt3f(100.f, -100.f, 90.f);
    request.camera.at = osg::Pnt3f(0.f, 0.f, 10.f);
    request.camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    request.camera.orthographic = true;
    request.camera.orthographicHeight = 80.f;
    request.settings.ShadingMode = shadingMode;
    request.hostAnalyses.DraftActive = true;
    request.width = request.height = 200;
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, scene, oxRaytracer(), depth);
    oxRenderCamera camera = request.camera;
    camera.setup(request.width, request.height);
    auto pixel = [&](const QImage& in, const osg::Pnt3f& p)
    {
        double x = 0, y = 0;
        camera.toImage(camera.toCamera(p), x, y);
        return in.pixel(int(x), int(y));
    };
    const osg::Pnt3f faces[] = {{0.f, 0.f, 20.f}, {0.f, -15.f, 8.f}, {20.f, 0.f, 8.f}}; // top, front, side
    const QRgb top = pixel(image, faces[0]), front = pixel(image, faces[1]), side = pixel(image, faces[2]);
    auto apart = [](QRgb a, QRgb b) { return !near(a, b, 12); };
    QVERIFY2(apart(top, front) && apart(front, side) && apart(top, side),
             qPrintable(QString::number(top, 16) + " " + QString::number(front, 16) + " " + QString::number(side, 16)));

    // Flat, each is the legend's colour exactly.
    request.hostAnalyses.ColoursLit = false;
    const QImage flat = oxFrame::compose(request, scene, oxRaytracer(), depth);
    const QRgb legend = rgb(oxDraftColouring(request.settings, request.hostAnalyses).colour(90.f));
    for (const osg::Pnt3f& p : faces)
        QCOMPARE(pixel(flat, p), legend);
}

QTEST_GUILESS_MAIN(tst_Draft)
#include "tst_draft.moc"
