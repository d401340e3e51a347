#include "oxAnalysisShading.h"

#include <algorithm>
#include <cmath>

namespace
{
// The light visuals stop drawing beyond these counts; the analysis shows what they show.
const osg::UInt32 MaxLightLines = 4096;
const double RadToDeg = 180.0 / osg::Pi;

osg::Vec3f unit(osg::Vec3f v)
{
    v.normalize();
    return v;
}

osg::Color3f mix(const osg::Color3f& a, const osg::Color3f& b, float t)
{
    return a * (1.f - t) + b * t;
}

// Polynomial arc functions: every pixel needs one, and the library calls cost more than the
// rest of the shading. acos after Abramowitz and Stegun 4.4.46 (error below 2e-8 rad), atan after
// 4.4.49 (below 1e-5 rad), both far below a pixel's worth of angle.
float fastAcos(float x)
{
    const bool negative = x < 0.f;
    x = std::min(std::fabs(x), 1.f);
    const float p =
        1.5707963050f +
        x * (-0.2145988016f +
             x * (0.0889789874f +
                  x * (-0.0501743046f +
                       x * (0.0308918810f + x * (-0.0170881256f + x * (0.0066700901f + x * -0.0012624911f))))));
    const float r = std::sqrt(1.f - x) * p;
    return negative ? float(osg::Pi) - r : r;
}

float fastAtan2(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float big = std::max(ax, ay);
    if (big == 0.f)
        return 0.f;
    const float z = std::min(ax, ay) / big, z2 = z * z;
    float r = z * (0.9998660f + z2 * (-0.3302995f + z2 * (0.1801410f + z2 * (-0.0851330f + z2 * 0.0208351f))));
    if (ay > ax)
        r = float(osg::Pi / 2) - r;
    if (x < 0.f)
        r = float(osg::Pi) - r;
    return y < 0.f ? -r : r;
}

} // namespace

oxAnalysisSettings oxAnalysisSettings::fromRecord(const osg::SurfaceAnalysisAttachmentPtr& record)
{
    oxAnalysisSettings s;
    if (record == osg::NullFC)
        return s;
    s.linearLightDirection = record->getLinearLightDirection();
    s.isolines = record->getIsolines();
    s.shadingMode = record->getShadingMode();
    s.baseColor = record->getBaseColor();
    s.stripeThickness = record->getStripeThickness();
    s.stripeSharpness = record->getStripeSharpness();
    s.stripeColor = record->getStripeColor();
    s.useViewVector = record->getUseViewVector();
    s.analysisMode = record->getAnalysisMode();
    s.lineMode = record->getLineMode();
    s.lightPlaneOrigin = record->getLightPlaneOrigin();
    s.lightPlaneAxisU = record->getLightPlaneAxisU();
    s.lightPlaneAxisV = record->getLightPlaneAxisV();
    s.lightSphereAxis = record->getLightSphereAxis();
    s.lightSphereAxisUTangent = record->getLightSphereAxisUTangent();
    s.reflectionMode = record->getReflectionMode();
    s.lightLinesDistance = record->getLightLinesDistance();
    s.lightLinesLength = record->getLightLinesLength();
    s.isLightLinesLengthLimited = record->getIsLightLinesLengthLimited();
    s.glossyColor = record->getGlossyColor();
    s.phongExponent = record->getPhongExponent();
    s.curvatureEvaluationType = record->getCurvatureEvaluationType();
    s.curvatureDrawScale = record->getCurvatureDrawScale();
    s.curvatureUseBands = record->getCurvatureUseBands();
    s.curvatureUseRadiusLimit = record->getCurvatureUseRadiusLimit();
    s.curvatureRadiusLimit = record->getCurvatureRadiusLimit();
    return s;
}

