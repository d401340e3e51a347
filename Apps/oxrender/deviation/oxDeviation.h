#pragma once

#include "OSGVector.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class oxRenderScene;
struct oxHostAnalysisSettings;

// How far a model lies from its reference: for every vertex of every model mesh (in the scene's
// order), the signed distance to the closest point of the reference (+ outside, along the
// reference's outward normal; along its face normals for an open reference) and that point. A
// model's point cloud counts as a mesh of its points. A reference without triangles (a point
// cloud) has no side: the distance is to its nearest point, unsigned.
struct oxDeviationField
{
    std::vector<std::vector<float>> distance;
    std::vector<std::vector<osg::Pnt3f>> closest;
    bool unsignedDistances = false;
};

// Area-weighted numbers of a deviation field: each vertex counts with a third of the area of the
// triangles around it, each point of a cloud with one.
struct oxDeviationStats
{
    double mean = 0, rms = 0, std = 0, min = 0, max = 0;
    double within = 0; // area fraction with |d| <= tolerance
    double p95 = 0;    // of |d|
    double tolerance = 0;
    std::vector<double> hist, edges;
    bool unsignedDistances = false; // the reference is a point cloud
};

// One point's closest point on a reference, the reference's unit normal there and the signed distance.
struct oxClosestPoint
{
    osg::Pnt3f point;
    osg::Vec3f normal;
    float distance = 0;
};

struct oxClosestPointsOptions
{
    // Polled while the search runs: once set, the call returns soon, leaving the points not yet
    // searched as oxClosestPoint() leaves them.
    const std::atomic<bool>* cancel = nullptr;
};

class oxDeviation
{
public:
    // The distances of model's vertices to reference; on CAD reference meshes, to the exact
    // surface; to the nearest vertex of a reference without triangles. Null for an empty model or
    // reference.
    static std::shared_ptr<const oxDeviationField> compute(const oxRenderScene& model, const oxRenderScene& reference);

    // The signed distance of one point to reference and its closest point there; false for an
    // empty reference.
    static bool closestPoint(const oxRenderScene& reference, const osg::Pnt3f& point, float& distance,
                             osg::Pnt3f& closest);

    // closestPoint for many points at once, in parallel; out empty for an empty reference.
    static void closestPoints(const oxRenderScene& reference, const std::vector<osg::Pnt3f>& points,
                              std::vector<oxClosestPoint>& out, const oxClosestPointsOptions& options = {});

    // The tolerance the deviation uses: the setting where it is more than 0, else a thousandth of
    // the reference's size (its bounding box diagonal); 0 without a reference.
    static double tolerance(const oxHostAnalysisSettings& settings, const oxRenderScene& reference);

    // The finite distances with their vertices' areas (a third of their triangles'; 1 for a
    // cloud's points), as the statistics and histograms weigh them.
    static void weightedValues(const oxRenderScene& model, const oxDeviationField& field, std::vector<float>& values,
                               std::vector<float>& weights);
    // False with error for an empty field or bins outside 1 to oxCurvatureStats::MaxBins.
    static bool stats(const oxRenderScene& model, const oxDeviationField& field, double tolerance, int bins,
                      oxDeviationStats& out, std::string& error);
};
