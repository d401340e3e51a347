#include "oxColouringInput.h"
#include "oxRenderTestSupport.h"
#include "oxEnvironmentColouring.h"
#include "oxEnvironmentMap.h"
#include "oxRenderMath.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(osg::Vec3f)

namespace
{
// The tiny map: four columns round Z from +X, two rows (up, down), each texel its own colour.
const QRgb Texels[2][4] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)},
                           {qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 255), qRgb(0, 0, 0)}};

osg::Vec3f rgb(QRgb c)
{
    return osg::Vec3f(float(qRed(c)), float(qGreen(c)), float(qBlue(c))) * (1.f / 255.f);
}

// Through the middle of texel (column, row) of a 4 x 2 map.
osg::Vec3f texelDirection(int column, int row)
{
    const float azimuth = (float(column) + 0.5f) * float(M_PI) / 2.f, polar = (float(row) + 0.5f) * float(M_PI) / 2.f;
    return osg::Vec3f(std::sin(polar) * std::cos(azimuth), std::sin(polar) * std::sin(azimuth), std::cos(polar));
}

oxColouringInput input(unsigned map, const QString& image = QString())
{
    oxColouringInput in;
    in.camera.from = osg::Pnt3f(0.f, -10.f, 0.f);
    in.camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
    in.camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    in.host.EnvironmentActive = true;
    in.host.EnvironmentMap = map;
    in.host.EnvironmentImage = image.toStdString();
    return in;
}

bool near(const osg::Vec3f& a, const osg::Vec3f& b, float tolerance = 0.02f)
{
    return (a - b).length() < tolerance;
}

QString text(const osg::Vec3f& v)
{
    return QString("(%1, %2, %3)").arg(double(v[0])).arg(double(v[1])).arg(double(v[2]));
}

float variance(const std::vector<osg::Vec3f>& colours)
{
    osg::Vec3f mean(0.f, 0.f, 0.f);
    for (const osg::Vec3f& c : colours)
        mean += c * (1.f / float(colours.size()));
    float sum = 0.f;
    for (const osg::Vec3f& c : colours)
        sum += (c - mean).squareLength() / float(colours.size());
    return sum;
}
} // namespace

class tst_Environment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void builtInShowsItsStudio_data();
    void builtInShowsItsStudio();
    void pixelReflectsTheRightTexel_data();
    void pixelReflectsTheRightTexel();
    void blendLaysTheReflectionOverTheBase_data();
    void blendLaysTheReflectionOverTheBase();
    void denseMapFadesAtARim_data();
    void denseMapFadesAtARim();
    void missingImageLetsTheSoftboxStandIn_data();
    void missingImageLetsTheSoftboxStandIn();
    void lookupWrapsAndPicksTheMipLevel_data();
    void lookupWrapsAndPicksTheMipLevel();

private:
    QTemporaryDir _dir;
    QString _image;
};

void tst_Environment::initTestCase()
{
    QImage image(4, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, Texels[y][x]);
    _image = _dir.filePath("tiny.png");
    QVERIFY(image.save(_image));
}

void tst_Environment::builtInShowsItsStudio_data()
{
    QTest::addColumn<uint>("map");
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::addColumn<osg::Vec3f>("colour");
    const float c60 = 0.5f, s60 = 0.8660254f;
    QTest::newRow("softbox: the overhead box") << 0u << osg::Vec3f(c60, 0.f, s60) << osg::Vec3f(1.f, 1.f, 1.f);
    QTest::newRow("softbox: the dim ceiling") << 0u << osg::Vec3f(0.f, 0.f, 1.f) << osg::Vec3f(0.18f, 0.18f, 0.18f);
    // Where the bottle's large flat side looks from the default view: down and away, at 225 degrees.
    QTest::newRow("softbox: the bounce card")
        << 0u << osg::Vec3f(-0.6409f, -0.6409f, -0.4226f) << osg::Vec3f(0.84f, 0.84f, 0.84f);
    QTest::newRow("horizon: the floor below") << 1u << osg::Vec3f(0.f, 0.f, -1.f) << osg::Vec3f(0.2f, 0.17f, 0.14f);
    QTest::newRow("horizon: the sky 3 degrees up")
        << 1u << osg::Vec3f(0.9986295f, 0.f, 0.0523360f) << osg::Vec3f(0.83f, 0.88f, 0.96f);
    QTest::newRow("tunnel: a tube beside") << 2u << osg::Vec3f(0.f, 1.f, 0.f) << osg::Vec3f(1.f, 1.f, 1.f);
    QTest::newRow("tunnel: between tubes")
        << 2u << osg::Vec3f(0.f, 0.9659258f, 0.2588190f) << osg::Vec3f(0.05f, 0.05f, 0.1f);
    QTest::newRow("tunnel: its dark end") << 2u << osg::Vec3f(1.f, 0.f, 0.f) << osg::Vec3f(0.05f, 0.05f, 0.1f);
}

