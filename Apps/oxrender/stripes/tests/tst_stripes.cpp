#include "oxColouringInput.h"
#include "oxRenderTestSupport.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderMath.h"
#include "oxStripesColouring.h"

#include <QtTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(osg::Vec3f)

namespace
{
// Seen from -y, Z up: the central ray looks along +y.
oxColouringInput input(unsigned axis, unsigned count, float width = 0.5f, float sharpness = 1.f)
{
    oxColouringInput in;
    in.camera.from = osg::Pnt3f(0.f, -10.f, 0.f);
    in.camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
    in.camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    in.host.StripesActive = true;
    in.host.StripesAxis = axis;
    in.host.StripesVector = osg::Vec3f(0.f, 0.f, 2.f);
    in.host.StripesCount = count;
    in.host.StripesWidth = width;
    in.host.StripesSharpness = sharpness;
    return in;
}

const osg::Vec3f Ahead(0.f, 1.f, 0.f);

float coverAt(const oxStripesColouring& c, const osg::Vec3f& normal, const osg::Vec3f& ray = Ahead)
{
    const osg::Vec3f n = oxRenderMath::unit(normal);
    return c.cover(c.stripeAt(osg::Pnt3f(0.f, 0.f, 0.f), c.reflected(n, ray)), 0.f);
}

// A cube of side 10 about the origin.
std::shared_ptr<oxRenderMesh> box()
{
    const osg::Vec3f corners[] = {{-5, -5, -5}, {5, -5, -5}, {5, 5, -5}, {-5, 5, -5},
                                  {-5, -5, 5},  {5, -5, 5},  {5, 5, 5},  {-5, 5, 5}};
    auto mesh = std::make_shared<oxRenderMesh>();
    for (const osg::Vec3f& p : corners)
        mesh->positions.push_back(osg::Pnt3f(p));
    mesh->indices = {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                     1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7};
    mesh->computeNormals(30.f);
    return mesh;
}
} // namespace

class tst_Stripes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stripeFollowsAxisAndCount_data();
    void stripeFollowsAxisAndCount();
    void coverFollowsWidthSharpnessAndFootprint_data();
    void coverFollowsWidthSharpnessAndFootprint();
    void lockedStripesStayOnThePartWhileTheViewOrbits_data();
    void lockedStripesStayOnThePartWhileTheViewOrbits();
    void tubesCrowdInFrontOfThePart_data();
    void tubesCrowdInFrontOfThePart();
    void crowdedStripesFadeToTheMeanGrey_data();
    void crowdedStripesFadeToTheMeanGrey();
    void frameStripesEveryFaceOfABox_data();
    void frameStripesEveryFaceOfABox();
};

// The eye ray +y reflected off the normal: (0, -1, 0) back to the viewer is where the angle
// starts (a dark stripe's middle); (1, -1, 0) reflects along +x, a quarter turn about Z; (0, -1, 1)
// along +z, three quarters about X.
void tst_Stripes::stripeFollowsAxisAndCount_data()
{
    QTest::addColumn<uint>("axis");
    QTest::addColumn<osg::Vec3f>("normal");
    QTest::addColumn<uint>("count");
    QTest::addColumn<float>("cover");
    QTest::newRow("Z, back to the viewer") << 2u << osg::Vec3f(0, -1, 0) << 24u << 1.f;
    QTest::newRow("Z, quarter turn, 2 stripes: between") << 2u << osg::Vec3f(1, -1, 0) << 2u << 0.f;
    QTest::newRow("Z, quarter turn, 4 stripes: in one") << 2u << osg::Vec3f(1, -1, 0) << 4u << 1.f;
    QTest::newRow("view vertical is Z here") << 3u << osg::Vec3f(1, -1, 0) << 2u << 0.f;
    QTest::newRow("vector (0, 0, 2) is Z") << 5u << osg::Vec3f(1, -1, 0) << 4u << 1.f;
    QTest::newRow("X, three quarters, 2 stripes") << 0u << osg::Vec3f(0, -1, 1) << 2u << 0.f;
    QTest::newRow("X, three quarters, 4 stripes") << 0u << osg::Vec3f(0, -1, 1) << 4u << 1.f;
    QTest::newRow("view horizontal is X here") << 4u << osg::Vec3f(0, -1, 1) << 2u << 0.f;
    // Seen along the axis, the angle starts from the view's up: +z.
    QTest::newRow("Y, the angle from the view's up") << 1u << osg::Vec3f(0, -1, 1) << 2u << 1.f;
    QTest::newRow("Y, a quarter from the view's up") << 1u << osg::Vec3f(1, -1, 0) << 2u << 0.f;
}

