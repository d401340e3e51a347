// Curvature combs: exact values from CAD edges and plane sections of CAD faces, smoothed values
// from mesh sections, and the combs drawn over frames.
#include "oxCadComb.h"
#include "oxCadImporter.h"
#include "oxCurvatureComb.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"
#include "oxRenderTestSupport.h"
#include "oxSampleSurfaces.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
using Vec = oxCurvatureComb::Vec;

// A CAD sample loaded as the host loads it, finely triangulated.
bool loadSample(oxRenderScene& scene, const QString& name)
{
    return cadSampleLoads(scene, name.toStdString(), ".brep");
}
} // namespace

class tst_Combs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chainsJoinAcrossFaces_data();
    void chainsJoinAcrossFaces();
    void sectionsAcrossTheAxisAreCircles_data();
    void sectionsAcrossTheAxisAreCircles();
    void circleEdgesOfACylinderAndNoOthers();
    void joinsSeenBySections_data();
    void joinsSeenBySections();
    void boxSectionCrossesEveryFaceInOrder();
    void meshSphereSectionWithinOnePercent();
    void meshJoinKeepsItsCurvatureAwayFromTheJoin();
    void settingsPlacePlanesInsideTheModel();
    void largestSettingsDrawWithinTheTeethBudget();
    void combsAreDrawnOverEveryShading_data();
    void combsAreDrawnOverEveryShading();
};

void tst_Combs::chainsJoinAcrossFaces_data()
{
    // A strip over x in [0, 4], y in [0, 2] of 4 x 2 unit squares, each a face of its own
    // vertices (two triangles), the faces listed in a shuffled order; cut across y.
    QTest::addColumn<float>("gap");   // how far each face's vertices are moved along x
    QTest::addColumn<double>("cut");  // the plane y = cut
    QTest::addColumn<int>("crossed"); // triangles with a segment of the section
    QTest::newRow("shared positions") << 0.f << 0.5 << 8;
    QTest::newRow("positions 1e-6 apart") << 1e-6f << 0.5 << 8;
    // The row of vertices on the plane is the section: one triangle per square runs along it.
    QTest::newRow("through the middle row of vertices") << 0.f << 1.0 << 4;
    QTest::newRow("vertices off the plane by float noise") << 0.f << 1.0 + 1e-7 << 4;
}

void tst_Combs::chainsJoinAcrossFaces()
{
    QFETCH(float, gap);
    QFETCH(double, cut);
    QFETCH(int, crossed);
    oxRenderMesh mesh;
    int face = 0;
    for (int x : {2, 0, 3, 1})
        for (int y : {1, 0})
        {
            const float shift = gap * float(face++ % 3);
            const osg::UInt32 base = osg::UInt32(mesh.positions.size());
            for (int corner = 0; corner < 4; ++corner)
                mesh.positions.emplace_back(float(x + corner % 2) + shift, float(y + corner / 2), 0.f);
            for (osg::UInt32 i : {0u, 1u, 3u, 0u, 3u, 2u})
                mesh.indices.push_back(base + i);
        }
    const std::vector<oxCurvatureComb::Chain> chains =
        oxCurvatureComb::sectionChains(mesh, {0, cut, 0}, {0, 1, 0}, 1e-5);
    QCOMPARE(chains.size(), size_t(1));
    const oxCurvatureComb::Chain& chain = chains[0];
    QVERIFY(!chain.closed);
    QCOMPARE(int(chain.triangles.size()), crossed);
    double length = 0;
    for (size_t i = 0; i + 1 < chain.points.size(); ++i)
    {
        QVERIFY(std::fabs(chain.points[i][1] - cut) < 1e-6); // vertices within the tolerance lie on the plane
        const double step = chain.points[i + 1][0] - chain.points[i][0];
        QVERIFY(step * (chain.points.back()[0] - chain.points.front()[0]) >= 0); // in order along x
        length += std::fabs(step);
    }
    QVERIFY(std::fabs(length - 4) < 1e-5);
    // Evenly by arc length, both ends included.
    const std::vector<oxCurvatureComb::Sample> samples = oxCurvatureComb::resample(chain, 5);
    QCOMPARE(samples.size(), size_t(5));
    for (size_t k = 0; k < samples.size(); ++k)
        QVERIFY(std::fabs(samples[k].along - double(k)) < 1e-5);
}

