#pragma once

#include "oxCurvature.h"
#include "oxRenderMesh.h"

#include <string>
#include <vector>

class oxRenderScene;

// Area-weighted statistics of one curvature kind over a model: each vertex counts with a third of
// the area of the triangles around it, so a finely meshed fillet does not outweigh a large face.
struct oxCurvatureStats
{
    double min = 0, max = 0, mean = 0, median = 0;
    double low = 0, high = 0;  // the values at the low and high percentiles
    std::vector<double> hist;  // bins, area fractions summing to 1
    std::vector<double> edges; // bins + 1 values from low to high; outliers go to the end bins
    double area = 0;

    // The curvature of a kind (an osg::CurvatureEvaluationType; others read as the maximum) from the
    // principal ones, as the renderer colours it.
    static float value(int kind, float kMax, float kMin);
    static const char* kindName(int kind);

    // How many bins a histogram may have: from 1 to this.
    static constexpr int MaxBins = 10000;
    // Why a number of bins outside them is refused.
    static std::string binsRefusal(int bins);

    // A third of the area of every usable triangle to each of its corners.
    static std::vector<float> vertexAreas(const oxRenderMesh& mesh);

    // False with error for no values, no area, bins outside 1 to MaxBins or percentiles outside 0 <= low < high <= 100.
    static bool compute(const std::vector<float>& values, const std::vector<float>& weights, int bins,
                        double lowPercent, double highPercent, oxCurvatureStats& out, std::string& error);
    // Over every mesh of the scene (curvatures estimated where not yet).
    static bool compute(const oxRenderScene& scene, int kind, int bins, double lowPercent, double highPercent,
                        oxCurvatureStats& out, std::string& error);
    // The value of |value| that percent of the area does not exceed: the half-range that shows
    // the body of a part, where a few tight rims would set the extremes. False with error as
    // compute says (percent above 0 and at most 100).
    static bool magnitude(const std::vector<float>& values, const std::vector<float>& weights, double percent,
                          double& out, std::string& error);
    static bool magnitude(const oxRenderScene& scene, int kind, double percent, double& out, std::string& error);
    // Area fractions of the scene's values in bins equal steps from low to high, outliers in the
    // end bins; empty for an empty scene or an empty range.
    static std::vector<double> histogram(const oxRenderScene& scene, int kind, double low, double high, int bins);
};