void tst_Stripes::stripeFollowsAxisAndCount()
{
    QFETCH(uint, axis);
    QFETCH(osg::Vec3f, normal);
    QFETCH(uint, count);
    QFETCH(float, cover);
    const oxStripesColouring c(input(axis, count));
    QVERIFY2(std::fabs(coverAt(c, normal) - cover) < 0.01f, qPrintable(QString::number(coverAt(c, normal))));
}

// t in stripes from a dark stripe's middle, footprint in stripes.
void tst_Stripes::coverFollowsWidthSharpnessAndFootprint_data()
{
    QTest::addColumn<float>("t");
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("sharpness");
    QTest::addColumn<float>("footprint");
    QTest::addColumn<float>("cover");
    QTest::newRow("0.3 off, half dark: light") << 0.3f << 0.5f << 1.f << 0.f << 0.f;
    QTest::newRow("0.3 off, 0.7 dark: dark") << 0.3f << 0.7f << 1.f << 0.f << 1.f;
    QTest::newRow("0.3 off, 0.1 dark: light") << 0.3f << 0.1f << 1.f << 0.f << 0.f;
    QTest::newRow("on the edge, soft: half") << 0.25f << 0.5f << 0.f << 0.f << 0.5f;
    // Sharpness 0 ramps over the whole of the narrower band: 0.3 of the window [0.2, 0.7] is dark.
    QTest::newRow("near the edge, soft: between") << 0.2f << 0.5f << 0.f << 0.f << 0.6f;
    QTest::newRow("footprint of 40 stripes: the dark share") << 0.1f << 0.5f << 1.f << 40.f << 0.5f;
    QTest::newRow("footprint of 40 stripes, 0.3 dark") << 0.6f << 0.3f << 1.f << 40.f << 0.3f;
    QTest::newRow("footprint of 8 stripes: the dark share") << 0.37f << 0.25f << 1.f << 8.f << 0.25f;
    // Crowded, every second dark stripe fades out, then every second of the rest.
    QTest::newRow("half a stripe a pixel: an even stripe stays") << 2.f << 0.5f << 1.f << 0.5f << 1.f;
    QTest::newRow("half a stripe a pixel: an odd stripe goes") << 1.f << 0.5f << 1.f << 0.5f << 0.f;
    QTest::newRow("a stripe a pixel: every fourth stays") << 4.f << 0.5f << 1.f << 1.f << 1.f;
    QTest::newRow("a stripe a pixel: the second goes") << 2.f << 0.5f << 1.f << 1.f << 0.f;
}

void tst_Stripes::coverFollowsWidthSharpnessAndFootprint()
{
    QFETCH(float, t);
    QFETCH(float, width);
    QFETCH(float, sharpness);
    QFETCH(float, footprint);
    QFETCH(float, cover);
    const oxStripesColouring c(input(2, 24, width, sharpness));
    // Four stripes further (merged stripes repeat every four) is the same place.
    for (float turn : {0.f, 4.f, 20.f})
        QVERIFY2(std::fabs(c.cover(t + turn, footprint) - cover) < 0.01f,
                 qPrintable(QString("t %1: %2").arg(t + turn).arg(c.cover(t + turn, footprint))));
}