void tst_Environment::builtInShowsItsStudio()
{
    QFETCH(uint, map);
    QFETCH(osg::Vec3f, direction);
    QFETCH(osg::Vec3f, colour);
    const oxEnvironmentColouring c(input(map));
    const osg::Vec3f seen = c.colourAt(direction, 0.f);
    QVERIFY2(near(seen, colour, 0.06f), qPrintable(text(seen)));
}

// Turning the environment by 90 degrees brings the column before into view.
void tst_Environment::pixelReflectsTheRightTexel_data()
{
    QTest::addColumn<float>("turn");
    QTest::addColumn<bool>("followsView");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("texelColumn");
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 4; ++column)
        {
            QTest::addRow("column %d row %d", column, row) << 0.f << false << column << row << column;
            QTest::addRow("column %d row %d, turned 90", column, row)
                << 90.f << false << column << row << (column + 3) % 4;
        }
    QTest::newRow("turned -180") << -180.f << false << 0 << 1 << 2;
    // Following the view from -y, the map's +X lies towards the viewer (-y) and its +Y to the view's
    // right (+x): the world's column 0 is the map's column 1.
    QTest::newRow("following the view") << 0.f << true << 0 << 0 << 1;
}

void tst_Environment::pixelReflectsTheRightTexel()
{
    QFETCH(float, turn);
    QFETCH(bool, followsView);
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(int, texelColumn);
    oxColouringInput in = input(oxEnvironmentImage, _image);
    in.host.EnvironmentTurn = turn;
    in.host.EnvironmentFollowsView = followsView;
    const oxEnvironmentColouring c(in);
    QVERIFY(!c.imageMissing());
    const osg::Vec3f direction = texelDirection(column, row);
    // A plane's pixel seen along +y whose normal is half way back to the viewer reflects that way.
    const osg::Vec3f d(0.f, 1.f, 0.f), n = oxRenderMath::unit(direction - d);
    auto b = std::make_unique<oxShadingBatch>();
    b->count = 1;
    b->n.set(0, n);
    b->d.set(0, d);
    b->side[0] = 1.f;
    c.shade(*b);
    const osg::Vec3f seen(b->p.x[0], b->p.y[0], b->p.z[0]), texel = rgb(Texels[row][texelColumn]);
    QVERIFY2(near(seen, texel), qPrintable(text(seen) + " for " + text(texel)));
}

void tst_Environment::blendLaysTheReflectionOverTheBase_data()
{
    QTest::addColumn<float>("blend");
    QTest::newRow("0: the base") << 0.f;
    QTest::newRow("0.25") << 0.25f;
    QTest::newRow("1: the reflection") << 1.f;
}

void tst_Environment::blendLaysTheReflectionOverTheBase()
{
    QFETCH(float, blend);
    oxColouringInput in = input(oxEnvironmentImage, _image);
    in.host.EnvironmentBlend = blend;
    in.settings.BaseColor = osg::Color3f(0.2f, 0.4f, 0.6f);
    const oxEnvironmentColouring c(in);
    auto b = std::make_unique<oxShadingBatch>();
    b->count = 1;
    const osg::Vec3f d(0.f, 1.f, 0.f);
    b->n.set(0, oxRenderMath::unit(texelDirection(2, 1) - d));
    b->d.set(0, d);
    b->side[0] = 1.f;
    c.shade(*b);
    const osg::Vec3f base(0.2f, 0.4f, 0.6f), seen(b->p.x[0], b->p.y[0], b->p.z[0]);
    const osg::Vec3f expected = base + (rgb(Texels[1][2]) - base) * blend;
    QVERIFY2(near(seen, expected), qPrintable(text(seen)));
}

void tst_Environment::denseMapFadesAtARim_data()
{
    QTest::addColumn<uint>("map");
    QTest::addColumn<float>("degreesPerPixel");
    QTest::newRow("tunnel, 6 degrees a pixel") << 2u << 6.f;
    QTest::newRow("tunnel, 20 degrees a pixel") << 2u << 20.f;
    QTest::newRow("softbox, 20 degrees a pixel") << 0u << 20.f;
}

