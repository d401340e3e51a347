#include "oxAnalysisShading.h"

#include "oxColourMap.h"
#include "oxHostAnalysisSettings.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxRenderMath.h"
#include "oxShadingMath.h"
#include "oxSurfaceAnalysisLightLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace
{
using oxRenderMath::unit;
using oxShadingMath::fastAcos;
using oxShadingMath::Pi;
using oxShadingMath::RadToDeg;
using oxShadingMath::withFlag;

// floor without a library call. Beyond 2^23 every float is a whole number; the clamp also keeps
// the conversion defined for huge values and NaN.
inline float floorOf(float x)
{
    x = x > -1e7f ? (x < 1e7f ? x : 1e7f) : -1e7f;
    const float i = float(int(x));
    return i > x ? i - 1.f : i;
}

// Polynomial atan after Abramowitz and Stegun 4.4.49 (error below 1e-5 rad), far below a pixel's
// worth of angle: every pixel needs one, and the library call costs more than the rest of the
// shading.
inline float fastAtan2(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float big = std::max(ax, ay);
    const float z = std::min(ax, ay) / (big > 0.f ? big : 1.f), z2 = z * z;
    float r = z * (0.9998660f + z2 * (-0.3302995f + z2 * (0.1801410f + z2 * (-0.0851330f + z2 * 0.0208351f))));
    r = ay > ax ? Pi / 2 - r : r;
    r = x < 0.f ? Pi - r : r;
    return y < 0.f ? -r : r;
}

// The diverging ramp over [-1, 1]: blue, white, red; NaN is white. Steps of 1 / invStep when
// banded, one of them centred on 0 so that flat parts stay white.
template <bool Bands> inline void ramp(float v, float invStep, float& r, float& g, float& b)
{
    v = v > -1.f ? (v < 1.f ? v : 1.f) : (v <= -1.f ? -1.f : 0.f);
    if (Bands)
    {
        // Halves away from zero, so that the ramp stays symmetric about white.
        const float steps = floorOf(std::fabs(v) * invStep + 0.5f) / invStep;
        v = std::min(std::max(std::copysign(steps, v), -1.f), 1.f);
    }
    const float toward = std::fabs(v);
    const bool negative = v < 0.f;
    r = 0.95f + ((negative ? 0.23f : 0.71f) - 0.95f) * toward;
    g = 0.95f + ((negative ? 0.30f : 0.02f) - 0.95f) * toward;
    b = 0.95f + ((negative ? 0.75f : 0.15f) - 0.95f) * toward;
}

// The reflected view ray of hit i, or its normal line for highlight lines.
template <class Highlight>
inline void analysisRay(Highlight highlight, const oxShadingBatch& b, int i, float& rx, float& ry, float& rz)
{
    const float nx = b.n.x[i], ny = b.n.y[i], nz = b.n.z[i];
    const float dn2 = 2.f * (b.d.x[i] * nx + b.d.y[i] * ny + b.d.z[i] * nz);
    rx = highlight ? nx : b.d.x[i] - nx * dn2;
    ry = highlight ? ny : b.d.y[i] - ny * dn2;
    rz = highlight ? nz : b.d.z[i] - nz * dn2;
}

inline osg::UInt32 channel(float v)
{
    // NaN fails both comparisons and becomes 0.
    return osg::UInt32(int((v > 0.f ? (v < 1.f ? v : 1.f) : 0.f) * 255.f + 0.5f));
}
} // namespace

oxAnalysisSettings oxAnalysisSettings::fromRecord(const osg::SurfaceAnalysisAttachmentPtr& record)
{
    if (record == osg::NullFC)
        return {};
    return {record->getValues()};
}

osg::SurfaceAnalysisAttachmentPtr oxAnalysisSettings::hostRecord()
{
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    return utils ? utils->getSurfaceAnalysisAttachment() : osg::SurfaceAnalysisAttachmentPtr(osg::NullFC);
}

