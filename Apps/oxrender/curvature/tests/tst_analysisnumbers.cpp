// The numbers the host reads off a model and the images it makes for people: area-weighted
// curvature statistics, fitted lights and colour range, the probe, the curvature export, and
// anti-aliased stripes measured against a finely supersampled reference.
#include "oxAnalysisFit.h"
#include "oxCurvatureExport.h"
#include "oxCurvatureStats.h"
#include "oxOverlay.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "oxSampleSurfaces.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <QtEndian>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <tuple>

Q_DECLARE_METATYPE(osg::Vec3f)

namespace
{
std::unique_ptr<oxRenderScene> sceneOf(const oxRenderMesh& mesh)
{
    auto scene = std::make_unique<oxRenderScene>();
    scene->setMeshes({std::make_shared<oxRenderMesh>(mesh)});
    return scene;
}

// A sample surface's scene; none, with a warning, for a name there is no sample of.
std::unique_ptr<oxRenderScene> sampleScene(const QString& name)
{
    oxRenderMesh mesh;
    std::string error;
    if (oxSampleSurfaces::make(name.toStdString(), mesh, error))
        return sceneOf(mesh);
    qWarning("%s", error.c_str());
    return nullptr;
}

// The sphere sample seen from +z, parallel, the light along the view: isophotes are circles.
oxRenderCamera frontView()
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(0.f, 0.f, 100.f);
    camera.orthographic = true;
    camera.orthographicHeight = 44.f;
    return camera;
}

oxAnalysisSettings stripes(unsigned int count)
{
    oxAnalysisSettings s;
    s.AnalysisMode = 0;
    s.Isolines = count;
    s.ShadingMode = 0;
    s.BaseColor = osg::Color3f(1.f, 1.f, 1.f);
    s.StripeColor = osg::Color3f(0.f, 0.f, 0.f);
    s.StripeSharpness = 1.f;
    s.LinearLightDirection = osg::Vec3f(0.f, 0.f, 1.f);
    return s;
}

double meanAbsDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (255.0 * a.width() * a.height());
}
} // namespace

class tst_AnalysisNumbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void weightedStatistics_data();
    void weightedStatistics();
    void statisticsRefuseBadInput_data();
    void statisticsRefuseBadInput();
    void statisticsOfSamples_data();
    void statisticsOfSamples();
    void bodyRangeLeavesRimsOut_data();
    void bodyRangeLeavesRimsOut();
    void fittedLightsAndRange();
    void probeReadsTheSurface_data();
    void probeReadsTheSurface();
    void probeSeesTheMeshesLastSet();
    void exportWritesEveryVertexOrNothing();
    void antiAliasedStripes();
    void legendShowsTheHistogram();
};

void tst_AnalysisNumbers::bodyRangeLeavesRimsOut_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<QVector<float>>("weights");
    QTest::addColumn<double>("range"); // the 90th percentile of |value| by area
    auto part =
        [](std::initializer_list<std::tuple<int, float, float>> groups, QVector<float>& values, QVector<float>& weights)
    {
        // count vertices of a value (alternating in sign) and a weight each
        for (const auto& [count, value, weight] : groups)
            for (int i = 0; i < count; ++i)
            {
                values << (i % 2 ? -value : value);
                weights << weight;
            }
    };
    QVector<float> v, w;
    part({{90, 0.1f, 1.f}, {6, 0.2f, 1.f}, {4, 5.f, 1.f}}, v, w);
    QTest::newRow("a few rims of both signs") << v << w << 0.1;
    v.clear(), w.clear();
    part({{50, 0.05f, 1.f}, {500, 3.f, 0.001f}}, v, w);
    QTest::newRow("many rim vertices of little area") << v << w << 0.05;
    v.clear(), w.clear();
    part({{80, 0.1f, 1.f}, {20, 2.f, 1.f}}, v, w);
    QTest::newRow("rims a fifth of the area set it") << v << w << 2.0;
    QTest::newRow("one curvature all over") << QVector<float>(7, 1.f / 15) << QVector<float>(7, 2.f) << 1.0 / 15;
}

void tst_AnalysisNumbers::bodyRangeLeavesRimsOut()
{
    QFETCH(QVector<float>, values);
    QFETCH(QVector<float>, weights);
    QFETCH(double, range);
    double got = 0;
    std::string error;
    QVERIFY2(oxCurvatureStats::magnitude(std::vector<float>(values.begin(), values.end()),
                                         std::vector<float>(weights.begin(), weights.end()), 90, got, error),
             error.c_str());
    QCOMPARE(float(got), float(range));
}

