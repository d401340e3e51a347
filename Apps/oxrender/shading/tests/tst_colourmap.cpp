// The colour maps against their published tables, and how a value finds its colour on them:
// reversed, stepped into bands whose edges are exact, on a symmetric or free range, linear or
// signed-log; the curvature's colours and legend on the host's choice.
#include "oxAnalysisShading.h"
#include "oxColourMap.h"
#include "oxOverlay.h"

#include <QImage>
#include <QtTest>

#include <cmath>
#include <limits>
#include <set>

Q_DECLARE_METATYPE(osg::Color3f)

namespace
{
const float Inf = std::numeric_limits<float>::infinity();

bool near(const osg::Color3f& a, const osg::Color3f& b, float tolerance = 1e-6f)
{
    return std::fabs(a[0] - b[0]) <= tolerance && std::fabs(a[1] - b[1]) <= tolerance &&
           std::fabs(a[2] - b[2]) <= tolerance;
}

QString text(const osg::Color3f& c)
{
    return QString("(%1, %2, %3)").arg(double(c[0])).arg(double(c[1])).arg(double(c[2]));
}

oxColourScale::Options mapOptions(int map, unsigned steps = 0, bool signedLog = false, bool reversed = false)
{
    oxColourScale::Options o;
    o.table = oxColourMap::table(map);
    o.steps = steps;
    o.signedLog = signedLog;
    o.reversed = reversed;
    return o;
}
} // namespace

class tst_ColourMap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleMatchesThePublishedTable_data();
    void sampleMatchesThePublishedTable();
    void reversedMirrorsTheMap_data();
    void reversedMirrorsTheMap();
    void bandEdgesAreExact_data();
    void bandEdgesAreExact();
    void rangePlacesValues_data();
    void rangePlacesValues();
    void signedLogIsOddAndMonotonic_data();
    void signedLogIsOddAndMonotonic();
    void curvatureTakesTheHostsScale_data();
    void curvatureTakesTheHostsScale();
    void legendBarShowsTheBands();
};

void tst_ColourMap::sampleMatchesThePublishedTable_data()
{
    QTest::addColumn<int>("map");
    QTest::addColumn<float>("t");
    QTest::addColumn<osg::Color3f>("expected");
    // matplotlib 3.6's _cm_listed.py entries 0, 128 and 255 (of 256), and _cm.py's coolwarm
    // (Moreland's 33 colours) at 0, 16 and 32.
    QTest::newRow("viridis start") << 1 << 0.f << osg::Color3f(0.267004f, 0.004874f, 0.329415f);
    QTest::newRow("viridis entry 128") << 1 << 128.f / 255.f << osg::Color3f(0.127568f, 0.566949f, 0.550556f);
    QTest::newRow("viridis end") << 1 << 1.f << osg::Color3f(0.993248f, 0.906157f, 0.143936f);
    QTest::newRow("cividis start") << 2 << 0.f << osg::Color3f(0.f, 0.135112f, 0.304751f);
    QTest::newRow("cividis entry 128") << 2 << 128.f / 255.f << osg::Color3f(0.488697f, 0.485318f, 0.471008f);
    QTest::newRow("cividis end") << 2 << 1.f << osg::Color3f(0.995737f, 0.909344f, 0.217772f);
    QTest::newRow("coolwarm start") << 3 << 0.f << osg::Color3f(0.2298057f, 0.298717966f, 0.753683153f);
    QTest::newRow("coolwarm middle") << 3 << 0.5f << osg::Color3f(0.865395197f, 0.86541021f, 0.865395561f);
    QTest::newRow("coolwarm end") << 3 << 1.f << osg::Color3f(0.705673158f, 0.01555616f, 0.150232812f);
    // The curvature's ramp as it always was, and halfway between two of its colours.
    QTest::newRow("classic start") << 0 << 0.f << osg::Color3f(0.23f, 0.30f, 0.75f);
    QTest::newRow("classic middle") << 0 << 0.5f << osg::Color3f(0.95f, 0.95f, 0.95f);
    QTest::newRow("classic three quarters") << 0 << 0.75f << osg::Color3f(0.83f, 0.485f, 0.55f);
    QTest::newRow("below the map") << 1 << -3.f << osg::Color3f(0.267004f, 0.004874f, 0.329415f);
    QTest::newRow("beyond the map") << 3 << 7.f << osg::Color3f(0.705673158f, 0.01555616f, 0.150232812f);
    QTest::newRow("NaN reads the middle")
        << 0 << std::numeric_limits<float>::quiet_NaN() << osg::Color3f(0.95f, 0.95f, 0.95f);
    QTest::newRow("a number beyond the maps reads classic") << 9 << 0.f << osg::Color3f(0.23f, 0.30f, 0.75f);
}