void tst_Combs::sectionsAcrossTheAxisAreCircles_data()
{
    // Samples made about z, cut by z = height: circles about the z axis of these radii.
    QTest::addColumn<QString>("sample");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QVector<double>>("radii");
    QTest::newRow("sphere, 64") << "sphere" << 5.0 << 64 << QVector<double>{std::sqrt(75.0)};
    QTest::newRow("sphere, 2") << "sphere" << 5.0 << 2 << QVector<double>{std::sqrt(75.0)};
    QTest::newRow("sphere, 257") << "sphere" << 5.0 << 257 << QVector<double>{std::sqrt(75.0)};
    // Round the hole the torus bends away from the axis, round the outside towards it.
    QTest::newRow("torus, inside and outside") << "torus" << 0.0 << 64 << QVector<double>{15, 25};
    QTest::newRow("torus, above its middle") << "torus" << 3.0 << 48 << QVector<double>{16, 24};
    QTest::newRow("cylinder") << "cylinder" << 7.0 << 16 << QVector<double>{5};
}

void tst_Combs::sectionsAcrossTheAxisAreCircles()
{
    QFETCH(QString, sample);
    QFETCH(double, height);
    QFETCH(int, samples);
    QFETCH(QVector<double>, radii);
    oxRenderScene scene;
    QVERIFY(loadSample(scene, sample));
    std::vector<oxComb> combs = oxCurvatureComb::sections(scene, {0, 0, height}, {0, 0, 1}, samples);
    QCOMPARE(int(combs.size()), radii.size());
    std::sort(combs.begin(), combs.end(), [](const oxComb& a, const oxComb& b) { return a.max > b.max; });
    for (int c = 0; c < radii.size(); ++c)
    {
        const oxComb& comb = combs[size_t(c)];
        const double radius = radii[c];
        QVERIFY(comb.closed);
        QCOMPARE(comb.points.size(), size_t(samples));
        QVERIFY(!comb.faces.empty());
        for (size_t i = 0; i < comb.points.size(); ++i)
        {
            QVERIFY2(std::fabs(comb.curvature[i] - 1 / radius) < 1e-6,
                     qPrintable(QString::number(comb.curvature[i], 'g', 12)));
            const osg::Pnt3f& p = comb.points[i];
            QVERIFY(std::fabs(p[2] - height) < 1e-4);
            QVERIFY(std::fabs(std::hypot(p[0], p[1]) - radius) < 1e-4);
            // Away from the circle's centre on the axis, in its plane.
            const osg::Vec3f out = osg::Vec3f(p[0], p[1], 0.f) * (1.f / std::hypot(p[0], p[1]));
            QVERIFY2(comb.normals[i].dot(out) > 0.9999f, qPrintable(QString::number(comb.normals[i].dot(out))));
        }
        QVERIFY(std::fabs(comb.max - 1 / radius) < 1e-6);
    }
}

void tst_Combs::circleEdgesOfACylinderAndNoOthers()
{
    // Radius 5 about z: two circle edges, each shared by the side and a cap; the seam is left out.
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "cylinder"));
    QCOMPARE(oxCurvatureComb::sharedEdgeCount(scene), size_t(2));
    QCOMPARE(oxCurvatureComb::edges(scene, 16).size(), size_t(2));
    for (size_t e = 0; e < 2; ++e)
    {
        oxComb comb;
        QVERIFY(oxCurvatureComb::sharedEdge(scene, e, 33, comb));
        QCOMPARE(comb.points.size(), size_t(33));
        for (size_t i = 0; i < comb.points.size(); ++i)
        {
            QVERIFY(std::fabs(comb.curvature[i] - 0.2) < 1e-9);
            const osg::Pnt3f& p = comb.points[i];
            const osg::Vec3f out = osg::Vec3f(p[0], p[1], 0.f) * (1.f / std::hypot(p[0], p[1]));
            QVERIFY(comb.normals[i].dot(out) > 0.9999f);
        }
        QVERIFY(std::fabs(comb.max - 0.2) < 1e-9);
    }
    // Past the last edge, too few samples, and a mesh without edges.
    oxComb comb;
    QVERIFY(!oxCurvatureComb::sharedEdge(scene, 2, 16, comb));
    QVERIFY(!oxCurvatureComb::sharedEdge(scene, 0, 1, comb));
    scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 32))});
    QCOMPARE(oxCurvatureComb::sharedEdgeCount(scene), size_t(0));
    QVERIFY(!oxCurvatureComb::sharedEdge(scene, 0, 16, comb));
    QVERIFY(oxCurvatureComb::edges(scene, 16).empty());
}