void tst_AnalysisNumbers::weightedStatistics_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<QVector<float>>("weights");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("low");  // 10th percentile
    QTest::addColumn<double>("high"); // 90th percentile
    QTest::newRow("equal weights") << QVector<float>{5, 1, 4, 2, 3, 6, 7, 8, 9, 10} << QVector<float>(10, 1.f) << 5.0
                                   << 5.5 << 1.0 << 9.0;
    // One value holding most of the area is the median, whatever the other values are.
    QTest::newRow("one heavy value") << QVector<float>{-100, 0.5f, 100} << QVector<float>{1, 98, 1} << 0.5 << 0.49
                                     << 0.5 << 0.5;
    QTest::newRow("zero weights ignored")
        << QVector<float>{1000, 1, 2, 3} << QVector<float>{0, 1, 1, 1} << 2.0 << 2.0 << 1.0 << 3.0;
    // An outlier far outside a narrow percentile range lands in the last bin.
    QTest::newRow("outlier beyond a narrow range") << QVector<float>{1, 1.0000001f, 1e30f} << QVector<float>{50, 49, 1}
                                                   << 1.0 << 1e28 << 1.0 << double(1.0000001f);
    QTest::newRow("non-finite ignored") << QVector<float>{float(qQNaN()), 2, float(qInf())} << QVector<float>{1, 1, 1}
                                        << 2.0 << 2.0 << 2.0 << 2.0;
}

void tst_AnalysisNumbers::weightedStatistics()
{
    QFETCH(QVector<float>, values);
    QFETCH(QVector<float>, weights);
    QFETCH(double, median);
    QFETCH(double, mean);
    QFETCH(double, low);
    QFETCH(double, high);
    oxCurvatureStats s;
    std::string error;
    QVERIFY2(oxCurvatureStats::compute(std::vector<float>(values.begin(), values.end()),
                                       std::vector<float>(weights.begin(), weights.end()), 4, 10, 90, s, error),
             error.c_str());
    QCOMPARE(s.median, median);
    QVERIFY(std::fabs(s.mean - mean) < 1e-6 * std::max(1.0, std::fabs(mean)));
    QCOMPARE(s.low, low);
    QCOMPARE(s.high, high);
    QCOMPARE(s.edges.size(), size_t(5));
    QCOMPARE(s.edges.front(), low);
    QCOMPARE(s.edges.back(), high);
    double total = 0;
    for (double h : s.hist)
        total += h;
    QVERIFY(std::fabs(total - 1) < 1e-9);
}

void tst_AnalysisNumbers::statisticsRefuseBadInput_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<int>("bins");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QString>("message");
    QTest::newRow("no values") << QVector<float>{} << 8 << 2.0 << 98.0 << "no surface area";
    QTest::newRow("no bins") << QVector<float>{1} << 0 << 2.0 << 98.0 << "bins";
    QTest::newRow("low above high") << QVector<float>{1} << 8 << 60.0 << 40.0 << "percentiles";
    QTest::newRow("above 100") << QVector<float>{1} << 8 << 2.0 << 101.0 << "percentiles";
}

void tst_AnalysisNumbers::statisticsRefuseBadInput()
{
    QFETCH(QVector<float>, values);
    QFETCH(int, bins);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QString, message);
    oxCurvatureStats s;
    std::string error;
    QVERIFY(!oxCurvatureStats::compute(std::vector<float>(values.begin(), values.end()),
                                       std::vector<float>(size_t(values.size()), 1.f), bins, low, high, s, error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
}

// On the sample surfaces the percentile range lies where the analytic curvature does.
void tst_AnalysisNumbers::statisticsOfSamples_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("expected");
    QTest::newRow("sphere r=20, mean") << "sphere" << 1 << 0.05;
    QTest::newRow("sphere r=20, Gaussian") << "sphere" << 0 << 0.0025;
    QTest::newRow("cylinder r=15, maximum") << "cylinder" << 3 << 1.0 / 15;
    QTest::newRow("cylinder r=15, minimum") << "cylinder" << 2 << 0.0;
}