oxAnalysisShader::oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis) : _s(settings)
{
    tabulateSpecular();
    if (!analysis)
    {
        _kind = Plain;
        _ambient = 0.2f;
        _diffuse = 0.8f;
        return;
    }
    setLighting();
    setStripe();
    if (_s.AnalysisMode == osg::IsophotesAnalysis)
        setIsophotes();
    else if (_s.AnalysisMode == osg::CurvatureAnalysis)
        _kind = Curvature;
    else
    {
        _highlight = _s.AnalysisMode == osg::HighlightLinesAnalysis;
        if (_s.ReflectionMode == osg::ParallelLinearLights)
            setPlaneLines();
        else if (_s.ReflectionMode == osg::SphericalLights)
            setSphereRings();
        else
            _kind = NoLines;
    }
}

oxAnalysisShader oxAnalysisShader::lightingOnly(const oxAnalysisSettings& settings)
{
    // Lit without the plain shading's ambient: flat shading shows the base colour as it is.
    oxAnalysisShader shader(settings, false);
    shader._ambient = 1;
    shader._diffuse = 0;
    shader.setLighting();
    return shader;
}

oxAnalysisShader oxAnalysisShader::valueLighting(const oxAnalysisSettings& settings, const oxHostAnalysisSettings& host,
                                                 const oxRenderCamera& camera)
{
    oxAnalysisShader shader = lightingOnly(settings);
    shader.lightValues(host, camera);
    return shader;
}

void oxAnalysisShader::lightValues(const oxHostAnalysisSettings& host, const oxRenderCamera& camera)
{
    _glossy = false;
    _keyed = host.ColoursLit;
    if (!_keyed)
    {
        _ambient = 1;
        _diffuse = 0;
        return;
    }
    // A headlight alone lights the three faces of a box seen from a corner alike, and the part
    // reads as a cut-out; a key light off the view's axis gives each its own tone, the fill keeps
    // the faces turned from it readable, and together they bring a face that meets both about to
    // the legend's colour.
    const oxRenderMath::ViewAxes view = oxRenderMath::viewAxes(camera.from, camera.at, camera.up);
    _keyLight = unit(view.up * 0.6f - view.right * 0.45f - view.forward);
    _ambient = 0.2f;
    _diffuse = 0.65f;
    _fill = 0.2f;
    _sheen = 0.15f;
}

void oxAnalysisShader::tabulateSpecular()
{
    // The highlight's falloff, tabulated once per frame.
    const float exponent = std::isfinite(_s.PhongExponent) ? std::max(0.f, _s.PhongExponent) : 1.f;
    _specular.resize(SpecularSteps + 1);
    for (int i = 0; i <= SpecularSteps; ++i)
        _specular[size_t(i)] = std::pow(float(i) / SpecularSteps, exponent);
}

void oxAnalysisShader::setLighting()
{
    // A headlight: the light comes from the viewer.
    if (_s.ShadingMode != osg::FlatShading)
    {
        _ambient = 0.15f;
        _diffuse = 0.85f;
    }
    _glossy = _s.ShadingMode == osg::GlossyShading;
}

bool oxAnalysisShader::stripes() const
{
    return _s.LineMode == osg::IsoStripes;
}

void oxAnalysisShader::setStripe()
{
    const float thickness = std::isfinite(_s.StripeThickness) ? std::clamp(_s.StripeThickness, 0.f, 1.f) : 0.f;
    const float sharpness = std::isfinite(_s.StripeSharpness) ? std::clamp(_s.StripeSharpness, 0.f, 1.f) : 1.f;
    // Lines: the distance of t from the nearest level. Stripes: of t / 2 from the middle of the band
    // between level 2k and 2k + 1, doubled; they alternate over two levels, so their band spans
    // twice the line's period.
    const bool stripes = this->stripes();
    _stripe.scale = stripes ? 0.5f : 1.f;
    _stripe.offset = stripes ? 0.f : 0.5f;
    _stripe.centre = stripes ? 0.25f : 0.5f;
    _stripe.spread = stripes ? 2.f : 1.f;
    const float halfWidth = (stripes ? 2.f : 1.f) * thickness / 2;
    const float softness = (1 - sharpness) * halfWidth;
    _stripe.edge0 = halfWidth - softness;
    // A hard edge is an infinitely steep soft one; no width at all covers nothing.
    _stripe.invSoftness = softness > 0.f ? 1.f / (2 * softness) : std::numeric_limits<float>::infinity();
    if (!(softness > 0.f) && !(_stripe.edge0 > 0.f))
        _stripe.edge0 = -1.f;
    // Plane lines: only the lines that exist, 0 .. count - 1.
    _stripe.first = stripes ? 0.f : -0.5f;
}