void tst_Combs::joinsSeenBySections_data()
{
    // The joins sample's strips across y: G1 over [-10, 10], G2 over [-32.5, -12.5]; each flat
    // for x < 0, bending down (radius 10 for G1) beyond.
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("jumps");
    QTest::newRow("G1") << 0.0 << true;
    QTest::newRow("G2") << -22.5 << false;
}

void tst_Combs::joinsSeenBySections()
{
    QFETCH(double, y);
    QFETCH(bool, jumps);
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "joins"));
    const std::vector<oxComb> combs = oxCurvatureComb::sections(scene, {0, y, 0}, {0, 1, 0}, 128);
    QCOMPARE(combs.size(), size_t(1));
    oxComb comb = combs[0];
    QVERIFY(!comb.closed);
    QCOMPARE(comb.faces.size(), size_t(2));
    // Flat part first.
    if (comb.points.front()[0] > comb.points.back()[0])
        std::reverse(comb.curvature.begin(), comb.curvature.end()),
            std::reverse(comb.points.begin(), comb.points.end()),
            std::reverse(comb.normals.begin(), comb.normals.end());
    size_t join = 0;
    while (join < comb.points.size() && comb.points[join][0] < -1e-4f)
        ++join;
    QVERIFY(join > 10 && join + 10 < comb.points.size());
    for (size_t i = 0; i < join; ++i)
        QVERIFY2(comb.curvature[i] < 1e-9, qPrintable(QString::number(comb.curvature[i])));
    double widestStep = 0; // between neighbours on the bend
    for (size_t i = join + 1; i + 1 < comb.points.size(); ++i)
        widestStep = std::max(widestStep, std::fabs(comb.curvature[i + 1] - comb.curvature[i]));
    const double jump = comb.curvature[join] - comb.curvature[join - 1];
    if (jumps)
    {
        for (size_t i = join; i < comb.points.size(); ++i)
        {
            QVERIFY2(std::fabs(comb.curvature[i] - 0.1) < 1e-6, qPrintable(QString::number(comb.curvature[i])));
            // Away from the bend's centre (0, y, -10).
            const osg::Pnt3f& p = comb.points[i];
            const osg::Vec3f out(p[0], 0.f, p[2] + 10.f);
            QVERIFY(comb.normals[i].dot(out) > 0.9999f * out.length());
        }
    }
    else
    {
        QVERIFY(comb.max > 0.01);
        QVERIFY2(jump <= 2 * widestStep, qPrintable(QString("%1 %2").arg(jump).arg(widestStep)));
    }
}

void tst_Combs::boxSectionCrossesEveryFaceInOrder()
{
    // 40 x 30 x 20 around the origin, its four vertical edges filleted with radius 5: the plane
    // z = 0 runs round four sides and four fillets, one after the other.
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "filletedbox"));
    const std::vector<oxComb> combs = oxCurvatureComb::sections(scene, {0, 0, 0}, {0, 0, 1}, 200);
    QCOMPARE(combs.size(), size_t(1));
    const oxComb& comb = combs[0];
    QVERIFY(comb.closed);
    QCOMPARE(comb.faces.size(), size_t(8));
    std::vector<size_t> distinct = comb.faces;
    std::sort(distinct.begin(), distinct.end());
    QVERIFY(std::unique(distinct.begin(), distinct.end()) == distinct.end());
    int flat = 0, round = 0;
    for (size_t i = 0; i < comb.points.size(); ++i)
    {
        const osg::Pnt3f& p = comb.points[i];
        const bool onFillet = std::fabs(p[0]) > 15.0001f && std::fabs(p[1]) > 10.0001f;
        QVERIFY2(std::fabs(comb.curvature[i] - (onFillet ? 0.2 : 0.0)) < 1e-6,
                 qPrintable(QString("%1 at (%2, %3)").arg(comb.curvature[i]).arg(p[0]).arg(p[1])));
        ++(onFillet ? round : flat);
        // Outwards: away from the box's middle on the sides as on the fillets.
        QVERIFY(comb.normals[i].dot(osg::Vec3f(p[0], p[1], 0.f)) > 0);
    }
    QVERIFY(flat > 100 && round > 20);
}