void tst_AnalysisNumbers::statisticsOfSamples()
{
    QFETCH(QString, sample);
    QFETCH(int, kind);
    QFETCH(double, expected);
    const auto scene = sampleScene(sample);
    QVERIFY(scene);
    oxCurvatureStats s;
    std::string error;
    QVERIFY2(oxCurvatureStats::compute(*scene, kind, 16, 2, 98, s, error), error.c_str());
    const double tolerance = 0.03 * std::max(expected, 0.05);
    QVERIFY2(std::fabs(s.median - expected) < tolerance, qPrintable(QString::number(s.median)));
    QVERIFY2(std::fabs(s.low - expected) < tolerance && std::fabs(s.high - expected) < tolerance,
             qPrintable(QString("%1 .. %2").arg(s.low).arg(s.high)));
    const std::vector<double> hist = oxCurvatureStats::histogram(*scene, kind, -1, 1, 2);
    QCOMPARE(hist.size(), size_t(2));
    QVERIFY(std::fabs(hist[0] + hist[1] - 1) < 1e-9);
}

void tst_AnalysisNumbers::fittedLightsAndRange()
{
    // A 500 unit part away from the origin, the plane facing +z.
    oxAnalysisFit::Lights lights;
    QVERIFY(oxAnalysisFit::lights(osg::Pnt3f(1000, 0, 0), osg::Pnt3f(1300, 400, 0), osg::Vec3f(1, 0, 0),
                                  osg::Vec3f(0, 1, 0), 20, lights));
    QCOMPARE(lights.linesDistance, 25.f);
    QCOMPARE(lights.linesLength, 1000.f);
    QCOMPARE(lights.planeOrigin[0], 1150.f);
    QCOMPARE(lights.planeOrigin[1], 200.f);
    QVERIFY(lights.planeOrigin[2] > 0.f && lights.planeOrigin[2] < 50.f); // just outside the flat box
    // Tilted plane: the origin clears the box along the normal.
    QVERIFY(oxAnalysisFit::lights(osg::Pnt3f(-1, -1, -1), osg::Pnt3f(1, 1, 1), osg::Vec3f(0, 0, 1), osg::Vec3f(1, 0, 0),
                                  8, lights));
    QVERIFY(lights.planeOrigin[1] > 1.f && std::fabs(lights.planeOrigin[0]) < 1e-6f);
    QVERIFY(!oxAnalysisFit::lights(osg::Pnt3f(2, 2, 2), osg::Pnt3f(2, 2, 2), osg::Vec3f(1, 0, 0), osg::Vec3f(0, 1, 0),
                                   8, lights));

    QCOMPARE(oxAnalysisFit::drawScale(-0.5, 2.0, true), 0.5f);
    QCOMPARE(oxAnalysisFit::drawScale(1.0, 3.0, false), 1.f);
    QCOMPARE(oxAnalysisFit::drawScale(0.0, 0.0, true), 0.f);
    QCOMPARE(oxAnalysisFit::drawScale(qQNaN(), 1.0, true), 0.f);
}

void tst_AnalysisNumbers::probeReadsTheSurface_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<osg::Vec3f>("origin");
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::addColumn<double>("k1");
    QTest::addColumn<double>("k2");
    QTest::newRow("sphere from outside") << "sphere" << osg::Vec3f(0.3f, 0.2f, 100) << osg::Vec3f(0, 0, -1) << 0.05
                                         << 0.05;
    QTest::newRow("cylinder from the side")
        << "cylinder" << osg::Vec3f(100, 1, 0.4f) << osg::Vec3f(-1, 0, 0) << 1.0 / 15 << 0.0;
    // The saddle z = x y / 25 at its centre: k = +-1 / 25.
    QTest::newRow("saddle centre") << "saddle" << osg::Vec3f(0.01f, 0.01f, 50) << osg::Vec3f(0, 0, -1) << 0.04 << -0.04;
}

void tst_AnalysisNumbers::probeReadsTheSurface()
{
    QFETCH(QString, sample);
    QFETCH(osg::Vec3f, origin);
    QFETCH(osg::Vec3f, direction);
    QFETCH(double, k1);
    QFETCH(double, k2);
    const auto scene = sampleScene(sample);
    QVERIFY(scene);
    oxProbe p;
    QVERIFY(oxProbe::trace(*scene, osg::Pnt3f(origin[0], origin[1], origin[2]), direction, p));
    QVERIFY2(std::fabs(p.k1 - k1) < 0.003 && std::fabs(p.k2 - k2) < 0.003,
             qPrintable(QString("k1 %1, k2 %2").arg(p.k1).arg(p.k2)));
    QVERIFY(p.k1 >= p.k2);
    QVERIFY(!p.exact);
    QVERIFY(std::fabs(p.dir1.length() - 1) < 1e-4f && std::fabs(p.dir2.length() - 1) < 1e-4f);
    QVERIFY(std::fabs(p.dir1.dot(p.dir2)) < 1e-3f && std::fabs(p.dir1.dot(p.normal)) < 1e-3f);
    if (sample == "cylinder") // bent around the axis, straight along it
        QVERIFY2(std::fabs(p.dir2[1]) > 0.99f, qPrintable(QString::number(p.dir2[1])));
    QVERIFY(!oxProbe::trace(*scene, osg::Pnt3f(origin[0], origin[1], origin[2]), -direction, p));
}

