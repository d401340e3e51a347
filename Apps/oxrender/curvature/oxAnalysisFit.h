#pragma once

#include "OSGVector.h"

// Settings that suit a model of a given size, so that a first image shows something.
class oxAnalysisFit
{
public:
    struct Lights
    {
        osg::Vec3f planeOrigin;
        float linesDistance = 0;
        float linesLength = 0;
    };
    // The light plane (axes u and v, its normal u x v) just outside the box along its normal,
    // count lines spanning the box's diagonal, lines twice that long. False for an empty box.
    static bool lights(const osg::Pnt3f& min, const osg::Pnt3f& max, const osg::Vec3f& u, const osg::Vec3f& v,
                       unsigned int count, Lights& out);

    // The curvature draw scale that maps the range [low, high] onto the colour ramp, whose middle
    // is zero: symmetric takes the larger end, otherwise the half width of the range. 0 when
    // the range is all zero or not finite.
    static float drawScale(double low, double high, bool symmetric);
};