void tst_Combs::meshSphereSectionWithinOnePercent()
{
    auto mesh = std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 256));
    oxRenderScene scene;
    scene.setMeshes({mesh});
    for (const Vec& normal : {Vec{0, 0, 1}, Vec{0.6, 0, 0.8}})
    {
        const std::vector<oxComb> combs =
            oxCurvatureComb::sections(scene, {5 * normal[0], 5 * normal[1], 5 * normal[2]}, normal, 64);
        QCOMPARE(combs.size(), size_t(1));
        const oxComb& comb = combs[0];
        QVERIFY(comb.faces.empty());
        QCOMPARE(comb.points.size(), size_t(64));
        const double expected = 1 / std::sqrt(75.0);
        double worst = 0;
        const osg::Vec3f n{float(normal[0]), float(normal[1]), float(normal[2])};
        for (size_t i = 0; i < comb.points.size(); ++i)
        {
            worst = std::max(worst, std::fabs(comb.curvature[i] / expected - 1));
            QVERIFY2(std::fabs(comb.curvature[i] / expected - 1) < 0.01,
                     qPrintable(QString::number(comb.curvature[i] / expected)));
            const osg::Vec3f out = comb.points[i] - osg::Pnt3f(n * 5.f);
            QVERIFY(comb.normals[i].dot(out) > 0.99f * out.length());
        }
        qInfo("worst relative error %.5f", worst);
    }
}

void tst_Combs::meshJoinKeepsItsCurvatureAwayFromTheJoin()
{
    // Flat for x in [-20, 0], then a quarter circle of radius 10 bending down about (0, y, -10).
    auto mesh =
        std::make_shared<oxRenderMesh>(oxSampleSurfaces::joinStrip(oxSampleSurfaces::JoinG1, 10.f, -5.f, 5.f, 96));
    oxRenderScene scene;
    scene.setMeshes({mesh});
    // Off the strip's middle row of vertices, where the section's segments would span whole quads.
    const std::vector<oxComb> combs = oxCurvatureComb::sections(scene, {0, 0.013, 0}, {0, 1, 0}, 128);
    QCOMPARE(combs.size(), size_t(1));
    const oxComb& comb = combs[0];
    QVERIFY(!comb.closed);
    int flat = 0, bent = 0;
    for (size_t i = 0; i < comb.points.size(); ++i)
    {
        const osg::Pnt3f& p = comb.points[i];
        const double turned = std::atan2(p[0], p[2] + 10.0); // along the bend from the join, radians
        // The fit's window reaches a little past the join either side.
        if (p[0] < -3.f)
        {
            QVERIFY2(comb.curvature[i] < 1e-4, qPrintable(QString::number(comb.curvature[i])));
            ++flat;
        }
        else if (p[0] > 0.f && turned > 0.3)
        {
            QVERIFY2(std::fabs(comb.curvature[i] / 0.1 - 1) < 0.01, qPrintable(QString::number(comb.curvature[i])));
            const osg::Vec3f out(p[0], 0.f, p[2] + 10.f);
            QVERIFY(comb.normals[i].dot(out) > 0.99f * out.length());
            ++bent;
        }
    }
    QVERIFY(flat > 40 && bent > 30);
}

