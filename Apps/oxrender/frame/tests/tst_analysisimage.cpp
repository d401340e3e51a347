// What the analysis raytracer draws, checked against the analytic answer on known surfaces:
// isophote boundaries on a sphere, highlight lines on a cylinder, stripes across G0/G1/G2 joins.
#include "oxRaytracer.h"
#include "oxSampleSurfaces.h"

#include <QtTest>

Q_DECLARE_METATYPE(osg::Vec3f)

#include <cmath>
#include <memory>

namespace
{
const QRgb Black = qRgb(0, 0, 0);

// Black stripes on a white, unlit surface, hard edges.
oxAnalysisSettings stripeSettings()
{
    oxAnalysisSettings s;
    s.ShadingMode = 0;
    s.BaseColor = osg::Color3f(1.f, 1.f, 1.f);
    s.StripeColor = osg::Color3f(0.f, 0.f, 0.f);
    s.StripeSharpness = 1.f;
    return s;
}

// A parallel view down -z onto the x-y plane: image x = world x, image y = -world y.
oxRenderCamera topView(float height)
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(0.f, 0.f, 50.f);
    camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
    camera.up = osg::Vec3f(0.f, 1.f, 0.f);
    camera.orthographic = true;
    camera.orthographicHeight = height;
    return camera;
}

QImage render(const oxRenderMesh& mesh, const oxRenderCamera& camera, const oxAnalysisSettings& settings, int size)
{
    oxRenderScene scene;
    scene.setMeshes({std::make_shared<oxRenderMesh>(mesh)});
    const QImage image = oxRaytracer().render(scene, camera, oxAnalysisShader(settings, true), size, size);
    // To look at what a case saw: OX_RENDER_TEST_IMAGES=<folder>.
    const QString folder = qEnvironmentVariable("OX_RENDER_TEST_IMAGES");
    if (!folder.isEmpty())
        image.save(QString("%1/%2.png")
                       .arg(folder, QString(QTest::currentTestFunction()) + "-" +
                                        QString(QTest::currentDataTag()).replace(' ', '_')));
    return image;
}

bool dark(QRgb c)
{
    return qGray(c) < 128;
}

// Stripe black or surface white, not the grey background.
bool onSurface(QRgb c)
{
    return qGray(c) < 30 || qGray(c) > 225;
}

// Centres of the stripe-black runs along one image row (or column), in pixels.
QVector<double> darkRuns(const QImage& image, int index, bool row, int from, int to)
{
    QVector<double> centres;
    int start = -1;
    for (int i = from; i <= to; ++i)
    {
        const bool d = i < to && qGray(row ? image.pixel(i, index) : image.pixel(index, i)) < 30;
        if (d && start < 0)
            start = i;
        if (!d && start >= 0)
        {
            centres << 0.5 * (start + i - 1);
            start = -1;
        }
    }
    return centres;
}

// Straight line through (x, y) points by least squares: y = a + b x.
void fitLine(const QVector<QPointF>& points, double& a, double& b)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const QPointF& p : points)
    {
        sx += p.x();
        sy += p.y();
        sxx += p.x() * p.x();
        sxy += p.x() * p.y();
    }
    const double n = points.size();
    b = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    a = (sy - b * sx) / n;
}
} // namespace

class tst_AnalysisImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isophoteBoundariesOnSphere_data();
    void isophoteBoundariesOnSphere();
    void highlightLinesOnCylinderAreStraightAndEven();
    void stripesAcrossJoins_data();
    void stripesAcrossJoins();
};

void tst_AnalysisImage::isophoteBoundariesOnSphere_data()
{
    QTest::addColumn<uint>("isolines");
    QTest::addColumn<osg::Vec3f>("light");
    QTest::addColumn<bool>("useViewVector");
    QTest::newRow("9 levels, light towards the viewer") << 9u << osg::Vec3f(0.f, 0.f, 1.f) << false;
    QTest::newRow("6 levels, unnormalised light") << 6u << osg::Vec3f(0.f, 0.f, 3.f) << false;
    QTest::newRow("9 levels, view vector") << 9u << osg::Vec3f(1.f, 0.f, 0.f) << true;
}