void oxAnalysisShader::setIsophotes()
{
    _kind = _s.Isolines > 0 ? Isophotes : NoLines;
    _light = unit(_s.LinearLightDirection);
    _count = _s.Isolines;
}

void oxAnalysisShader::setPlaneLines()
{
    // As the light plane visual lays them: count lines, distance apart, centred on the
    // origin, spaced along U, running along V.
    _kind = PlaneLines;
    _count = oxSurfaceAnalysisLightLayout::drawnLines(_s.Isolines);
    _planeNormal = unit(_s.LightPlaneAxisU.cross(_s.LightPlaneAxisV));
    _planeWidth = float(osg::Int32(_count) - 1) * _s.LightLinesDistance;
    _stripe.last = float(_count) - 1 + (stripes() ? 0.f : 0.5f);
    _planeHalfLength = (_s.IsLightLinesLengthLimited ? _s.LightLinesLength : 1e6f) / 2;
    if (_count == 0)
        _kind = NoLines;
}

void oxAnalysisShader::setSphereRings()
{
    // As the light sphere visual turns its rings about its axis: ring i at
    // (i / count + first ring's turn) of a turn, each a great circle through the axis.
    _kind = SphereRings;
    _count = oxSurfaceAnalysisLightLayout::drawnLines(_s.Isolines);
    if (_count == 0)
        _kind = NoLines;
    // A great circle turned by a and by a + 180 degrees is the same circle, so the rings
    // cross the plane around the axis every 360 / count degrees for even counts and
    // every 180 / count for odd ones.
    _ringPeriod = float(_count == 0 ? 360.0 : (_count % 2 == 0 ? 360.0 / _count : 180.0 / _count));
    _ringStart = float(oxSurfaceAnalysisLightLayout::firstRingTurn<double>(_count) * 360.0);
    const osg::Vec3f axis = unit(_s.LightSphereAxis);
    _sphereC = unit(_s.LightSphereAxisUTangent);
    _sphereB = unit(_sphereC.cross(axis));
}

inline float oxAnalysisShader::cover(const Stripe& s, float t)
{
    const float q = t * s.scale + s.offset;
    const float distance = std::fabs(q - floorOf(q) - s.centre) * s.spread;
    float x = (distance - s.edge0) * s.invSoftness;
    x = x > 0.f ? (x < 1.f ? x : 1.f) : 0.f; // 0 * infinity on a hard edge is NaN: covered
    return 1.f - x * x * (3.f - 2.f * x);
}

void oxAnalysisShader::isophoteCover(oxShadingBatch& b) const
{
    // Levels of the angle between normal and light over 0 to 180 degrees.
    const Stripe stripe = _stripe;
    const float scale = RadToDeg * float(_count) / 180.f;
    const float lx = _light[0], ly = _light[1], lz = _light[2];
    withFlag(_s.UseViewVector,
             [&](auto towardsViewer)
             {
                 OX_SIMD_LOOP
                 for (int i = 0; i < b.count; ++i)
                 {
                     const float cosine = towardsViewer
                                              ? -(b.n.x[i] * b.d.x[i] + b.n.y[i] * b.d.y[i] + b.n.z[i] * b.d.z[i])
                                              : b.n.x[i] * lx + b.n.y[i] * ly + b.n.z[i] * lz;
                     b.cover[i] = cover(stripe, fastAcos(cosine) * scale);
                 }
             });
}