void tst_Stripes::lockedStripesStayOnThePartWhileTheViewOrbits_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<uint>("axis");
    QTest::addColumn<bool>("tunnel");
    for (bool tunnel : {false, true})
    {
        const char* around = tunnel ? ", tunnel round a box" : ", at infinity";
        QTest::addRow("follow, Z%s", around) << false << 2u << tunnel;
        QTest::addRow("follow, view vertical%s", around) << false << 3u << tunnel;
        QTest::addRow("locked, Z%s", around) << true << 2u << tunnel;
        QTest::addRow("locked, view vertical%s", around) << true << 3u << tunnel;
        QTest::addRow("locked, view horizontal%s", around) << true << 4u << tunnel;
    }
}

// The same points of a part, seen from two eyes 40 degrees apart about Z: locked, each keeps its
// stripe coordinate; following the view, the stripes slide over the part.
void tst_Stripes::lockedStripesStayOnThePartWhileTheViewOrbits()
{
    QFETCH(bool, locked);
    QFETCH(uint, axis);
    QFETCH(bool, tunnel);
    oxRenderScene scene;
    scene.setMeshes({box()});
    oxColouringInput in = input(axis, 24);
    in.scene = tunnel ? &scene : nullptr;
    in.host.StripesLocked = locked;
    in.host.StripesView = osg::Vec3f(0.3f, -1.f, 0.2f);
    oxColouringInput orbited = in;
    orbited.camera.from = osg::Pnt3f(10.f * std::sin(0.7f), -10.f * std::cos(0.7f), 0.f);
    const oxStripesColouring before(in), after(orbited);
    const osg::Vec3f toPoint = oxRenderMath::unit(osg::Pnt3f(0.f, 0.f, 0.f) - orbited.camera.from);
    float moved = 0.f;
    const osg::Pnt3f point(2.f, -5.f, 3.f);
    for (const osg::Vec3f& normal : {osg::Vec3f(0.2f, -1.f, 0.1f), osg::Vec3f(-0.4f, -1.f, -0.3f)})
    {
        const osg::Vec3f n = oxRenderMath::unit(normal);
        const float t0 = before.stripeAt(point, before.reflected(n, Ahead));
        const float t1 = after.stripeAt(point, after.reflected(n, toPoint));
        moved = std::max(moved, std::fabs(t1 - t0));
    }
    if (locked)
        QVERIFY2(moved < 1e-3f, qPrintable(QString::number(moved)));
    else
        QVERIFY2(moved > 0.5f, qPrintable(QString::number(moved)));
}

void tst_Stripes::tubesCrowdInFrontOfThePart_data()
{
    QTest::addColumn<float>("degrees");
    QTest::addColumn<float>("least");
    QTest::addColumn<float>("most");
    // Stripes a radian of the reflection's turn from the viewer, against count / 2 pi.
    QTest::newRow("back to the viewer: denser") << 0.f << 1.5f << 3.f;
    QTest::newRow("sideways: as many") << 90.f << 0.8f << 1.2f;
    QTest::newRow("away from the viewer: sparser") << 180.f << 0.f << 0.5f;
    QTest::newRow("three quarters away") << -135.f << 0.f << 0.8f;
}

// From the centre of a box, about Z, seen from -y: faces that face the viewer (planes above all)
// reflect the tunnel's front wall, so that is where the tubes must lie closest.
void tst_Stripes::tubesCrowdInFrontOfThePart()
{
    QFETCH(float, degrees);
    QFETCH(float, least);
    QFETCH(float, most);
    oxRenderScene scene;
    scene.setMeshes({box()});
    oxColouringInput in = input(2, 24);
    in.scene = &scene;
    const oxStripesColouring c(in);
    auto stripe = [&](float a)
    {
        const osg::Vec3f r(std::sin(a), -std::cos(a), 0.f);
        return c.stripeAt(osg::Pnt3f(0.f, 0.f, 0.f), r);
    };
    const float a = degrees * float(M_PI) / 180.f, step = 0.01f;
    float change = stripe(a + step) - stripe(a - step);
    change -= 24.f * std::nearbyint(change / 24.f);
    const float density = change / (2.f * step) / (24.f / (2.f * float(M_PI)));
    QVERIFY2(density >= least && density <= most, qPrintable(QString::number(density)));
}

