// Curvature estimates of the analysis raytracer on meshes whose curvature is known.
#include "oxCurvature.h"
#include "oxSampleSurfaces.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace
{
// Interior vertices: those a predicate keeps (away from open borders, where any estimator degrades).
struct Stats
{
    double maxError = 0;
    int count = 0;
};

Stats compare(const oxRenderMesh& mesh, const std::vector<float>& values,
              const std::function<bool(const osg::Pnt3f&)>& interior, double expected)
{
    Stats s;
    for (size_t i = 0; i < mesh.positions.size(); ++i)
    {
        if (!interior(mesh.positions[i]))
            continue;
        s.maxError = std::max(s.maxError, std::fabs(double(values[i]) - expected));
        ++s.count;
    }
    return s;
}

// Finite, ordered, and with unit principal directions at right angles.
bool allFinite(const oxPrincipalCurvatures& c)
{
    if (c.dirMax.size() != c.kMax.size() || c.dirMin.size() != c.kMax.size())
        return false;
    for (size_t i = 0; i < c.kMax.size(); ++i)
    {
        if (!std::isfinite(c.kMax[i]) || !std::isfinite(c.kMin[i]) || c.kMax[i] < c.kMin[i])
            return false;
        const osg::Vec3f &d1 = c.dirMax[i], &d2 = c.dirMin[i];
        if (!(std::fabs(d1.length() - 1.f) < 1e-3f) || !(std::fabs(d2.length() - 1.f) < 1e-3f) ||
            !(std::fabs(d1.dot(d2)) < 1e-3f))
            return false;
    }
    return true;
}
} // namespace

class tst_Curvature : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void analyticSurfaces_data();
    void analyticSurfaces();
    void saddleGaussianAtOrigin();
    void torusMeanCurvatureRms_data();
    void torusMeanCurvatureRms();
    void degenerateInputStaysFinite_data();
    void degenerateInputStaysFinite();
};

// Tolerances are for the stated tessellations: a few per cent of the curvature.
void tst_Curvature::analyticSurfaces_data()
{
    QTest::addColumn<QString>("surface");
    QTest::addColumn<double>("kMax");
    QTest::addColumn<double>("kMin");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<bool>("faceNormals");
    QTest::newRow("sphere r=5") << "sphere" << 0.2 << 0.2 << 0.006 << false;
    QTest::newRow("sphere r=5, normals from faces") << "sphere" << 0.2 << 0.2 << 0.006 << true;
    QTest::newRow("cylinder r=4") << "cylinder" << 0.25 << 0.0 << 0.0075 << false;
    QTest::newRow("cylinder r=4, normals from faces") << "cylinder" << 0.25 << 0.0 << 0.0075 << true;
    QTest::newRow("plane") << "plane" << 0.0 << 0.0 << 1e-5 << true;
}

void tst_Curvature::analyticSurfaces()
{
    QFETCH(QString, surface);
    QFETCH(double, kMax);
    QFETCH(double, kMin);
    QFETCH(double, tolerance);
    QFETCH(bool, faceNormals);

    oxRenderMesh mesh;
    std::function<bool(const osg::Pnt3f&)> interior = [](const osg::Pnt3f&) { return true; };
    if (surface == "sphere")
    {
        mesh = oxSampleSurfaces::sphere(5.f, 128);
        // The latitude-longitude grid's pole fans are needles; with normals estimated from the
        // faces their neighbourhood is off by more.
        if (faceNormals)
            interior = [](const osg::Pnt3f& p) { return std::fabs(p[1]) < 4.9f; };
    }
    else if (surface == "cylinder")
    {
        mesh = oxSampleSurfaces::cylinder(4.f, 20.f, 128);
        interior = [](const osg::Pnt3f& p) { return std::fabs(p[1]) < 9.f; };
    }
    else
        mesh = oxSampleSurfaces::plane(10.f, 40);
    if (faceNormals)
        mesh.normals.clear();

    const oxPrincipalCurvatures c = oxCurvature::estimate(mesh);
    QCOMPARE(c.kMax.size(), mesh.positions.size());
    QVERIFY(allFinite(c));
    const Stats max = compare(mesh, c.kMax, interior, kMax);
    const Stats min = compare(mesh, c.kMin, interior, kMin);
    QVERIFY(max.count > 100);
    QVERIFY2(max.maxError <= tolerance, qPrintable(QString("largest kMax error %1").arg(max.maxError)));
    QVERIFY2(min.maxError <= tolerance, qPrintable(QString("largest kMin error %1").arg(min.maxError)));
}

void tst_Curvature::saddleGaussianAtOrigin()
{
    // z = x y: Gaussian curvature -1 and mean curvature 0 at the origin.
    const oxRenderMesh mesh = oxSampleSurfaces::saddle(1.f, 1.f, 100);
    const oxPrincipalCurvatures c = oxCurvature::estimate(mesh);
    QVERIFY(allFinite(c));
    size_t origin = 0;
    for (size_t i = 0; i < mesh.positions.size(); ++i)
        if (mesh.positions[i].subZero().length() < mesh.positions[origin].subZero().length())
            origin = i;
    QVERIFY(mesh.positions[origin].subZero().length() < 1e-5f);
    QVERIFY2(std::fabs(c.kMax[origin] * c.kMin[origin] + 1.f) < 0.02f,
             qPrintable(QString("Gaussian %1").arg(c.kMax[origin] * c.kMin[origin])));
    QVERIFY(std::fabs(c.kMax[origin] + c.kMin[origin]) < 0.02f);
}

