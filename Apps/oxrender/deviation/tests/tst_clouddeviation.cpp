// A scan's points measured to a reference, and a scan as the reference: distances against offsets
// known by construction, the points' colours and probe, and the export of a cloud.
#include "oxColouringInput.h"
#include "oxDeviation.h"
#include "oxDeviationColouring.h"
#include "oxDeviationExport.h"
#include "oxFrame.h"
#include "oxPlyReader.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"
#include "oxSampleSurfaces.h"

#include <QFile>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{
const float Radius = 10.f;
const float Offsets[] = {-0.3f, -0.1f, 0.05f, 0.2f, 0.4f};

// n directions spread evenly over the sphere (a Fibonacci lattice).
osg::Vec3f direction(size_t i, size_t n)
{
    const double z = 1 - (2 * double(i) + 1) / double(n), r = std::sqrt(1 - z * z), phi = 2.399963229728653 * double(i);
    return osg::Vec3f(float(r * std::cos(phi)), float(r * std::sin(phi)), float(z));
}

// A cloud over the sphere of Radius, its points Offsets off it in turn (+ outside).
std::shared_ptr<oxPointCloud> scan(size_t n, bool onTheSphere = false)
{
    auto cloud = std::make_shared<oxPointCloud>();
    for (size_t i = 0; i < n; ++i)
    {
        const float offset = onTheSphere ? 0.f : Offsets[i % 5];
        const osg::Vec3f p = direction(i, n) * (Radius + offset);
        cloud->positions.emplace_back(p[0], p[1], p[2]);
    }
    return cloud;
}

// A scene of the cloud, as a model's file puts it there.
void setCloud(oxRenderScene& scene, std::shared_ptr<oxPointCloud> cloud)
{
    QVERIFY(scene.sync(oxPointCloud::makeNode(std::move(cloud))));
    QVERIFY(scene.points(0));
}
} // namespace

class tst_CloudDeviation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("OX_QUIET", "1"); }
    void againstReference_data();
    void againstReference();
    void pointsTakeTheirDistancesColourAndProbe();
    void exportRoundTrip();
};

// The cloud against the sphere as a mesh, as exact CAD, and as points on the sphere along the
// same directions (its nearest point is then the one on the point's own ray: |offset| exactly).
void tst_CloudDeviation::againstReference_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<double>("accuracy");
    QTest::newRow("mesh") << "mesh" << 10 * (1 - std::cos(2 * M_PI / 96));
    QTest::newRow("CAD") << "CAD" << 1e-5;
    QTest::newRow("points, unsigned") << "points" << 1e-5;
}

void tst_CloudDeviation::againstReference()
{
    QFETCH(QString, reference);
    QFETCH(double, accuracy);
    const size_t n = 5000;
    oxRenderScene model, ref;
    setCloud(model, scan(n));
    std::string error;
    if (reference == "CAD")
        QVERIFY2(loadCadSample(ref, "sphere", error), error.c_str());
    else if (reference == "mesh")
        ref.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(Radius, 96))});
    else
    {
        auto points = std::make_shared<oxRenderMesh>();
        points->positions = scan(n, true)->positions;
        ref.setMeshes({points});
    }
    const auto field = oxDeviation::compute(model, ref);
    QVERIFY(field);
    const bool unsignedDistances = reference == "points";
    QCOMPARE(field->unsignedDistances, unsignedDistances);
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
    {
        const double expected = unsignedDistances ? std::fabs(Offsets[i % 5]) : Offsets[i % 5];
        const double d = field->distance[0][i];
        // A mesh's chords lie inside the sphere: its distances are up to its deflection larger.
        const bool ok = reference == "mesh" ? d >= expected - 1e-5 && d <= expected + accuracy
                                            : std::fabs(d - expected) <= accuracy;
        QVERIFY2(ok, qPrintable(QString("point %1: %2, not %3").arg(i).arg(d).arg(expected)));
        sum += expected;
    }
    oxDeviationStats stats;
    QVERIFY2(oxDeviation::stats(model, *field, 0.15, 8, stats, error), error.c_str());
    QCOMPARE(stats.unsignedDistances, unsignedDistances);
    // Each point counts once: the mean is the offsets' and 2 of the 5 lie within 0.15.
    QVERIFY2(std::fabs(stats.mean - sum / double(n)) <= accuracy, qPrintable(QString::number(stats.mean)));
    QVERIFY2(std::fabs(stats.within - 0.4) < 1e-9, qPrintable(QString::number(stats.within)));
}

