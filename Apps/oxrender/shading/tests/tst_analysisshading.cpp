// The shader works on a tile's hits at once, several pixels per instruction. A pixel's colour must
// not depend on where in the batch it sits or on what its neighbours hold, and bad input must give
// a defined colour.
#include "oxAnalysisShading.h"
#include "oxHostAnalysisSettings.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

namespace
{
const float NaN = std::numeric_limits<float>::quiet_NaN();

osg::Vec3f randomUnit(std::mt19937& random)
{
    std::normal_distribution<float> normal;
    osg::Vec3f v;
    do
        v = osg::Vec3f(normal(random), normal(random), normal(random));
    while (v.length() < 1e-3f);
    v.normalize();
    return v;
}

// Hits on a unit sphere seen from +z, so that they cross many lines and rings.
std::unique_ptr<oxShadingBatch> randomHits(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> curvature(-3.f, 3.f);
    auto batch = std::make_unique<oxShadingBatch>();
    batch->count = count;
    for (int i = 0; i < count; ++i)
    {
        osg::Vec3f n = randomUnit(random);
        if (n[2] < 0.f)
            n = -n;
        const osg::Vec3f d = osg::Vec3f(n[0] * 0.3f, n[1] * 0.3f, -1.f) * (1.f / osg::Vec3f(0.3f, 0.3f, 1.f).length());
        batch->n.set(i, n);
        batch->d.set(i, d);
        batch->p.set(i, n);
        batch->kMax[i] = curvature(random);
        batch->kMin[i] = curvature(random);
    }
    return batch;
}

// hit i of from as hit j of to.
void copyHit(const oxShadingBatch& from, int i, oxShadingBatch& to, int j)
{
    for (auto lanes : {&oxShadingBatch::p, &oxShadingBatch::n, &oxShadingBatch::d})
    {
        (to.*lanes).x[j] = (from.*lanes).x[i];
        (to.*lanes).y[j] = (from.*lanes).y[i];
        (to.*lanes).z[j] = (from.*lanes).z[i];
    }
    to.kMax[j] = from.kMax[i];
    to.kMin[j] = from.kMin[i];
}

oxAnalysisSettings settings(unsigned mode, unsigned reflection, unsigned lineMode, unsigned shading)
{
    oxAnalysisSettings s;
    s.AnalysisMode = mode;
    s.ReflectionMode = reflection;
    s.LineMode = lineMode;
    s.ShadingMode = shading;
    s.Isolines = 7;
    s.StripeThickness = 0.4f;
    s.StripeSharpness = 0.6f;
    s.StripeColor = osg::Color3f(1.f, 0.f, 0.f);
    s.BaseColor = osg::Color3f(0.2f, 0.5f, 0.9f);
    s.LinearLightDirection = osg::Vec3f(0.3f, 0.2f, 1.f);
    s.LightPlaneOrigin = osg::Vec3f(0.f, 0.f, 5.f);
    s.LightPlaneAxisU = osg::Vec3f(1.f, 0.f, 0.f);
    s.LightPlaneAxisV = osg::Vec3f(0.f, 1.f, 0.f);
    s.LightLinesDistance = 0.7f;
    s.LightSphereAxis = osg::Vec3f(0.f, 1.f, 0.f);
    s.LightSphereAxisUTangent = osg::Vec3f(0.f, 0.f, 1.f);
    s.CurvatureDrawScale = 0.5f;
    s.CurvatureUseRadiusLimit = true;
    s.CurvatureRadiusLimit = 0.4f;
    return s;
}

using Tweak = void (*)(oxAnalysisSettings&);
} // namespace
Q_DECLARE_METATYPE(oxAnalysisSettings)

class tst_AnalysisShading : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kinds_data();
    void colourDoesNotDependOnPlaceInBatch_data() { kinds_data(); }
    void colourDoesNotDependOnPlaceInBatch();
    void badInputGivesADefinedColour_data() { kinds_data(); }
    void badInputGivesADefinedColour();
    void zeroThicknessDrawsNothing_data();
    void zeroThicknessDrawsNothing();
    void valueColoursFollowColoursLitInEveryMode_data();
    void valueColoursFollowColoursLitInEveryMode();
};