void tst_ColourMap::sampleMatchesThePublishedTable()
{
    QFETCH(int, map);
    QFETCH(float, t);
    QFETCH(osg::Color3f, expected);
    const osg::Color3f c = oxColourMap::sample(oxColourMap::table(map), t);
    QVERIFY2(near(c, expected), qPrintable(text(c)));
}

void tst_ColourMap::reversedMirrorsTheMap_data()
{
    QTest::addColumn<int>("map");
    QTest::addColumn<unsigned>("steps");
    for (int map = 0; map < oxColourMapCount; ++map)
        for (unsigned steps : {0u, 5u})
            QTest::newRow(qPrintable(QString("%1 in %2 steps").arg(oxColourMapNames[map]).arg(steps))) << map << steps;
}

void tst_ColourMap::reversedMirrorsTheMap()
{
    QFETCH(int, map);
    QFETCH(unsigned, steps);
    const oxColourScale forward(-2.f, 2.f, mapOptions(map, steps));
    const oxColourScale reversed(-2.f, 2.f, mapOptions(map, steps, false, true));
    // Band edges lie at multiples of 0.8: the values stay clear of them.
    for (float v : {-2.f, -1.5f, -0.3f, 0.3f, 1.1f, 2.f})
        QVERIFY2(near(reversed.colour(v), forward.colour(-v)), qPrintable(QString::number(double(v))));
    QVERIFY(!near(reversed.colour(-2.f), forward.colour(-2.f), 0.05f));
}

void tst_ColourMap::bandEdgesAreExact_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<unsigned>("steps");
    QTest::addColumn<bool>("signedLog");
    QTest::newRow("symmetric, even") << -1.f << 1.f << 8u << false;
    QTest::newRow("symmetric, odd") << -0.93f << 0.93f << 7u << false;
    QTest::newRow("free, tenths") << 0.1f << 0.7f << 6u << false;
    QTest::newRow("free, negative") << -5.f << -1.f << 3u << false;
    QTest::newRow("one band") << -1.f << 1.f << 1u << false;
    QTest::newRow("most bands") << -3.f << 11.f << 64u << false;
    QTest::newRow("signed-log") << -2.f << 2.f << 10u << true;
    QTest::newRow("signed-log, free") << -0.5f << 3.f << 9u << true;
}

void tst_ColourMap::bandEdgesAreExact()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(unsigned, steps);
    QFETCH(bool, signedLog);
    const oxColourScale scale(low, high, mapOptions(1, steps, signedLog));
    const std::vector<float>& edges = scale.edges();
    QCOMPARE(edges.size(), size_t(steps) + 1);
    QCOMPARE(edges.front(), low);
    QCOMPARE(edges.back(), high);
    std::set<QString> colours;
    for (unsigned k = 0; k < steps; ++k)
    {
        const float from = edges[k], to = edges[k + 1];
        QVERIFY2(from < to, qPrintable(QString("edge %1").arg(k)));
        // An edge belongs to the band above it; the float just below it to the band beneath.
        QCOMPARE(scale.band(from), int(k));
        QCOMPARE(scale.band(std::nextafter(to, -Inf)), int(k));
        if (k > 0)
            QCOMPARE(scale.band(std::nextafter(from, -Inf)), int(k) - 1);
        // One colour over the whole band, its own.
        const osg::Color3f c = scale.colour(from);
        QVERIFY(near(c, scale.colour(0.5f * (from + to))));
        QVERIFY(near(c, scale.colour(std::nextafter(to, -Inf))));
        colours.insert(text(c));
    }
    QCOMPARE(colours.size(), size_t(steps));
    QCOMPARE(scale.band(high), int(steps) - 1);
    QCOMPARE(scale.band(high + std::fabs(high) + 1.f), int(steps) - 1);
    QCOMPARE(scale.band(low - 1.f), 0);
    // The end bands take the map's ends.
    if (steps > 1)
    {
        QVERIFY(near(scale.colour(low), oxColourMap::sample(oxColourMap::table(1), 0.f)));
        QVERIFY(near(scale.colour(high), oxColourMap::sample(oxColourMap::table(1), 1.f)));
    }
}

