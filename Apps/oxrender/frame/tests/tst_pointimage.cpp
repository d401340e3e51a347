// A point cloud as the raytracer draws it: its discs (with normals) or spheres (without) close
// the gaps between the points, and nothing is drawn beyond them.
#include "oxPointCloud.h"
#include "oxRaytracer.h"

#include <QtTest>

#include <memory>

namespace
{
// White and unlit, so that a pixel is the cloud's or the dark background's.
oxAnalysisSettings white()
{
    oxAnalysisSettings s;
    s.ShadingMode = 0;
    s.BaseColor = osg::Color3f(1.f, 1.f, 1.f);
    return s;
}

// A square of side 10 about the origin in the x-y plane, points spacing apart, jittered by a
// third of that as scans are.
std::shared_ptr<oxPointCloud> square(float spacing, bool normals, bool shuffled)
{
    auto cloud = std::make_shared<oxPointCloud>();
    const int n = int(10.f / spacing + 0.5f);
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
        {
            const float jitter = spacing / 3.f * float((i * 7 + j * 13) % 5 - 2) / 2.f;
            cloud->positions.emplace_back(-5.f + float(i) * spacing + jitter, -5.f + float(j) * spacing - jitter, 0.f);
            if (normals)
                cloud->normals.emplace_back(0.f, 0.f, 1.f);
        }
    // Points in no order: runs of neighbours are no longer near, and the BVH takes them one by one.
    for (size_t p = 0; shuffled && p < cloud->size(); ++p)
        std::swap(cloud->positions[p], cloud->positions[(p * 7919) % cloud->size()]);
    return cloud;
}

// The background's grey is below 100 everywhere.
bool onCloud(QRgb c)
{
    return qGray(c) > 150;
}
} // namespace

class tst_PointImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cloudCoversItsSquareOnly_data();
    void cloudCoversItsSquareOnly();
};

void tst_PointImage::cloudCoversItsSquareOnly_data()
{
    QTest::addColumn<float>("spacing");
    QTest::addColumn<bool>("normals");
    QTest::addColumn<bool>("shuffled");
    QTest::newRow("discs") << 0.1f << true << false;
    QTest::newRow("spheres") << 0.1f << false << false;
    QTest::newRow("sparse discs") << 0.5f << true << false;
    QTest::newRow("discs in no order") << 0.1f << true << true;
}

void tst_PointImage::cloudCoversItsSquareOnly()
{
    QFETCH(float, spacing);
    QFETCH(bool, normals);
    QFETCH(bool, shuffled);
    const osg::NodePtr node = oxPointCloud::makeNode(square(spacing, normals, shuffled));
    oxRenderScene scene;
    QVERIFY(scene.sync(node));
    QVERIFY(scene.points(0));
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(0.f, 0.f, 50.f);
    camera.up = osg::Vec3f(0.f, 1.f, 0.f);
    camera.orthographic = true;
    camera.orthographicHeight = 20.f; // the square spans the middle half of the image
    const int size = 80;
    const QImage image = oxRaytracer().render(scene, camera, oxAnalysisShader(white(), false), size, size);
    int inside = 0, covered = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            const bool within = x >= 22 && x < 58 && y >= 22 && y < 58;
            const bool beyond = x < 16 || x >= 64 || y < 16 || y >= 64;
            if (beyond && onCloud(image.pixel(x, y)))
                QFAIL(qPrintable(QString("pixel (%1, %2) beyond the cloud is drawn").arg(x).arg(y)));
            inside += within;
            covered += within && onCloud(image.pixel(x, y));
        }
    QCOMPARE(covered, inside);
}

QTEST_GUILESS_MAIN(tst_PointImage)
#include "tst_pointimage.moc"