void tst_Stripes::crowdedStripesFadeToTheMeanGrey_data()
{
    QTest::addColumn<float>("degreesPerPixel");
    QTest::addColumn<bool>("grey");
    // 24 stripes about Z, 15 degrees each: a normal turning by d turns the reflection by 2 d. Up to
    // four stripes a pixel they merge (the cover table), beyond it they are grey.
    QTest::newRow("0.2 degrees a pixel: stripes") << 0.2f << false;
    QTest::newRow("60 degrees a pixel: grey") << 60.f << true;
    QTest::newRow("90 degrees a pixel: grey") << 90.f << true;
}

void tst_Stripes::crowdedStripesFadeToTheMeanGrey()
{
    QFETCH(float, degreesPerPixel);
    QFETCH(bool, grey);
    const oxStripesColouring c(input(2, 24, 0.5f, 1.f));
    const std::unique_ptr<oxShadingBatch> b = turningTile(degreesPerPixel);
    c.shade(*b);
    int greys = 0, stripes = 0;
    for (int i = 0; i < b->count; ++i)
    {
        greys += std::fabs(b->cover[i] - 0.5f) < 0.1f;
        stripes += b->cover[i] < 0.05f || b->cover[i] > 0.95f;
    }
    if (grey)
        QCOMPARE(greys, b->count);
    else
        QVERIFY2(stripes > b->count * 9 / 10, qPrintable(QString::number(stripes)));
}

void tst_Stripes::frameStripesEveryFaceOfABox_data()
{
    QTest::addColumn<osg::Vec3f>("forward");
    QTest::addColumn<osg::Vec3f>("up");
    QTest::newRow("three-quarter") << osg::Vec3f(-3, 4, -3) << osg::Vec3f(0, 0, 1);
    // Face-on, a flat face reflects one direction: only the tunnel's parallax stripes it.
    QTest::newRow("front") << osg::Vec3f(0, 1, 0) << osg::Vec3f(0, 0, 1);
    QTest::newRow("top") << osg::Vec3f(0, 0, -1) << osg::Vec3f(0, 1, 0);
    QTest::newRow("right") << osg::Vec3f(1, 0, 0) << osg::Vec3f(0, 0, 1);
}

// A box through a frame with the default stripes, followed and locked: every view shows dark and
// light stripes on its faces.
void tst_Stripes::frameStripesEveryFaceOfABox()
{
    QFETCH(osg::Vec3f, forward);
    QFETCH(osg::Vec3f, up);
    oxRenderScene scene;
    scene.setMeshes({box()});
    for (bool locked : {false, true})
    {
        oxFrame::Request r;
        r.camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
        r.camera.from = r.camera.at - forward * 10.f;
        r.camera.up = up;
        r.width = 160;
        r.height = 120;
        r.hostAnalyses.StripesActive = true;
        r.hostAnalyses.StripesLocked = locked;
        r.hostAnalyses.StripesView = -forward;
        r.camera.frame(osg::Pnt3f(-5.f, -5.f, -5.f), osg::Pnt3f(5.f, 5.f, 5.f), float(r.width) / float(r.height));
        oxRaytracer tracer;
        std::vector<float> depth;
        const QImage image = oxFrame::compose(r, scene, tracer, depth);
        int model = 0, dark = 0, light = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (std::isfinite(depth[size_t(y) * size_t(image.width()) + size_t(x)]))
                {
                    ++model;
                    dark += qGray(image.pixel(x, y)) < 40;
                    light += qGray(image.pixel(x, y)) > 180;
                }
        QVERIFY2(dark > model / 5 && light > model / 5,
                 qPrintable(
                     QString("locked %1: of %2 pixels dark %3, light %4").arg(locked).arg(model).arg(dark).arg(light)));
    }
}

QTEST_APPLESS_MAIN(tst_Stripes)
#include "tst_stripes.moc"