void oxAnalysisShader::planeLineCover(oxShadingBatch& b) const
{
    const Stripe stripe = _stripe;
    const osg::Vec3f N = _planeNormal, U = _s.LightPlaneAxisU, V = _s.LightPlaneAxisV, O = _s.LightPlaneOrigin;
    const float halfLength = _planeHalfLength, halfWidth = _planeWidth / 2;
    const float distance = _s.LightLinesDistance;
    // A distance of 0 puts every line on top of each other at the origin.
    const bool stacked = !(std::fabs(distance) > 0.f);
    const float invDistance = stacked ? 0.f : 1.f / distance;
    auto run = [&](auto highlight, auto stacked)
    {
        OX_SIMD_LOOP
        for (int i = 0; i < b.count; ++i)
        {
            float rx, ry, rz;
            analysisRay(highlight, b, i, rx, ry, rz);
            const float rn = rx * N[0] + ry * N[1] + rz * N[2];
            const float ox = O[0] - b.p.x[i], oy = O[1] - b.p.y[i], oz = O[2] - b.p.z[i];
            const bool parallel = std::fabs(rn) < 1e-12f;
            const float s = (ox * N[0] + oy * N[1] + oz * N[2]) / (parallel ? 1.f : rn);
            const float hx = rx * s - ox, hy = ry * s - oy, hz = rz * s - oz;
            const float along = hx * V[0] + hy * V[1] + hz * V[2];
            const float across = hx * U[0] + hy * U[1] + hz * U[2];
            const float t = stacked ? (std::fabs(across) < 1e-3f ? 0.f : -1.f) : (across + halfWidth) * invDistance;
            // The ray must meet the plane ahead, within the lines' length, on a line that exists.
            float c = cover(stripe, t);
            c = parallel || !(s > 0.f) ? 0.f : c;
            c = std::fabs(along) > halfLength ? 0.f : c;
            c = t >= stripe.first && t <= stripe.last ? c : 0.f;
            b.cover[i] = c;
        }
    };
    withFlag(_highlight, [&](auto highlight) { withFlag(stacked, [&](auto flat) { run(highlight, flat); }); });
}

void oxAnalysisShader::sphereRingCover(oxShadingBatch& b) const
{
    const Stripe stripe = _stripe;
    const osg::Vec3f B = _sphereB, C = _sphereC;
    const float start = _ringStart, invPeriod = 1.f / _ringPeriod, turn = 360.f * invPeriod, invTurn = 1.f / turn;
    withFlag(_highlight,
             [&](auto highlight)
             {
                 OX_SIMD_LOOP
                 for (int i = 0; i < b.count; ++i)
                 {
                     // Only the direction counts: the sphere's lights are at infinity.
                     float rx, ry, rz;
                     analysisRay(highlight, b, i, rx, ry, rz);
                     const float rb = rx * B[0] + ry * B[1] + rz * B[2], rc = rx * C[0] + ry * C[1] + rz * C[2];
                     // Rings in periods from the first, over one turn about the axis.
                     float t = (fastAtan2(rc, rb) * RadToDeg - start) * invPeriod;
                     t -= turn * floorOf(t * invTurn);
                     const float c = cover(stripe, t);
                     b.cover[i] = rb * rb + rc * rc < 1e-18f ? 0.f : c;
                 }
             });
}

