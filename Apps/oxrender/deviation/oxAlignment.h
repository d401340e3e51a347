#pragma once

#include "OSGMatrix.h"
#include "OSGVector.h"

#include <string>
#include <vector>

class oxRenderScene;

// A rigid best fit of points onto a reference: point-to-plane ICP on the reference's closest
// points, trimmed so that the points furthest off (a partial scan's stray points, parts the
// reference lacks) do not pull the fit.
class oxAlignment
{
public:
    struct Result
    {
        osg::Matrix matrix; // moves the points onto the reference
        // Root mean square of the distances of the points the fit keeps, before and after.
        double rmsBefore = 0, rmsAfter = 0;
        int iterations = 0;
    };

    // Share of the points, the furthest off, left out of every step.
    static constexpr double TrimFraction = 0.1;
    // The fit steps on at most this many of the points, spread evenly over them.
    static constexpr size_t MaxSamples = 20000;

    // False with error for no points, an empty reference or iterations < 1.
    static bool align(const std::vector<osg::Pnt3f>& points, const oxRenderScene& reference, int iterations,
                      Result& out, std::string& error);
};
