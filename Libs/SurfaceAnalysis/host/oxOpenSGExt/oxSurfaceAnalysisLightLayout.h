#pragma once

#include "OSGBaseTypes.h"

#include <algorithm>

// How the analysis lights are laid out, shared by the light visuals and the raytracer so that
// the lines drawn in the view are the lines reflected on the surface.
namespace oxSurfaceAnalysisLightLayout
{
// The record allows line counts up to 2^32 - 1, which would stall the view; larger counts are
// stored as given but only this many lines are drawn and reflected.
constexpr osg::UInt32 MaxDrawnLines = 4096;

inline osg::UInt32 drawnLines(osg::UInt32 count)
{
    return std::min(count, MaxDrawnLines);
}

// Where the first ring of the light sphere stands, as a fraction of a turn about the sphere
// axis: a quarter turn for odd counts, half a step for multiples of 4, none for the other even
// counts. Ring i stands at i / rings of a turn further on.
template <class Real> Real firstRingTurn(osg::UInt32 rings)
{
    if (rings % 2 == 1)
        return Real(0.25);
    if (rings % 4 == 0 && rings > 0)
        return Real(0.5) / Real(rings);
    return Real(0);
}
} // namespace oxSurfaceAnalysisLightLayout