void tst_AnalysisImage::isophoteBoundariesOnSphere()
{
    QFETCH(uint, isolines);
    QFETCH(osg::Vec3f, light);
    QFETCH(bool, useViewVector);
    // Viewed along the light, the angle between normal and light at image radius r is asin(r / R):
    // stripe edges lie at r = R sin(k * 180 / isolines) for the levels k in front.
    const float radius = 10.f;
    const int size = 241;
    const double pixel = 24.1 / size;
    oxAnalysisSettings s = stripeSettings();
    s.AnalysisMode = 0;
    s.LineMode = 1;
    s.StripeThickness = 0.5f;
    s.Isolines = isolines;
    s.LinearLightDirection = light;
    s.UseViewVector = useViewVector;
    const QImage image = render(oxSampleSurfaces::sphere(radius, 256), topView(24.1f), s, size);

    const int centre = size / 2;
    QVector<double> edges;
    for (int x = centre + 2; x < size && onSurface(image.pixel(x, centre)); ++x)
        if (dark(image.pixel(x, centre)) != dark(image.pixel(x - 1, centre)))
            edges << (x - 0.5 - (centre + 0.5)) * pixel;

    QVector<double> expected;
    for (uint k = 1; k * 180.0 / isolines < 90.0; ++k)
        expected << radius * std::sin(osg::deg2rad(k * 180.0 / isolines));
    QCOMPARE(edges.size(), expected.size());
    for (int i = 0; i < edges.size(); ++i)
        QVERIFY2(std::fabs(edges[i] - expected[i]) <= 1.5 * pixel,
                 qPrintable(QString("edge %1 at r=%2, expected %3").arg(i).arg(edges[i]).arg(expected[i])));
}

void tst_AnalysisImage::highlightLinesOnCylinderAreStraightAndEven()
{
    // Cylinder about y, light plane z = 30 with lines along y every 6 units. The normal line at
    // angle phi around the axis passes through the axis, so it meets the plane at x = 30 tan(phi):
    // line k is seen at image x = R sin(atan(x_k / 30)) on every row.
    const float radius = 10.f, planeHeight = 30.f, distance = 6.f;
    const int size = 241;
    const double pixel = 24.1 / size;
    oxAnalysisSettings s = stripeSettings();
    s.AnalysisMode = 2;
    s.ReflectionMode = 1;
    s.LineMode = 0;
    s.StripeThickness = 0.15f;
    s.Isolines = 7;
    s.LightLinesDistance = distance;
    s.LightPlaneOrigin = osg::Vec3f(0.f, 0.f, planeHeight);
    const QImage image = render(oxSampleSurfaces::cylinder(radius, 40.f, 720), topView(24.1f), s, size);

    const int centre = size / 2;
    QVector<QVector<double>> rows;
    for (int y = 20; y < size - 20; y += 20)
        rows << darkRuns(image, y, true, 0, size);
    for (const QVector<double>& row : rows)
    {
        QCOMPARE(row.size(), 7);
        for (int k = 0; k < row.size(); ++k)
        {
            // Straight: the same column on every row.
            QVERIFY(std::fabs(row[k] - rows[0][k]) <= 0.5);
            // Even: back on the light plane the lines are one distance apart, centred.
            const double x = (row[k] + 0.5 - (centre + 0.5)) * pixel;
            const double onPlane = planeHeight * std::tan(std::asin(x / radius));
            const double expected = (k - 3) * distance;
            QVERIFY2(std::fabs(onPlane - expected) < 0.1 * distance,
                     qPrintable(QString("line %1 at %2 on the plane, expected %3").arg(k).arg(onPlane).arg(expected)));
        }
    }
}

void tst_AnalysisImage::stripesAcrossJoins_data()
{
    QTest::addColumn<int>("join");
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<bool>("kinks");
    QTest::newRow("G0") << int(oxSampleSurfaces::JoinG0) << true << true;
    QTest::newRow("G1") << int(oxSampleSurfaces::JoinG1) << false << true;
    QTest::newRow("G2") << int(oxSampleSurfaces::JoinG2) << false << false;
}