void oxAnalysisShader::curvatureColours(oxShadingBatch& b) const
{
    // The base colour goes to b.p, which the curvature kind does not read otherwise.
    const float scale = std::isfinite(_s.CurvatureDrawScale) ? _s.CurvatureDrawScale : 0.f;
    const bool bands = _s.CurvatureUseBands && _s.Isolines > 0;
    const float invStep = bands ? float(_s.Isolines) / 2.f : 1.f;
    // Areas bent tighter than the radius limit take the stripe colour.
    const float tightest = _s.CurvatureUseRadiusLimit && _s.CurvatureRadiusLimit > 0.f
                               ? 1.f / _s.CurvatureRadiusLimit
                               : std::numeric_limits<float>::infinity();
    auto run = [&](auto value)
    {
        if (_scale)
            return scaledCurvatureColours(b, value, tightest);
        withFlag(bands,
                 [&](auto banded)
                 {
                     OX_SIMD_LOOP
                     for (int i = 0; i < b.count; ++i)
                     {
                         const float kMax = b.kMax[i], kMin = b.kMin[i];
                         ramp<banded>(value(kMax, kMin) * scale, invStep, b.p.x[i], b.p.y[i], b.p.z[i]);
                         b.cover[i] = std::max(std::fabs(kMax), std::fabs(kMin)) > tightest ? 1.f : 0.f;
                     }
                 });
    };
    switch (_s.CurvatureEvaluationType)
    {
    case osg::GaussianCurvature:
        run([](float kMax, float kMin) { return kMax * kMin; });
        break;
    case osg::MeanCurvature:
        run([](float kMax, float kMin) { return 0.5f * (kMax + kMin); });
        break;
    case osg::MinimumCurvature:
        run([](float, float kMin) { return kMin; });
        break;
    case osg::MaximumCurvature:
    default: // unknown types read as the default type
        run([](float kMax, float) { return kMax; });
        break;
    }
}

template <class Value>
void oxAnalysisShader::scaledCurvatureColours(oxShadingBatch& b, Value value, float tightest) const
{
    const oxColourScale& scale = *_scale;
    for (int i = 0; i < b.count; ++i)
    {
        const float kMax = b.kMax[i], kMin = b.kMin[i];
        const osg::Color3f c = scale.colour(value(kMax, kMin));
        b.p.x[i] = c[0];
        b.p.y[i] = c[1];
        b.p.z[i] = c[2];
        b.cover[i] = std::max(std::fabs(kMax), std::fabs(kMin)) > tightest ? 1.f : 0.f;
    }
}

void oxAnalysisShader::useColourScale(const oxHostAnalysisSettings& host)
{
    const bool freeRange = std::isfinite(host.CurvatureRangeLow) && std::isfinite(host.CurvatureRangeHigh) &&
                           host.CurvatureRangeLow < host.CurvatureRangeHigh;
    _scale.reset();
    if (host.ColourMap == 0 && !host.ColourMapReversed && host.ColourMapSteps == 0 && !host.CurvatureLogScale &&
        !freeRange)
        return;
    oxColourScale::Options o = oxColourScale::options(host, oxColourMap::table(0), true);
    // The module's bands, where the host asks for no steps of its own.
    if (o.steps == 0 && _s.CurvatureUseBands && _s.Isolines > 0)
        o.steps = std::min<unsigned>(_s.Isolines, unsigned(oxHostAnalysisRows::ColourMapSteps.domain.max));
    const float range = legendRange();
    _scale = freeRange ? std::make_shared<oxColourScale>(host.CurvatureRangeLow, host.CurvatureRangeHigh, o)
                       : std::make_shared<oxColourScale>(-range, range, o);
}

void oxAnalysisShader::lightKeyed(oxShadingBatch& b, const oxShadingBatch::Lanes& base) const
{
    const float lx = _keyLight[0], ly = _keyLight[1], lz = _keyLight[2];
    const float ambient = _ambient, diffuse = _diffuse, fill = _fill, sheen = _sheen;
    const osg::Color3f stripe = _s.StripeColor;
    OX_SIMD_LOOP
    for (int i = 0; i < b.count; ++i)
    {
        const float nx = b.n.x[i], ny = b.n.y[i], nz = b.n.z[i];
        const float dn = b.d.x[i] * nx + b.d.y[i] * ny + b.d.z[i] * nz;
        const float key = std::max(0.f, nx * lx + ny * ly + nz * lz);
        const float light = ambient + diffuse * key + fill * std::max(0.f, -dn);
        // The key light's highlight along the reflected ray, white and narrow.
        float s = std::max(0.f, (b.d.x[i] - 2.f * dn * nx) * lx + (b.d.y[i] - 2.f * dn * ny) * ly +
                                    (b.d.z[i] - 2.f * dn * nz) * lz);
        s *= s;
        s *= s;
        s *= s;
        s *= s;
        const float shine = sheen * s;
        const float c = b.cover[i];
        float r = std::min(base.x[i] * light + shine, 1.f);
        float g = std::min(base.y[i] * light + shine, 1.f);
        float bl = std::min(base.z[i] * light + shine, 1.f);
        r += (stripe[0] - r) * c;
        g += (stripe[1] - g) * c;
        bl += (stripe[2] - bl) * c;
        b.colour[i] = 0xff000000u | channel(r) << 16 | channel(g) << 8 | channel(bl);
    }
}

