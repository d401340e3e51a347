#pragma once

#include "OSGMatrix.h"
#include "OSGVector.h"

#include <string>
#include <vector>

class oxRenderScene;

// A rigid best fit of points onto a reference: point-to-plane ICP on the reference's closest
// points, trimmed so that the points furthest off (a partial scan's stray points, parts the
// reference lacks) do not pull the fit. Each step solves only for the motions the data constrains:
// a plane fixes its offset along its normal, not a slide along it nor a turn about its normal.
class oxAlignment
{
public:
    // A motion the data leaves free: a translation along axis, or a rotation about the axis through
    // point (with pitch, length per radian along the axis, for a screw).
    struct FreeMotion
    {
        bool rotation = false;
        osg::Vec3f axis;
        osg::Pnt3f point;
        float pitch = 0;
    };

    struct Result
    {
        osg::Matrix matrix; // moves the points onto the reference; the identity when nothing moves
        // Root mean square of the distances of the points the fit keeps, before and after.
        double rmsBefore = 0, rmsAfter = 0;
        int iterations = 0;
        // False when the fit moves no point by more than float positions resolve.
        bool moved = false;
        // Free translations first, then free rotations, at the fitted position.
        std::vector<FreeMotion> free;
    };

    // Share of the points, the furthest off, left out of every step.
    static constexpr double TrimFraction = 0.1;
    // The fit steps on at most this many of the points, spread evenly over them.
    static constexpr size_t MaxSamples = 20000;
    // A motion is free when the data constrains it less than this share of the best-constrained one.
    static constexpr double FreeRatio = 1e-6;

    // False with error for no points, an empty reference or iterations < 1.
    static bool align(const std::vector<osg::Pnt3f>& points, const oxRenderScene& reference, int iterations,
                      Result& out, std::string& error);
};
