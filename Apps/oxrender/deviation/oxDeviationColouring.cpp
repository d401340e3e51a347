#include "oxDeviationColouring.h"

#include "oxColouringInput.h"
#include "oxDeviation.h"
#include "oxDeviationCorners.h"
#include "oxDeviationOverlay.h"
#include "oxShadingMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// Light grey within tolerance; beyond it from a pale tint to the full colour, blue inside and
// vermillion outside (Okabe and Ito's pair, apart for the common colour-vision deficiencies).
const float Neutral[3] = {0.82f, 0.82f, 0.82f};
const float InsidePale[3] = {0.72f, 0.84f, 0.93f}, Inside[3] = {0.f, 0.447f, 0.698f};
const float OutsidePale[3] = {0.97f, 0.82f, 0.70f}, Outside[3] = {0.835f, 0.369f, 0.f};

// The classic colours as a table from -range to range, for the host's reverse and steps.
const float ClassicTable[][3] = {{Inside[0], Inside[1], Inside[2]},
                                 {InsidePale[0], InsidePale[1], InsidePale[2]},
                                 {Neutral[0], Neutral[1], Neutral[2]},
                                 {OutsidePale[0], OutsidePale[1], OutsidePale[2]},
                                 {Outside[0], Outside[1], Outside[2]}};

// invSpan is 1 / (range - tolerance), infinite when the range does not exceed the tolerance.
inline void ramp(float d, float tolerance, float invSpan, float& r, float& g, float& b)
{
    const float a = std::fabs(d);
    float t = (a - tolerance) * invSpan;
    t = t > 0.f ? (t < 1.f ? t : 1.f) : 0.f; // NaN: 0
    const bool outside = d > 0.f;
    const float* pale = outside ? OutsidePale : InsidePale;
    const float* full = outside ? Outside : Inside;
    const bool neutral = !(a > tolerance); // NaN too
    r = neutral ? Neutral[0] : pale[0] + (full[0] - pale[0]) * t;
    g = neutral ? Neutral[1] : pale[1] + (full[1] - pale[1]) * t;
    b = neutral ? Neutral[2] : pale[2] + (full[2] - pale[2]) * t;
}

float inverseSpan(float tolerance, float range)
{
    const float span = range - tolerance;
    return span > 0.f ? 1.f / span : std::numeric_limits<float>::infinity();
}

// Colours only with a reference's distances over a scene.
[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::DeviationActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.DeviationActive || !in.deviation || !in.scene)
                              return nullptr;
                          return std::make_unique<oxDeviationColouring>(in);
                      });
} // namespace

oxDeviationColouring::oxDeviationColouring(const oxColouringInput& input)
    : _lighting(oxAnalysisShader::valueLighting(input.settings, input.host, input.camera)), _scene(input.scene),
      _field(input.deviation)
{
    if (_scene)
        _corners = oxDeviationCorners::of(_field, *_scene);
    const float tolerance = input.deviationTolerance, range = oxDeviationOverlay::halfRange(input.host, _field);
    _tolerance = std::isfinite(tolerance) ? std::max(0.f, tolerance) : 0.f;
    _range = std::isfinite(range) ? std::max(0.f, range) : 0.f;
    const oxHostAnalysisSettings& host = input.host;
    if (host.ColourMap != 0 || host.ColourMapReversed || host.ColourMapSteps != 0)
        _scale = std::make_shared<oxColourScale>(-_range, _range,
                                                 oxColourScale::options(host, oxColourTable{ClassicTable, 5}, false));
}

const oxCornerScalars* oxDeviationColouring::cornerValues() const
{
    return _corners.get();
}

void oxDeviationColouring::shade(oxShadingBatch& b) const
{
    // The base colour goes to b.p.
    const float tolerance = _tolerance, invSpan = inverseSpan(_tolerance, _range);
    if (_scale)
    {
        for (int i = 0; i < b.count; ++i)
        {
            const osg::Color3f c = colour(b.value[i]);
            b.p.set(i, osg::Vec3f(c[0], c[1], c[2]));
            b.cover[i] = 0.f;
        }
        return _lighting.light(b, &b.p);
    }
    OX_SIMD_LOOP
    for (int i = 0; i < b.count; ++i)
    {
        ramp(b.value[i], tolerance, invSpan, b.p.x[i], b.p.y[i], b.p.z[i]);
        b.cover[i] = 0.f;
    }
    _lighting.light(b, &b.p);
}

void oxDeviationColouring::drawLegend(QImage& image) const
{
    if (_scene)
        oxDeviationOverlay::drawLegend(image, *this, oxDeviationOverlay::legendHistogram(*_scene, _field, _range));
}

osg::Color3f oxDeviationColouring::colour(float distance) const
{
    osg::Color3f c;
    ramp(distance, _tolerance, inverseSpan(_tolerance, _range), c[0], c[1], c[2]);
    // Within tolerance (and NaN) stays neutral on every map.
    if (_scale && std::fabs(distance) > _tolerance)
        c = _scale->colour(distance);
    return c;
}

bool oxDeviationColouring::unsignedDistances() const
{
    return _field && _field->unsignedDistances;
}