void tst_AnalysisImage::stripesAcrossJoins()
{
    QFETCH(int, join);
    QFETCH(bool, breaks);
    QFETCH(bool, kinks);
    // Seen from above, the flat part ends at x = 0 and bends away beyond. One highlight line,
    // laid diagonally on a plane above, crosses the join at the image's middle row. Along each
    // image column near the join the line's row is measured; straight lines fitted on either
    // side must meet (no break) with the same slope (no kink). Analytically the slope goes from
    // -1 to -(1 + H / R) = -3 at a G1 join, stays -1 at a G2 join, and a G0 join shifts the line
    // by H tan(30 degrees), out of the view.
    const float scale = 10.f, planeHeight = 20.f;
    const int size = 241;
    oxAnalysisSettings s = stripeSettings();
    s.AnalysisMode = 2;
    s.ReflectionMode = 1;
    s.LineMode = 0;
    s.Isolines = 1;
    s.LightLinesDistance = 2.f;
    s.StripeThickness = 0.25f;
    s.LightPlaneOrigin = osg::Vec3f(0.f, 0.f, planeHeight);
    s.LightPlaneAxisU = osg::Vec3f(float(M_SQRT1_2), float(M_SQRT1_2), 0.f);
    s.LightPlaneAxisV = osg::Vec3f(-float(M_SQRT1_2), float(M_SQRT1_2), 0.f);
    const oxRenderMesh strip = oxSampleSurfaces::joinStrip(oxSampleSurfaces::Join(join), scale, -8.f, 8.f, 300);
    const QImage image = render(strip, topView(12.05f), s, size);

    const int centre = size / 2;
    auto rowAt = [&](int column, double guess, double& row)
    {
        double best = 1e9;
        for (double r : darkRuns(image, column, false, 0, size))
            if (std::fabs(r - guess) < std::fabs(best - guess))
                best = r;
        row = best;
        return std::fabs(best - guess) < 30;
    };
    const int step = 5; // pixels between measured columns
    QVector<QPointF> left, right;
    double guess = centre - step; // the flat side's line rises to the left at 45 degrees
    for (int c = centre - step; c >= centre - 4 * step; c -= step)
    {
        double row;
        QVERIFY(rowAt(c, guess, row));
        left << QPointF(c + 0.5 - (centre + 0.5), row);
        guess = row - step;
    }
    double aL, bL;
    fitLine(left, aL, bL);
    QVERIFY2(std::fabs(bL - 1.0) < 0.05, qPrintable(QString("flat side slope %1").arg(bL)));

    // Follow the line to the right, each guess extrapolated from what was found so far.
    bool found = true;
    guess = aL + bL * step;
    for (int c = centre + step; c <= centre + 4 * step && found; c += step)
    {
        double row;
        found = rowAt(c, guess, row);
        if (!found)
            break;
        right << QPointF(c + 0.5 - (centre + 0.5), row);
        guess = right.size() < 2 ? row + bL * step : 2 * row - right[right.size() - 2].y();
    }
    if (breaks)
    {
        // The line is gone from where it would continue, or jumps.
        double aR = 1e9, bR = 0;
        if (right.size() >= 2)
            fitLine(right, aR, bR);
        QVERIFY2(!found || std::fabs(aR - aL) > 5, qPrintable(QString("jump %1 px").arg(aR - aL)));
        return;
    }
    QVERIFY(found && right.size() == 4);
    double aR, bR;
    fitLine(right, aR, bR);
    QVERIFY2(std::fabs(aR - aL) < 2, qPrintable(QString("jump %1 px").arg(aR - aL)));
    if (kinks)
        QVERIFY2(std::fabs(bR - bL) > 1.0, qPrintable(QString("slopes %1 and %2").arg(bL).arg(bR)));
    else
        QVERIFY2(std::fabs(bR - bL) < 0.5, qPrintable(QString("slopes %1 and %2").arg(bL).arg(bR)));
}

QTEST_APPLESS_MAIN(tst_AnalysisImage)
#include "tst_analysisimage.moc"