void tst_Combs::settingsPlacePlanesInsideTheModel()
{
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "sphere"));
    oxHostAnalysisSettings s;
    s.CombActive = true;
    s.CombEdges = true; // the sphere has only a seam and poles
    s.CombSections = 4;
    s.CombSectionNormal = osg::Vec3f(0.f, 0.f, 2.f);
    s.CombSamples = 16;
    const std::vector<oxComb> combs = oxCurvatureComb::fromSettings(scene, s);
    QCOMPARE(combs.size(), size_t(4));
    // z = -7.5, -2.5, 2.5, 7.5
    for (size_t k = 0; k < 4; ++k)
    {
        const double z = -7.5 + 5.0 * double(k);
        QVERIFY(std::fabs(combs[k].points[0][2] - z) < 1e-3);
        QVERIFY(std::fabs(combs[k].max - 1 / std::sqrt(100 - z * z)) < 1e-6);
        QCOMPARE(combs[k].points.size(), size_t(16));
    }
    // A fitted scale makes the longest tooth a tenth of the size.
    const double scale = oxCurvatureComb::fittedScale(combs, 34.64);
    QVERIFY(std::fabs(scale * combs[0].max - 3.464) < 1e-9);
    s.CombActive = false;
    QVERIFY(oxCurvatureComb::fromSettings(scene, s).empty());
    s.CombActive = true;
    s.CombSectionNormal = osg::Vec3f(0.f, 0.f, 0.f);
    QVERIFY(oxCurvatureComb::fromSettings(scene, s).empty());
}

// The most planes at the most teeth each, which the settings' domains allow, once grew to
// gigabytes and aborted: every plane is still combed, with fewer teeth.
void tst_Combs::largestSettingsDrawWithinTheTeethBudget()
{
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "sphere"));
    oxHostAnalysisSettings s;
    s.CombActive = true;
    s.CombSections = unsigned(oxHostAnalysisRows::CombSections.domain.max);
    s.CombSamples = unsigned(oxHostAnalysisRows::CombSamples.domain.max);
    const std::vector<oxComb> combs = oxCurvatureComb::fromSettings(scene, s);
    size_t teeth = 0, sections = 0;
    for (const oxComb& comb : combs)
    {
        teeth += comb.points.size();
        sections += comb.points.size() == size_t(oxCurvatureComb::MaxTeeth / s.CombSections);
    }
    QVERIFY2(teeth <= size_t(2 * oxCurvatureComb::MaxTeeth), qPrintable(QString::number(teeth)));
    QCOMPARE(sections, size_t(s.CombSections)); // the sphere is cut in one circle per plane
}

void tst_Combs::combsAreDrawnOverEveryShading_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("plain") << 0;
    QTest::newRow("zebra") << 1;
    QTest::newRow("curvature") << 2;
}

void tst_Combs::combsAreDrawnOverEveryShading()
{
    QFETCH(int, kind);
    oxRenderScene scene;
    QVERIFY(loadSample(scene, "sphere"));
    oxFrame::Request request;
    request.width = request.height = 400;
    request.camera.from = osg::Pnt3f(0.f, 0.f, 100.f);
    request.camera.orthographic = true;
    request.camera.orthographicHeight = 30.f;
    request.analysis = kind != 0;
    if (kind == 1)
    {
        request.settings.AnalysisMode = osg::ReflectionLinesAnalysis;
        request.settings.LineMode = osg::IsoStripes;
    }
    else if (kind == 2)
        request.settings.AnalysisMode = osg::CurvatureAnalysis;
    oxRaytracer tracer;
    std::vector<float> depth;
    const QImage bare = oxFrame::compose(request, scene, tracer, depth).copy();

    oxHostAnalysisSettings s;
    s.CombActive = true;
    s.CombSections = 1; // z = 0: the equator, seen from above
    s.CombSectionNormal = osg::Vec3f(0.f, 0.f, 1.f);
    request.combLines = oxCurvatureComb::lines(scene, s);
    QVERIFY(!request.combLines.empty());
    const QImage combed = oxFrame::compose(request, scene, tracer, depth);

    // Teeth of 3.46 outside the circle of radius 10: 115 to 127 pixels from the centre.
    auto isComb = [](QRgb p) { return near(p, rgb(oxCurvatureComb::color()), 39); };
    int onTeeth = 0, elsewhere = 0, before = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
        {
            const double r = std::hypot(x + 0.5 - 200, y + 0.5 - 200) * 30.0 / 400;
            before += isComb(bare.pixel(x, y));
            if (isComb(combed.pixel(x, y)))
                ++(r > 9.8 && r < 13.8 ? onTeeth : elsewhere);
        }
    QCOMPARE(before, 0);
    QCOMPARE(elsewhere, 0);
    QVERIFY2(onTeeth > 500, qPrintable(QString::number(onTeeth)));
}

QTEST_GUILESS_MAIN(tst_Combs)
#include "tst_combs.moc"