oxAnalysisShader::oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis) : _s(settings)
{
    // The highlight's falloff, tabulated once per frame.
    const float exponent = std::isfinite(_s.phongExponent) ? std::max(0.f, _s.phongExponent) : 1.f;
    _specular.resize(SpecularSteps + 1);
    for (int i = 0; i <= SpecularSteps; ++i)
        _specular[size_t(i)] = std::pow(float(i) / SpecularSteps, exponent);
    if (!analysis)
    {
        _kind = Plain;
        return;
    }
    const double thickness = std::isfinite(_s.stripeThickness) ? std::clamp(double(_s.stripeThickness), 0.0, 1.0) : 0;
    const double sharpness = std::isfinite(_s.stripeSharpness) ? std::clamp(double(_s.stripeSharpness), 0.0, 1.0) : 1;
    // Stripes alternate over two levels, so their band spans twice the line's period.
    _halfWidth = (_s.lineMode == 1 ? 2.0 : 1.0) * thickness / 2;
    _softness = (1 - sharpness) * _halfWidth;

    if (_s.analysisMode == 0)
    {
        _kind = Isophotes;
        _light = unit(_s.linearLightDirection);
        _count = _s.isolines;
    }
    else if (_s.analysisMode == 3)
        _kind = Curvature;
    else
    {
        _highlight = _s.analysisMode == 2;
        if (_s.reflectionMode == 1)
        {
            // As the light plane visual lays them: count lines, distance apart, centred on the
            // origin, spaced along U, running along V.
            _kind = PlaneLines;
            _count = std::min(_s.isolines, MaxLightLines);
            _planeNormal = unit(_s.lightPlaneAxisU.cross(_s.lightPlaneAxisV));
            _planeWidth = double(osg::Int32(_count) - 1) * _s.lightLinesDistance;
            _planeHalfLength = (_s.isLightLinesLengthLimited ? double(_s.lightLinesLength) : 1e6) / 2;
            if (_count == 0)
                _kind = NoLines;
        }
        else if (_s.reflectionMode == 0)
        {
            // As the light sphere visual turns its rings about its axis: ring i at
            // (i / count + offset) of a turn, each a great circle through the axis.
            _kind = SphereRings;
            _count = std::min(_s.isolines, MaxLightLines);
            if (_count == 0)
                _kind = NoLines;
            double offset = 0;
            if (_count % 2 == 1)
                offset = 0.25;
            else if (_count % 4 == 0 && _count > 0)
                offset = 0.5 / _count;
            // A great circle turned by a and by a + 180 degrees is the same circle, so the rings
            // cross the plane around the axis every 360 / count degrees for even counts and
            // every 180 / count for odd ones.
            _ringPeriod = _count == 0 ? 360.0 : (_count % 2 == 0 ? 360.0 / _count : 180.0 / _count);
            _ringStart = offset * 360.0;
            const osg::Vec3f axis = unit(_s.lightSphereAxis);
            _sphereC = unit(_s.lightSphereAxisUTangent);
            _sphereB = unit(_sphereC.cross(axis));
        }
        else
            _kind = NoLines;
    }
}

osg::Color3f oxAnalysisShader::lit(const osg::Color3f& base, const osg::Vec3f& n, const osg::Vec3f& d) const
{
    // A headlight: the light comes from the viewer.
    const float facing = std::max(0.f, -n.dot(d));
    if (_kind == Plain)
        return base * (0.2f + 0.8f * facing);
    switch (_s.shadingMode)
    {
    case 0:
        return base;
    case 2:
    {
        const float at = std::min(facing, 1.f) * float(SpecularSteps);
        const int i = std::min(int(at), SpecularSteps - 1);
        const float specular =
            _specular[size_t(i)] + (_specular[size_t(i) + 1] - _specular[size_t(i)]) * (at - float(i));
        osg::Color3f c = base * (0.15f + 0.85f * facing) + _s.glossyColor * specular;
        return osg::Color3f(std::min(c[0], 1.f), std::min(c[1], 1.f), std::min(c[2], 1.f));
    }
    case 1:
    default:
        return base * (0.15f + 0.85f * facing);
    }
}

bool oxAnalysisShader::stripeCoordinate(const osg::Vec3f& p, const osg::Vec3f& n, const osg::Vec3f& d, double& t) const
{
    switch (_kind)
    {
    case Isophotes:
    {
        if (_count == 0)
            return false;
        const osg::Vec3f light = _s.useViewVector ? -d : _light;
        const float angle = fastAcos(n.dot(light)) * float(RadToDeg);
        t = double(angle) * _count / 180.0;
        return true;
    }
    case PlaneLines:
    {
        const osg::Vec3f r = _highlight ? n : d - n * (2.f * d.dot(n));
        const double rn = r.dot(_planeNormal);
        if (std::fabs(rn) < 1e-12)
            return false;
        const osg::Vec3f o = _s.lightPlaneOrigin - p;
        const double s = o.dot(_planeNormal) / rn;
        if (!(s > 0))
            return false;
        const osg::Vec3f h = r * float(s) - o;
        const double along = h.dot(_s.lightPlaneAxisV);
        if (std::fabs(along) > _planeHalfLength)
            return false;
        const double across = h.dot(_s.lightPlaneAxisU);
        if (!(std::fabs(_s.lightLinesDistance) > 0.f))
        {
            // All lines on top of each other at the origin.
            t = std::fabs(across) < 1e-3 ? 0.0 : 1e9;
            return true;
        }
        t = (across + _planeWidth / 2) / _s.lightLinesDistance;
        return true;
    }
    case SphereRings:
    {
        // Only the direction counts: the sphere's lights are at infinity.
        const osg::Vec3f r = _highlight ? n : d - n * (2.f * d.dot(n));
        const float b = r.dot(_sphereB), c = r.dot(_sphereC);
        if (b * b + c * c < 1e-18f)
            return false;
        double angle = double(fastAtan2(c, b)) * RadToDeg - _ringStart;
        angle -= 360.0 * std::floor(angle / 360.0);
        t = angle / _ringPeriod;
        return true;
    }
    default:
        return false;
    }
}