void tst_AnalysisShading::kinds_data()
{
    QTest::addColumn<oxAnalysisSettings>("settings");
    QTest::addColumn<bool>("analysis");
    QTest::newRow("plain") << settings(0, 0, 0, 1) << false;
    QTest::newRow("isophote lines, glossy") << settings(0, 0, 0, 2) << true;
    QTest::newRow("isophote stripes, view vector") << []
    {
        oxAnalysisSettings s = settings(0, 0, 1, 0);
        s.UseViewVector = true;
        return s;
    }() << true;
    QTest::newRow("reflection lines on the plane") << settings(1, 1, 0, 1) << true;
    QTest::newRow("highlight stripes on the plane") << settings(2, 1, 1, 2) << true;
    QTest::newRow("plane lines stacked, hard edges") << []
    {
        oxAnalysisSettings s = settings(1, 1, 0, 1);
        s.LightLinesDistance = 0.f;
        s.StripeSharpness = 1.f;
        return s;
    }() << true;
    QTest::newRow("reflection rings") << settings(1, 0, 0, 2) << true;
    QTest::newRow("highlight rings, even count") << []
    {
        oxAnalysisSettings s = settings(2, 0, 1, 1);
        s.Isolines = 8;
        return s;
    }() << true;
    for (unsigned type = 0; type < 4; ++type)
    {
        oxAnalysisSettings s = settings(3, 0, 0, type % 3);
        s.CurvatureEvaluationType = type;
        s.CurvatureUseBands = type % 2 == 0;
        QTest::newRow(qPrintable(QString("curvature type %1").arg(type))) << s << true;
    }
}

void tst_AnalysisShading::colourDoesNotDependOnPlaceInBatch()
{
    QFETCH(oxAnalysisSettings, settings);
    QFETCH(bool, analysis);
    const oxAnalysisShader shader(settings, analysis);
    // Not a multiple of any vector width, so that the loops' remainders run too.
    const auto all = randomHits(oxShadingBatch::Capacity - 3, 7);
    shader.shade(*all);

    // Each hit again, alone and then at another place among different neighbours.
    const auto others = randomHits(oxShadingBatch::Capacity, 11);
    auto single = std::make_unique<oxShadingBatch>();
    int stripes = 0;
    for (int i = 0; i < all->count; ++i)
    {
        single->count = 1;
        copyHit(*all, i, *single, 0);
        shader.shade(*single);
        QCOMPARE(single->colour[0], all->colour[i]);

        const int at = (i * 37 + 5) % 13;
        *single = *others;
        single->count = 13;
        copyHit(*all, i, *single, at);
        shader.shade(*single);
        QCOMPARE(single->colour[at], all->colour[i]);
        stripes += all->cover[i] > 0.5f;
    }
    // The hits cross the lines, so both stripe and surface are in the batch.
    if (analysis && settings.AnalysisMode != 3 && settings.LightLinesDistance != 0.f)
    {
        QVERIFY(stripes > 0);
        QVERIFY(stripes < all->count);
    }
}

void tst_AnalysisShading::badInputGivesADefinedColour()
{
    QFETCH(oxAnalysisSettings, settings);
    QFETCH(bool, analysis);
    const oxAnalysisShader shader(settings, analysis);
    const float inf = std::numeric_limits<float>::infinity();
    auto batch = randomHits(9, 3);
    batch->n.set(0, osg::Vec3f(NaN, NaN, NaN));
    batch->d.set(1, osg::Vec3f(NaN, 0.f, -1.f));
    batch->p.set(2, osg::Vec3f(inf, 0.f, 0.f));
    batch->kMax[3] = NaN;
    batch->kMin[4] = -inf;
    batch->kMax[5] = inf;
    batch->n.set(6, osg::Vec3f(0.f, 0.f, 0.f));
    batch->p.set(7, osg::Vec3f(1e30f, -1e30f, 1e30f));
    shader.shade(*batch);
    for (int i = 0; i < batch->count; ++i)
    {
        QVERIFY2(batch->cover[i] >= 0.f && batch->cover[i] <= 1.f, qPrintable(QString("hit %1").arg(i)));
        QCOMPARE(batch->colour[i] >> 24, 0xffu);
    }
}