// The BVH is built by the first trace, from whichever thread comes first: probes from several
// threads at once all see the meshes, and meshes set again are traced anew.
void tst_AnalysisNumbers::probeSeesTheMeshesLastSet()
{
    oxRenderMesh sphere = oxSampleSurfaces::sphere(1.f, 32);
    oxRenderScene scene;
    scene.setMeshes({std::make_shared<oxRenderMesh>(sphere)});
    std::atomic<int> hits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&]
            {
                oxProbe p;
                if (oxProbe::trace(scene, osg::Pnt3f(0, 0, 5), osg::Vec3f(0, 0, -1), p) &&
                    std::fabs(p.point[2] - 1) < 1e-2f)
                    ++hits;
            });
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(hits.load(), 8);

    osg::Matrix shift;
    shift.setTranslate(osg::Vec3f(10, 0, 0));
    sphere.transform(shift);
    scene.setMeshes({std::make_shared<oxRenderMesh>(sphere)});
    oxProbe p;
    QVERIFY(!oxProbe::trace(scene, osg::Pnt3f(0, 0, 5), osg::Vec3f(0, 0, -1), p));
    QVERIFY(oxProbe::trace(scene, osg::Pnt3f(10, 0, 5), osg::Vec3f(0, 0, -1), p));
}

void tst_AnalysisNumbers::exportWritesEveryVertexOrNothing()
{
    const oxRenderMesh mesh = oxSampleSurfaces::sphere(2.f, 16);
    const auto scene = sceneOf(mesh);
    QTemporaryDir dir;
    std::string error;
    const QString ply = dir.filePath("sphere.ply"), csv = dir.filePath("sphere.CSV");
    QVERIFY2(oxCurvatureExport::write(*scene, ply.toStdString(), error), error.c_str());
    QVERIFY2(oxCurvatureExport::write(*scene, csv.toStdString(), error), error.c_str());

    const QByteArray data = readTestFile(ply);
    const int end = data.indexOf("end_header\n") + 11;
    const QByteArray header = data.left(end);
    QVERIFY(header.startsWith("ply\nformat binary_little_endian 1.0\n"));
    QVERIFY(header.contains(QByteArray("element vertex ") + QByteArray::number(int(mesh.vertexCount())) + "\n"));
    QVERIFY(header.contains("property float k1\nproperty float k2\nproperty float mean\nproperty float gauss\n"));
    QCOMPARE(data.size() - end, int(mesh.vertexCount() * 40 + mesh.triangleCount() * 13));
    // The first vertex: its position, then mean = 1 / radius within the estimate's error.
    const char* first = data.constData() + end;
    QCOMPARE(qFromLittleEndian<float>(first), mesh.positions[0][0]);
    QVERIFY(std::fabs(qFromLittleEndian<float>(first + 32) - 0.5f) < 0.05f);

    const QList<QByteArray> lines = readTestFile(csv).trimmed().split('\n');
    QCOMPARE(lines.size(), int(mesh.vertexCount()) + 1);
    QCOMPARE(lines[0], QByteArray("x,y,z,nx,ny,nz,k1,k2,mean,gauss"));
    QCOMPARE(lines[1].split(',').size(), 10);

    // Refused: nothing to write, a format it does not write, a folder that is not there; an
    // old file stays as it was.
    QVERIFY(!oxCurvatureExport::write(oxRenderScene(), csv.toStdString(), error));
    QVERIFY2(QString::fromStdString(error).contains("no meshes"), error.c_str());
    QVERIFY(!oxCurvatureExport::write(*scene, dir.filePath("a.obj").toStdString(), error));
    QVERIFY2(QString::fromStdString(error).contains(".ply or .csv"), error.c_str());
    QVERIFY(!oxCurvatureExport::write(*scene, dir.filePath("no/such/a.ply").toStdString(), error));
    QVERIFY2(QString::fromStdString(error).contains("cannot write"), error.c_str());
    QCOMPARE(readTestFile(csv).trimmed().split('\n'), lines);
}