void tst_ColourMap::rangePlacesValues_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("position");
    QTest::newRow("symmetric, zero in the middle") << -2.f << 2.f << 0.f << 0.5f;
    QTest::newRow("symmetric, top end") << -2.f << 2.f << 2.f << 1.f;
    QTest::newRow("symmetric, a quarter") << -2.f << 2.f << -1.f << 0.25f;
    QTest::newRow("below clamps") << -2.f << 2.f << -30.f << 0.f;
    QTest::newRow("above clamps") << -2.f << 2.f << Inf << 1.f;
    QTest::newRow("free, its own middle") << 1.f << 3.f << 2.f << 0.5f;
    QTest::newRow("free, zero below it") << 1.f << 3.f << 0.f << 0.f;
    QTest::newRow("free, off-centre zero") << -1.f << 3.f << 0.f << 0.25f;
    QTest::newRow("empty range: the middle") << 1.f << 1.f << 5.f << 0.5f;
    QTest::newRow("reversed range: the middle") << 3.f << 1.f << 2.f << 0.5f;
    QTest::newRow("infinite range: the middle") << -Inf << Inf << 2.f << 0.5f;
}

void tst_ColourMap::rangePlacesValues()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(float, value);
    QFETCH(float, position);
    const oxColourScale scale(low, high, mapOptions(1));
    QCOMPARE(scale.position(value), position);
    QVERIFY(std::isnan(scale.position(std::numeric_limits<float>::quiet_NaN())));
    QVERIFY(near(scale.colour(value), oxColourMap::sample(oxColourMap::table(1), position)));
}

void tst_ColourMap::signedLogIsOddAndMonotonic_data()
{
    QTest::addColumn<float>("range");
    QTest::newRow("unit") << 1.f;
    QTest::newRow("tight rims") << 0.93f;
    QTest::newRow("large") << 4000.f;
    QTest::newRow("small") << 1e-4f;
}

void tst_ColourMap::signedLogIsOddAndMonotonic()
{
    QFETCH(float, range);
    const oxColourScale log(-range, range, mapOptions(3, 0, true));
    const oxColourScale linear(-range, range, mapOptions(3));
    QCOMPARE(log.position(0.f), 0.5f);
    QCOMPARE(log.position(range), 1.f);
    QCOMPARE(log.position(-range), 0.f);
    float last = -1.f;
    for (int i = -1000; i <= 1000; ++i)
    {
        const float v = range * float(i) / 1000.f;
        const float p = log.position(v);
        QVERIFY2(p > last, qPrintable(QString("at %1").arg(double(v))));
        last = p;
        QVERIFY(std::fabs((p - 0.5f) + (log.position(-v) - 0.5f)) < 1e-6f);
        QVERIFY(std::fabs(log.valueAt(p) - v) <= 1e-4f * range);
    }
    // The point of it: a tenth of the range takes most of the colours' way to the end.
    QVERIFY(log.position(0.1f * range) > 0.75f);
    QVERIFY(linear.position(0.1f * range) < 0.56f);
}