// From above, a flat cloud whose left half lies 0.3 inside and right half 0.3 outside a plane at
// z = 0: each disc takes its own point's colour, and a probe there finds the point.
void tst_CloudDeviation::pointsTakeTheirDistancesColourAndProbe()
{
    auto cloud = std::make_shared<oxPointCloud>();
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j)
        {
            const float x = -10.f + 0.5f * float(i), y = -10.f + 0.5f * float(j);
            cloud->positions.emplace_back(x, y, x < 0 ? -0.3f : 0.3f);
            cloud->normals.emplace_back(0.f, 0.f, 1.f);
        }
    oxRenderScene model, reference;
    setCloud(model, cloud);
    auto plane = std::make_shared<oxRenderMesh>();
    plane->positions = {osg::Pnt3f(-20, -20, 0), osg::Pnt3f(20, -20, 0), osg::Pnt3f(20, 20, 0), osg::Pnt3f(-20, 20, 0)};
    plane->indices = {0, 1, 2, 0, 2, 3};
    reference.setMeshes({plane});
    const auto field = oxDeviation::compute(model, reference);
    QVERIFY(field);

    oxFrame::Request r;
    r.camera.from = osg::Pnt3f(0.f, 0.f, 50.f);
    r.camera.up = osg::Vec3f(0.f, 1.f, 0.f);
    r.camera.orthographic = true;
    r.camera.orthographicHeight = 24.f;
    r.hostAnalyses.ColoursLit = false; // the colours as they are
    r.hostAnalyses.DeviationActive = true;
    r.hostAnalyses.DeviationRange = 0.4f;
    r.deviationTolerance = 0.1f;
    r.deviation = field;
    r.width = r.height = 240;
    std::vector<float> depth;
    const QImage image = oxFrame::compose(r, model, oxRaytracer(), depth);
    oxColouringInput input;
    input.scene = &model;
    input.host = r.hostAnalyses;
    input.deviation = field;
    input.deviationTolerance = 0.1f;
    const oxDeviationColouring colouring(input);
    const int y = 150;
    for (const int x : {40, 80, 160, 180})
    {
        const float d = x < 120 ? -0.3f : 0.3f;
        QVERIFY2(near(image.pixel(x, y), rgb(colouring.colour(d))), qPrintable(QString("pixel %1").arg(x)));
        oxProbe probe;
        const float wx = (float(x) + 0.5f - 120.f) * 0.1f, wy = (120.f - float(y) - 0.5f) * 0.1f;
        QVERIFY(oxProbe::trace(model, osg::Pnt3f(wx, wy, 50.f), osg::Vec3f(0.f, 0.f, -1.f), probe));
        QCOMPARE(probe.mesh, size_t(0));
        QCOMPARE(probe.point, model.mesh(0).positions[probe.triangle]);
        QCOMPARE(field->distance[0][probe.triangle], d);
        QCOMPARE(probe.normal, osg::Vec3f(0.f, 0.f, 1.f));
    }
}

// A cloud's export is points alone: PLY of vertices without faces, which the point reader takes
// back, and its d per point.
void tst_CloudDeviation::exportRoundTrip()
{
    oxRenderScene model, reference;
    setCloud(model, scan(500));
    reference.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(Radius, 32))});
    const auto field = oxDeviation::compute(model, reference);
    QVERIFY(field);
    QTemporaryDir dir;
    const std::string path = dir.filePath("d.ply").toStdString();
    std::string error;
    QVERIFY2(oxDeviationExport::write(model, *field, path, error), error.c_str());
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(!data.contains("element face"));
    oxPointCloud back;
    QCOMPARE(oxPlyReader::parsePoints(data.constData(), size_t(data.size()), back, error), oxPlyReader::Read);
    QCOMPARE(back.positions, model.mesh(0).positions);
    const char* d = data.constData() + data.indexOf("end_header\n") + 11 + 12;
    for (size_t i = 0; i < 500; ++i, d += 28)
        QCOMPARE(qFromLittleEndian<float>(d), field->distance[0][i]);
}

QTEST_GUILESS_MAIN(tst_CloudDeviation)
#include "tst_clouddeviation.moc"
