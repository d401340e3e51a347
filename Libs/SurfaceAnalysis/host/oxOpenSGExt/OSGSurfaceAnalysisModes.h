#pragma once

#include "OSGBaseTypes.h"

// What the record's unsigned mode fields hold. The fields stay plain UInt32: projects and
// scripts store any value, and readers treat unknown ones as the nearest sensible case.
namespace osg
{
enum AnalysisMode : UInt32
{
    IsophotesAnalysis = 0,
    ReflectionLinesAnalysis = 1,
    HighlightLinesAnalysis = 2,
    CurvatureAnalysis = 3
};

// Which lights a reflection or highlight analysis uses.
enum ReflectionMode : UInt32
{
    SphericalLights = 0,
    ParallelLinearLights = 1
};

enum LineMode : UInt32
{
    IsoLines = 0,
    IsoStripes = 1
};

enum ShadingMode : UInt32
{
    FlatShading = 0,
    DiffuseShading = 1,
    GlossyShading = 2
};

enum CurvatureEvaluationType : UInt32
{
    GaussianCurvature = 0,
    MeanCurvature = 1,
    MinimumCurvature = 2,
    MaximumCurvature = 3
};

// A reflection analysis is any mode other than isophotes and curvature.
inline bool isReflectionAnalysis(UInt32 analysisMode)
{
    return analysisMode != IsophotesAnalysis && analysisMode != CurvatureAnalysis;
}
} // namespace osg