void oxAnalysisShader::light(oxShadingBatch& b, const oxShadingBatch::Lanes* base) const
{
    if (_keyed && base)
        return lightKeyed(b, *base);
    alignas(32) float specular[oxShadingBatch::Capacity];
    if (_glossy)
        for (int i = 0; i < b.count; ++i)
        {
            const float facing = std::max(0.f, -(b.n.x[i] * b.d.x[i] + b.n.y[i] * b.d.y[i] + b.n.z[i] * b.d.z[i]));
            const float at = std::min(facing, 1.f) * float(SpecularSteps);
            const int k = std::min(int(at), SpecularSteps - 1);
            specular[i] = _specular[size_t(k)] + (_specular[size_t(k) + 1] - _specular[size_t(k)]) * (at - float(k));
        }
    const osg::Color3f plain = _kind == Plain ? osg::Color3f(0.8f, 0.8f, 0.8f) : _s.BaseColor;
    const osg::Color3f glossy = _s.GlossyColor, stripe = _s.StripeColor;
    const float ambient = _ambient, diffuse = _diffuse;
    auto run = [&](auto glossyOn, auto perPixel)
    {
        OX_SIMD_LOOP
        for (int i = 0; i < b.count; ++i)
        {
            const float facing = std::max(0.f, -(b.n.x[i] * b.d.x[i] + b.n.y[i] * b.d.y[i] + b.n.z[i] * b.d.z[i]));
            const float light = ambient + diffuse * facing;
            float r = (perPixel ? base->x[i] : plain[0]) * light;
            float g = (perPixel ? base->y[i] : plain[1]) * light;
            float bl = (perPixel ? base->z[i] : plain[2]) * light;
            if (glossyOn)
            {
                r = std::min(r + glossy[0] * specular[i], 1.f);
                g = std::min(g + glossy[1] * specular[i], 1.f);
                bl = std::min(bl + glossy[2] * specular[i], 1.f);
            }
            const float c = b.cover[i];
            r += (stripe[0] - r) * c;
            g += (stripe[1] - g) * c;
            bl += (stripe[2] - bl) * c;
            b.colour[i] = 0xff000000u | channel(r) << 16 | channel(g) << 8 | channel(bl);
        }
    };
    withFlag(_glossy,
             [&](auto glossyOn) { withFlag(base != nullptr, [&](auto perPixel) { run(glossyOn, perPixel); }); });
}

void oxAnalysisShader::shade(oxShadingBatch& b) const
{
    switch (_kind)
    {
    case Isophotes:
        isophoteCover(b);
        break;
    case PlaneLines:
        planeLineCover(b);
        break;
    case SphereRings:
        sphereRingCover(b);
        break;
    case Curvature:
        curvatureColours(b);
        light(b, &b.p);
        return;
    case Plain:
    case NoLines:
        std::fill(b.cover, b.cover + b.count, 0.f);
        break;
    }
    light(b, nullptr);
}

osg::Color3f oxAnalysisShader::curvatureColor(float value) const
{
    osg::Color3f c;
    if (_s.CurvatureUseBands && _s.Isolines > 0)
        ramp<true>(value, float(_s.Isolines) / 2.f, c[0], c[1], c[2]);
    else
        ramp<false>(value, 1.f, c[0], c[1], c[2]);
    return c;
}

float oxAnalysisShader::legendRange() const
{
    const float scale = _s.CurvatureDrawScale;
    return std::isfinite(scale) && std::fabs(scale) > 0.f ? 1.f / std::fabs(scale) : 0.f;
}
