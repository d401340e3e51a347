#include "oxColourMap.h"

#include <algorithm>
#include <cmath>

namespace
{
#include "oxColourMapTables.inc"

// The curvature's ramp as it has always been: blue, near-white, red.
const float Classic[][3] = {{0.23f, 0.30f, 0.75f}, {0.95f, 0.95f, 0.95f}, {0.71f, 0.02f, 0.15f}};

template <int N> oxColourTable tableOf(const float (&rgb)[N][3])
{
    return {rgb, N};
}

// The signed-log scale spans this many times its knee (two decades) from 0 to the range's end.
constexpr float LogSpan = 100.f;
} // namespace

static_assert(oxColourMapCount == 4, "a table per name of oxColourMapNames");

oxColourTable oxColourMap::table(int index)
{
    switch (index)
    {
    case 1:
        return tableOf(Viridis);
    case 2:
        return tableOf(Cividis);
    case 3:
        return tableOf(CoolWarm);
    default:
        return tableOf(Classic);
    }
}

osg::Color3f oxColourMap::sample(const oxColourTable& table, float t)
{
    if (table.size < 1)
        return osg::Color3f(0.5f, 0.5f, 0.5f);
    t = std::isnan(t) ? 0.5f : std::clamp(t, 0.f, 1.f);
    const float at = t * float(table.size - 1);
    const int i = std::min(int(at), table.size - 1), j = std::min(i + 1, table.size - 1);
    const float f = at - float(i);
    const float* a = table.rgb[i];
    const float* b = table.rgb[j];
    return osg::Color3f(a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f);
}

oxColourScale::Options oxColourScale::options(const oxHostAnalysisSettings& host, const oxColourTable& classic,
                                              bool logScale)
{
    Options o;
    o.table = host.ColourMap == 0 ? classic : oxColourMap::table(int(host.ColourMap));
    o.reversed = host.ColourMapReversed;
    o.steps = oxHostAnalysisRows::ColourMapSteps.domain.within(host.ColourMapSteps, 0u);
    o.signedLog = logScale && host.CurvatureLogScale;
    return o;
}

oxColourScale::oxColourScale(float low, float high, const Options& options) : _o(options), _low(low), _high(high)
{
    _empty = !(std::isfinite(low) && std::isfinite(high) && high > low);
    if (_empty)
        return;
    _knee = std::max(std::fabs(low), std::fabs(high)) / LogSpan;
    _from = curve(low);
    _to = curve(high);
    if (_o.steps == 0)
        return;
    _edges.resize(_o.steps + 1);
    for (unsigned k = 0; k <= _o.steps; ++k)
        _edges[k] = valueAt(float(k) / float(_o.steps));
    // The ends are the range's own, not what the curve gives back for them.
    _edges.front() = low;
    _edges.back() = high;
}

float oxColourScale::curve(float v) const
{
    return _o.signedLog ? std::copysign(std::log1p(std::fabs(v) / _knee), v) : v;
}

float oxColourScale::uncurve(float y) const
{
    return _o.signedLog ? std::copysign(_knee * std::expm1(std::fabs(y)), y) : y;
}

float oxColourScale::position(float value) const
{
    if (std::isnan(value))
        return value;
    if (_empty)
        return 0.5f;
    return std::clamp((curve(value) - _from) / (_to - _from), 0.f, 1.f);
}

float oxColourScale::valueAt(float position) const
{
    if (_empty)
        return 0.f;
    return uncurve(_from + (_to - _from) * std::clamp(position, 0.f, 1.f));
}

int oxColourScale::band(float value) const
{
    const int last = int(_o.steps) - 1;
    if (last < 0)
        return 0;
    if (_empty || std::isnan(value))
        return last / 2;
    int k = std::clamp(int(position(value) * float(_o.steps)), 0, last);
    // The position may round across an edge; the edges decide.
    while (k > 0 && value < _edges[size_t(k)])
        --k;
    while (k < last && value >= _edges[size_t(k) + 1])
        ++k;
    return k;
}

float oxColourScale::bandColourPosition(int band) const
{
    // The end bands take the map's ends.
    return _o.steps > 1 ? float(band) / float(_o.steps - 1) : 0.5f;
}

osg::Color3f oxColourScale::colour(float value) const
{
    float t = std::isnan(value) ? 0.5f : _o.steps > 0 ? bandColourPosition(band(value)) : position(value);
    return oxColourMap::sample(_o.table, _o.reversed ? 1.f - t : t);
}

osg::Color3f oxColourScale::colourAt(float position) const
{
    return colour(valueAt(position));
}