void tst_AnalysisShading::zeroThicknessDrawsNothing_data()
{
    QTest::addColumn<unsigned>("mode");
    QTest::addColumn<unsigned>("reflection");
    QTest::addColumn<unsigned>("lineMode");
    QTest::addColumn<float>("sharpness");
    QTest::newRow("isophote lines, hard") << 0u << 0u << 0u << 1.f;
    QTest::newRow("isophote stripes, soft") << 0u << 0u << 1u << 0.f;
    QTest::newRow("plane lines, hard") << 1u << 1u << 0u << 1.f;
    QTest::newRow("rings, soft") << 2u << 0u << 1u << 0.5f;
}

void tst_AnalysisShading::zeroThicknessDrawsNothing()
{
    QFETCH(unsigned, mode);
    QFETCH(unsigned, reflection);
    QFETCH(unsigned, lineMode);
    QFETCH(float, sharpness);
    oxAnalysisSettings s = settings(mode, reflection, lineMode, 1);
    s.StripeThickness = 0.f;
    s.StripeSharpness = sharpness;
    // Hits exactly on a level as well as random ones.
    auto batch = randomHits(64, 5);
    batch->n.set(0, osg::Vec3f(0.f, 0.f, 1.f));
    batch->d.set(0, osg::Vec3f(0.f, 0.f, -1.f));
    oxAnalysisShader(s, true).shade(*batch);
    for (int i = 0; i < batch->count; ++i)
        QCOMPARE(batch->cover[i], 0.f);
}

void tst_AnalysisShading::valueColoursFollowColoursLitInEveryMode_data()
{
    QTest::addColumn<unsigned>("shadingMode");
    QTest::addColumn<bool>("lit");
    for (unsigned mode : {0u, 1u, 2u})
        for (bool lit : {false, true})
            QTest::newRow(qPrintable(QString("mode %1, %2").arg(mode).arg(lit ? "lit" : "flat"))) << mode << lit;
}

void tst_AnalysisShading::valueColoursFollowColoursLitInEveryMode()
{
    QFETCH(unsigned, shadingMode);
    QFETCH(bool, lit);
    oxAnalysisSettings s;
    s.ShadingMode = shadingMode;
    oxHostAnalysisSettings host;
    host.ColoursLit = lit;
    oxRenderCamera camera; // from +z, y up: the key light lies above and to the left
    auto lightOf = [&](const oxAnalysisSettings& settings, const osg::Vec3f& normal)
    {
        oxShadingBatch b;
        b.count = 1;
        b.n.set(0, normal);
        b.d.set(0, osg::Vec3f(0.f, 0.f, -1.f));
        b.p.set(0, osg::Vec3f(0.2f, 0.6f, 0.4f)); // the value's colour
        b.cover[0] = 0.f;
        oxAnalysisShader::valueLighting(settings, host, camera).light(b, &b.p);
        return QRgb(b.colour[0]);
    };
    osg::Vec3f towardsKey(-0.45f, 0.6f, 1.f), awayFromKey(0.6f, -0.5f, 0.6f);
    towardsKey.normalize();
    awayFromKey.normalize();
    const QRgb base = qRgb(51, 153, 102), keyLit = lightOf(s, towardsKey), turned = lightOf(s, awayFromKey);
    if (!lit)
    {
        // Exactly the legend's colour, whatever the module's lighting says.
        QCOMPARE(keyLit, base);
        QCOMPARE(turned, base);
        return;
    }
    // Lit alike in every mode, flat included; a face turned from the key light darker.
    oxAnalysisSettings diffuse = s;
    diffuse.ShadingMode = 1;
    QCOMPARE(keyLit, lightOf(diffuse, towardsKey));
    QVERIFY(qGreen(turned) + 30 < qGreen(keyLit));
    QVERIFY(std::abs(qGreen(keyLit) - 153) < 40);
}

QTEST_GUILESS_MAIN(tst_AnalysisShading)
#include "tst_analysisshading.moc"
