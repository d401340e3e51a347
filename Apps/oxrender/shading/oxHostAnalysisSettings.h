#pragma once

#include "OSGVector.h"

// The reference host's own analyses, beside the module's: the draft angle, the curvature combs
// and the deviation from a reference. Their settings in one table: P(Name, Type, Default).
#define OX_HOST_ANALYSIS_PROPERTIES(P)                                                                                 \
    P(DraftActive, bool, false)                                                                                        \
    P(DraftDirection, osg::Vec3f, osg::Vec3f(0.f, 0.f, 1.f))                                                           \
    P(DraftAngle, float, 1.f)                                                                                          \
    P(DraftRamp, bool, false)                                                                                          \
    P(CombActive, bool, false)                                                                                         \
    P(CombEdges, bool, true)                                                                                           \
    P(CombSections, unsigned int, 0u)                                                                                  \
    P(CombSectionNormal, osg::Vec3f, osg::Vec3f(1.f, 0.f, 0.f))                                                        \
    P(CombSamples, unsigned int, 64u)                                                                                  \
    P(CombScale, float, 0.f)                                                                                           \
    P(DeviationActive, bool, false)                                                                                    \
    P(DeviationTolerance, float, 0.f)                                                                                  \
    P(DeviationRange, float, 0.f)

// The host analyses' settings record as the renderer reads it: the host publishes every change,
// a frame takes a copy of the current values.
struct oxHostAnalysisSettings
{
#define OX_HOST_ANALYSIS_FIELD(Name, Type, Default) Type Name = Default;
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_FIELD)
#undef OX_HOST_ANALYSIS_FIELD

    // The values last published; the defaults before any. Safe from any thread.
    static oxHostAnalysisSettings current();
    static void publish(const oxHostAnalysisSettings& settings);
};
