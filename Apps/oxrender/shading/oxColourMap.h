#pragma once

#include "OSGVector.h"
#include "oxHostAnalysisSettings.h"

#include <vector>

// A colour table: size colours lying evenly from t = 0 to t = 1.
struct oxColourTable
{
    const float (*rgb)[3] = nullptr;
    int size = 0;
};

// The colour maps of oxColourMapNames. The tables come from matplotlib 3.6 (Debian's
// python3-matplotlib, written by tools/colour-maps.py): viridis (CC0) and cividis (Nunez et al.
// 2018) in full, coolwarm as Moreland's 33 colours ("Diverging Color Maps for Scientific
// Visualization", 2009).
namespace oxColourMap
{
// The map numbered as ColourMap numbers it; "classic" (and any number outside) is the
// curvature's blue, white and red.
oxColourTable table(int index);
// The colour at t, linear between the table's colours; t is clamped to [0, 1], NaN reads 0.5.
osg::Color3f sample(const oxColourTable& table, float t);
} // namespace oxColourMap

// How a value becomes a colour on a map: its place in the range from low to high (linear, or on
// a signed-log scale whose zero is the value 0), the map reversed or not, smooth or in steps.
class oxColourScale
{
public:
    struct Options
    {
        oxColourTable table = oxColourMap::table(0);
        bool reversed = false;
        unsigned steps = 0; // 0: smooth
        bool signedLog = false;
    };
    // The host's choice of map, with classic as the analysis's own table; the signed-log scale
    // only where the analysis has one (curvature).
    static Options options(const oxHostAnalysisSettings& host, const oxColourTable& classic, bool logScale);

    // An empty range (high <= low, or either not finite) places every value in the middle.
    oxColourScale(float low, float high, const Options& options);

    float low() const { return _low; }
    float high() const { return _high; }
    // Where value lies from 0 (low) to 1 (high), clamped; NaN stays NaN. Not banded.
    float position(float value) const;
    // The value at a position, the inverse of position inside the range.
    float valueAt(float position) const;
    // The band a value falls in, from 0 to steps - 1: the k with edges[k] <= value < edges[k + 1].
    int band(float value) const;
    // The colour of a value; of its band when stepped. NaN takes the middle of the map.
    osg::Color3f colour(float value) const;
    // The colour at a position, as a legend's bar shows it.
    osg::Color3f colourAt(float position) const;
    // Where the bands meet: steps + 1 values from low to high; empty when smooth.
    const std::vector<float>& edges() const { return _edges; }

private:
    float curve(float value) const; // the signed-log of value, or value itself
    float uncurve(float y) const;
    float bandColourPosition(int band) const;

    Options _o;
    float _low, _high;
    float _knee = 1;          // signed-log: |value| / knee is the log's argument beyond 1
    float _from = 0, _to = 1; // curve(low), curve(high)
    bool _empty = false;
    std::vector<float> _edges;
};