// 64 isophote stripes on the sphere at 320 x 200: 3 x 3 samples come at least 3 times closer to an
// 8 x 8 reference than one sample does, and the stripes cover the share of the disc they should.
void tst_AnalysisNumbers::antiAliasedStripes()
{
    const auto scene = sampleScene("sphere");
    QVERIFY(scene);
    const oxAnalysisSettings settings = stripes(64);
    const oxAnalysisShader shader(settings, true);
    const oxRaytracer tracer;
    const int w = 320, h = 200;
    const QImage one = tracer.render(*scene, frontView(), shader, w, h, nullptr, 1).copy();
    const QImage three = tracer.render(*scene, frontView(), shader, w, h, nullptr, 3).copy();
    const QImage reference = tracer.render(*scene, frontView(), shader, w, h, nullptr, 8).copy();
    const double errorOne = meanAbsDifference(one, reference), errorThree = meanAbsDifference(three, reference);
    qInfo("mean absolute difference to 8 x 8: 1 sample %.5f, 3 x 3 samples %.5f", errorOne, errorThree);
    QVERIFY2(errorThree * 3 <= errorOne,
             qPrintable(QString("1 sample %1, 3 x 3 samples %2").arg(errorOne).arg(errorThree)));

    // The stripes' share over the whole pixels inside the disc, from the shader's own stripe
    // function at the exact sphere's normals, 16 x 16 points per pixel.
    const double pixel = 44.0 / h, radius = 20.0 / pixel, inner = radius - 2;
    const int sub = 16;
    double expected = 0, dark = 0;
    int count = 0;
    oxShadingBatch b;
    auto flush = [&]
    {
        shader.shade(b);
        for (int i = 0; i < b.count; ++i)
            expected += b.cover[i];
        b.count = 0;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            if (!(std::hypot(x + 0.5 - w / 2.0, y + 0.5 - h / 2.0) < inner))
                continue;
            dark += 1 - qGray(three.pixel(x, y)) / 255.0;
            ++count;
            for (int k = 0; k < sub * sub; ++k)
            {
                const double px = (x + (k % sub + 0.5) / sub - w / 2.0) / radius;
                const double py = -(y + (k / sub + 0.5) / sub - h / 2.0) / radius;
                const double pz = std::sqrt(std::max(0.0, 1 - px * px - py * py));
                b.n.set(b.count, osg::Vec3f(float(px), float(py), float(pz)));
                b.d.set(b.count, osg::Vec3f(0.f, 0.f, -1.f));
                b.p.set(b.count, osg::Vec3f(0.f, 0.f, 0.f));
                if (++b.count == oxShadingBatch::Capacity)
                    flush();
            }
        }
    flush();
    expected /= double(count) * sub * sub;
    dark /= count;
    qInfo("stripe share: image %.4f, analytic %.4f", dark, expected);
    QVERIFY2(std::fabs(dark - expected) < 0.01 * expected,
             qPrintable(QString("image %1, analytic %2").arg(dark).arg(expected)));
}

// Bars beside the ramp, as long as their bin's share, at the height of their values.
void tst_AnalysisNumbers::legendShowsTheHistogram()
{
    oxAnalysisSettings settings;
    settings.AnalysisMode = 3;
    const oxAnalysisShader shader(settings, true);
    const QRgb bar = qRgb(230, 230, 230);
    auto barLengths = [&](const std::vector<double>& hist)
    {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::black);
        oxOverlay::drawCurvatureLegend(image, shader, hist);
        QVector<int> lengths;
        for (int y = 0; y < image.height(); ++y)
        {
            int n = 0;
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == bar;
            lengths << n;
        }
        return lengths;
    };
    // Bin 0 is the ramp's bottom (most negative), the last bin its top.
    const QVector<int> lengths = barLengths({0.25, 0, 0, 0.75});
    const int top = *std::max_element(lengths.begin(), lengths.begin() + 110);
    const int middle = *std::max_element(lengths.begin() + 130, lengths.begin() + 170);
    const int bottom = *std::max_element(lengths.begin() + 190, lengths.end());
    QVERIFY2(top > 0 && middle == 0 && bottom > 0, qPrintable(QString("%1 %2 %3").arg(top).arg(middle).arg(bottom)));
    QVERIFY(std::abs(top - 3 * bottom) <= 3);
    const QVector<int> none = barLengths({});
    QCOMPARE(*std::max_element(none.begin(), none.end()), 0);
}

QTEST_APPLESS_MAIN(tst_AnalysisNumbers)
#include "tst_analysisnumbers.moc"