// Where the reflection sweeps across the map from pixel to pixel, the filtered colours vary far
// less than the colours picked at each pixel's exact reflection.
void tst_Environment::denseMapFadesAtARim()
{
    QFETCH(uint, map);
    QFETCH(float, degreesPerPixel);
    oxColouringInput in = input(map);
    in.settings.BaseColor = osg::Color3f(0.f, 0.f, 0.f);
    const oxEnvironmentColouring c(in);
    const std::unique_ptr<oxShadingBatch> b = turningTile(degreesPerPixel, 1.f / 3.f);
    std::vector<osg::Vec3f> picked, filtered;
    for (int i = 0; i < b->count; ++i)
    {
        const osg::Vec3f n(b->n.x[i], b->n.y[i], b->n.z[i]), d(b->d.x[i], b->d.y[i], b->d.z[i]);
        picked.push_back(c.colourAt(d - n * (2.f * d.dot(n)), 0.f));
    }
    c.shade(*b);
    for (int i = 0; i < b->count; ++i)
        filtered.push_back(osg::Vec3f(b->p.x[i], b->p.y[i], b->p.z[i]));
    QVERIFY2(variance(picked) > 0.01f, qPrintable(QString::number(double(variance(picked)))));
    QVERIFY2(variance(filtered) < 0.5f * variance(picked),
             qPrintable(QString("%1 against %2").arg(double(variance(filtered))).arg(double(variance(picked)))));
}

void tst_Environment::missingImageLetsTheSoftboxStandIn_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("no such file") << "missing.png";
    QTest::newRow("not an image") << "notimage.png";
    QTest::newRow("no path") << QString();
}

void tst_Environment::missingImageLetsTheSoftboxStandIn()
{
    QFETCH(QString, file);
    QFile junk(_dir.filePath("notimage.png"));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not a picture") > 0);
    junk.close();
    const oxEnvironmentColouring c(input(oxEnvironmentImage, file.isEmpty() ? file : _dir.filePath(file)));
    QVERIFY(c.imageMissing());
    const oxEnvironmentColouring softbox(input(0));
    const osg::Vec3f up(0.5f, 0.f, 0.8660254f);
    QVERIFY(near(c.colourAt(up, 0.f), softbox.colourAt(up, 0.f), 1e-6f));
    std::string error;
    QVERIFY(!oxEnvironmentMap::image(_dir.filePath(file).toStdString(), &error));
    QVERIFY2(QString::fromStdString(error).startsWith("cannot read the environment image \""), error.c_str());
}

// A lookup by direction and footprint against the map read at the exact coordinates and level:
// across the seam at +X, and from a texel's footprint up to the whole map.
void tst_Environment::lookupWrapsAndPicksTheMipLevel_data()
{
    QTest::addColumn<float>("azimuth");
    QTest::addColumn<float>("texels");
    QTest::newRow("just below the seam") << -1e-4f << 0.f;
    QTest::newRow("just above the seam") << 1e-4f << 0.f;
    QTest::newRow("on a texel's edge") << float(M_PI) / 2.f << 0.f;
    for (float texels : {1.5f, 2.f, 3.f, 7.f, 40.f, 300.f})
        QTest::addRow("footprint of %g texels", double(texels)) << 0.3f << texels;
}

void tst_Environment::lookupWrapsAndPicksTheMipLevel()
{
    QFETCH(float, azimuth);
    QFETCH(float, texels);
    for (const std::shared_ptr<const oxEnvironmentMap>& map :
         {oxEnvironmentMap::image(_image.toStdString()), oxEnvironmentMap::builtIn(0)})
    {
        QVERIFY(map);
        const float polar = 1.2f, texel = 2.f * float(M_PI) / float(map->levels()[0].width);
        const osg::Vec3f d(std::sin(polar) * std::cos(azimuth), std::sin(polar) * std::sin(azimuth), std::cos(polar));
        const float u = azimuth / (2.f * float(M_PI)), level = texels > 1.f ? std::log2(texels) : 0.f;
        const osg::Vec3f seen = map->colour(d, texels * texel), exact = map->sample(u, polar / float(M_PI), level);
        QVERIFY2(near(seen, exact, 0.01f), qPrintable(text(seen) + " for " + text(exact)));
    }
}

QTEST_GUILESS_MAIN(tst_Environment)
#include "tst_environment.moc"