void tst_Curvature::torusMeanCurvatureRms_data()
{
    QTest::addColumn<bool>("faceNormals");
    QTest::newRow("exact normals") << false;
    QTest::newRow("normals from faces") << true;
}

// Torus R = 3, r = 1 as a regular 200 x 100 grid: RMS error of the mean curvature at most 0.001, and
// the principal directions along the tube's meridian and parallel.
void tst_Curvature::torusMeanCurvatureRms()
{
    QFETCH(bool, faceNormals);
    const double R = 3, r = 1;
    oxRenderMesh mesh = oxSampleSurfaces::torus(float(R), float(r), 200);
    QCOMPARE(mesh.positions.size(), size_t(200 * 100));
    if (faceNormals)
        mesh.normals.clear();
    const oxPrincipalCurvatures c = oxCurvature::estimate(mesh);
    QVERIFY(allFinite(c));
    QCOMPARE(c.dirMax.size(), mesh.positions.size());
    double sum = 0, worstAlignment = 0;
    for (size_t i = 0; i < mesh.positions.size(); ++i)
    {
        const osg::Pnt3f& p = mesh.positions[i];
        const double rho = std::hypot(double(p[0]), double(p[2])); // distance from the axis
        const double cosA = (rho - R) / r;
        const double mean = (R + 2 * r * cosA) / (2 * r * (R + r * cosA));
        const double e = 0.5 * (double(c.kMax[i]) + c.kMin[i]) - mean;
        sum += e * e;
        // kMax = 1 / r bends around the tube, across the circles about the axis.
        const osg::Vec3f around(-p[2] / float(rho), 0.f, p[0] / float(rho));
        worstAlignment = std::max(worstAlignment, std::fabs(double(c.dirMax[i].dot(around))));
    }
    const double rms = std::sqrt(sum / double(mesh.positions.size()));
    qInfo("RMS error of the mean curvature %.6f, largest |dirMax . parallel| %.4f", rms, worstAlignment);
    QVERIFY2(rms <= 0.001, qPrintable(QString("RMS error of the mean curvature %1").arg(rms)));
    QVERIFY2(worstAlignment < 0.05, qPrintable(QString("kMax direction off the meridian: %1").arg(worstAlignment)));
}

void tst_Curvature::degenerateInputStaysFinite_data()
{
    QTest::addColumn<QVector<float>>("coordinates");
    QTest::addColumn<QVector<uint>>("triangles");
    QTest::addColumn<bool>("withNormals");
    const QVector<float> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    QTest::newRow("single triangle") << QVector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0} << QVector<uint>{0, 1, 2} << false;
    QTest::newRow("collinear corners") << QVector<float>{0, 0, 0, 1, 0, 0, 2, 0, 0} << QVector<uint>{0, 1, 2} << true;
    QTest::newRow("repeated corner") << square << QVector<uint>{0, 1, 1, 0, 2, 3} << false;
    QTest::newRow("all corners one point")
        << QVector<float>{1, 1, 1, 1, 1, 1, 1, 1, 1} << QVector<uint>{0, 1, 2} << false;
    QTest::newRow("needle triangles") << QVector<float>{0, 0, 0, 1, 0, 0, 0.5f, 1e-7f, 0, 0.5f, -1e-7f, 0}
                                      << QVector<uint>{0, 1, 2, 0, 3, 1} << true;
    QTest::newRow("isolated vertices") << QVector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 5, 5, 5, 7, 7, 7}
                                       << QVector<uint>{0, 1, 2} << true;
    QTest::newRow("index out of range") << square << QVector<uint>{0, 1, 9, 0, 2, 3} << false;
    QTest::newRow("no triangles") << square << QVector<uint>{} << false;
    QTest::newRow("huge and tiny") << QVector<float>{0, 0, 0, 1e30f, 0, 0, 0, 1e-30f, 0} << QVector<uint>{0, 1, 2}
                                   << false;
}

void tst_Curvature::degenerateInputStaysFinite()
{
    QFETCH(QVector<float>, coordinates);
    QFETCH(QVector<uint>, triangles);
    QFETCH(bool, withNormals);
    oxRenderMesh mesh;
    for (int i = 0; i + 2 < coordinates.size(); i += 3)
        mesh.positions.emplace_back(coordinates[i], coordinates[i + 1], coordinates[i + 2]);
    mesh.indices.assign(triangles.begin(), triangles.end());
    if (withNormals)
        mesh.normals.assign(mesh.positions.size(), osg::Vec3f(0.f, 0.f, 1.f));

    const oxPrincipalCurvatures c = oxCurvature::estimate(mesh);
    QCOMPARE(c.kMax.size(), mesh.positions.size());
    QCOMPARE(c.kMin.size(), mesh.positions.size());
    QVERIFY(allFinite(c));
}

QTEST_APPLESS_MAIN(tst_Curvature)
#include "tst_curvature.moc"