void tst_ColourMap::curvatureTakesTheHostsScale_data()
{
    QTest::addColumn<unsigned>("map");
    QTest::addColumn<float>("rangeLow");
    QTest::addColumn<float>("rangeHigh");
    QTest::addColumn<float>("curvature");
    QTest::addColumn<float>("position"); // on the map; negative: the classic ramp's own colour
    // CurvatureDrawScale 0.5: the module's range is -2 to 2.
    QTest::newRow("viridis, zero") << 1u << 0.f << 0.f << 0.f << 0.5f;
    QTest::newRow("viridis, the module's end") << 1u << 0.f << 0.f << 2.f << 1.f;
    QTest::newRow("cividis, a quarter") << 2u << 0.f << 0.f << -1.f << 0.25f;
    QTest::newRow("free range wins") << 1u << 0.f << 4.f << 1.f << 0.25f;
    QTest::newRow("free range on classic") << 0u << 1.f << 3.f << 2.f << 0.5f;
    QTest::newRow("an empty free range is none") << 1u << 3.f << 3.f << 1.f << 0.75f;
    QTest::newRow("classic as it was") << 0u << 0.f << 0.f << 1.f << -1.f;
}

void tst_ColourMap::curvatureTakesTheHostsScale()
{
    QFETCH(unsigned, map);
    QFETCH(float, rangeLow);
    QFETCH(float, rangeHigh);
    QFETCH(float, curvature);
    QFETCH(float, position);
    oxAnalysisSettings settings;
    settings.AnalysisMode = osg::CurvatureAnalysis;
    settings.ShadingMode = osg::FlatShading; // the base colour as it is
    settings.CurvatureEvaluationType = osg::MeanCurvature;
    settings.CurvatureDrawScale = 0.5f;
    settings.CurvatureUseBands = false;
    oxHostAnalysisSettings host;
    host.ColourMap = map;
    host.CurvatureRangeLow = rangeLow;
    host.CurvatureRangeHigh = rangeHigh;
    oxAnalysisShader shader(settings, true);
    shader.useColourScale(host);
    QCOMPARE(shader.colourScale() == nullptr, position < 0.f);

    oxShadingBatch batch;
    batch.count = 1;
    batch.p.set(0, osg::Vec3f(0, 0, 0));
    batch.n.set(0, osg::Vec3f(0, 0, 1));
    batch.d.set(0, osg::Vec3f(0, 0, -1));
    batch.side[0] = 1;
    batch.kMax[0] = batch.kMin[0] = curvature;
    shader.shade(batch);
    const osg::Color3f expected = position < 0.f ? shader.curvatureColor(curvature * 0.5f)
                                                 : oxColourMap::sample(oxColourMap::table(int(map)), position);
    const QRgb got = batch.colour[0];
    const osg::Color3f shown(float(qRed(got)) / 255.f, float(qGreen(got)) / 255.f, float(qBlue(got)) / 255.f);
    QVERIFY2(near(shown, expected, 0.5f / 255.f + 1e-6f), qPrintable(text(shown) + " " + text(expected)));
}

// Without a GUI the legend is its bar alone: one colour per band, top to bottom from the high end.
void tst_ColourMap::legendBarShowsTheBands()
{
    oxAnalysisSettings settings;
    settings.AnalysisMode = osg::CurvatureAnalysis;
    settings.CurvatureDrawScale = 1.f;
    oxHostAnalysisSettings host;
    host.ColourMap = 2;
    host.ColourMapSteps = 6;
    oxAnalysisShader shader(settings, true);
    shader.useColourScale(host);
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    oxOverlay::drawCurvatureLegend(image, shader, {});
    // The bar: 10 pixels wide left of a 5 pixel margin, over the middle three fifths.
    const int x = 390, top = 60, bottom = 240;
    QStringList runs;
    for (int y = top; y < bottom; ++y)
        if (runs.isEmpty() || runs.back() != QString::number(image.pixel(x, y), 16))
            runs << QString::number(image.pixel(x, y), 16);
    QCOMPARE(runs.size(), 6);
    const osg::Color3f top3 = oxColourMap::sample(oxColourMap::table(2), 1.f);
    QCOMPARE(image.pixel(x, top),
             qRgb(int(top3[0] * 255.f + 0.5f), int(top3[1] * 255.f + 0.5f), int(top3[2] * 255.f + 0.5f)));
}

QTEST_APPLESS_MAIN(tst_ColourMap)
#include "tst_colourmap.moc"