float oxAnalysisShader::stripeCoverage(double t) const
{
    float distance;
    if (_s.lineMode == 1)
    {
        // Stripes: the band between level 2k and 2k + 1, shrunk about its middle by the thickness.
        const double half = t / 2;
        const float phase = float(half - std::floor(half));
        distance = std::fabs(phase - 0.25f) * 2.f;
    }
    else
        distance = float(std::fabs(t - std::round(t)));
    const float e0 = float(_halfWidth - _softness), e1 = float(_halfWidth + _softness);
    if (distance <= e0)
        return e1 > e0 || distance < e0 ? 1.f : 0.f;
    if (distance >= e1)
        return 0.f;
    const float x = (distance - e0) / (e1 - e0);
    return 1.f - x * x * (3.f - 2.f * x);
}

float oxAnalysisShader::curvatureValue(float kMax, float kMin) const
{
    switch (_s.curvatureEvaluationType)
    {
    case 0:
        return kMax * kMin;
    case 1:
        return 0.5f * (kMax + kMin);
    case 2:
        return kMin;
    case 3:
    default:
        return kMax;
    }
}

osg::Color3f oxAnalysisShader::curvatureColor(float value) const
{
    float v = std::isfinite(value) ? std::clamp(value, -1.f, 1.f) : 0.f;
    if (_s.curvatureUseBands && _s.isolines > 0)
    {
        // Steps of 2 / Isolines, one of them centred on 0 so that flat parts stay white.
        const float step = 2.f / float(_s.isolines);
        v = std::clamp(std::round(v / step) * step, -1.f, 1.f);
    }
    const osg::Color3f blue(0.23f, 0.30f, 0.75f), white(0.95f, 0.95f, 0.95f), red(0.71f, 0.02f, 0.15f);
    return v < 0.f ? mix(white, blue, -v) : mix(white, red, v);
}

float oxAnalysisShader::legendRange() const
{
    const float scale = _s.curvatureDrawScale;
    return std::isfinite(scale) && std::fabs(scale) > 0.f ? 1.f / std::fabs(scale) : 0.f;
}

osg::Color3f oxAnalysisShader::shade(const osg::Vec3f& p, const osg::Vec3f& n, const osg::Vec3f& d, float kMax,
                                     float kMin) const
{
    if (_kind == Plain)
        return lit(osg::Color3f(0.8f, 0.8f, 0.8f), n, d);
    if (_kind == Curvature)
    {
        const float scale = std::isfinite(_s.curvatureDrawScale) ? _s.curvatureDrawScale : 0.f;
        const osg::Color3f base = curvatureColor(curvatureValue(kMax, kMin) * scale);
        if (_s.curvatureUseRadiusLimit)
        {
            const float k = std::max(std::fabs(kMax), std::fabs(kMin));
            if (k > 0.f && 1.f / k < _s.curvatureRadiusLimit)
                return _s.stripeColor;
        }
        return lit(base, n, d);
    }
    const osg::Color3f surface = lit(_s.baseColor, n, d);
    double t;
    if (!stripeCoordinate(p, n, d, t))
        return surface;
    if (_kind == PlaneLines && _s.lineMode != 1)
    {
        // Only the lines that exist: 0 .. count - 1.
        const double k = std::round(t);
        if (k < 0 || k > double(_count) - 1)
            return surface;
    }
    if (_kind == PlaneLines && _s.lineMode == 1 && (t < 0 || t > double(_count) - 1))
        return surface;
    return mix(surface, _s.stripeColor, stripeCoverage(t));
}
