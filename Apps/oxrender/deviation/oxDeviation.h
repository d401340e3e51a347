#pragma once

#include "OSGVector.h"

#include <memory>
#include <vector>

class oxRenderScene;

// How far a model lies from its reference: for every vertex of every model mesh (in the scene's
// order), the signed distance to the closest point of the reference (+ outside, along the
// reference's outward normal; along its face normals for an open reference) and that point.
struct oxDeviationField
{
    std::vector<std::vector<float>> distance;
    std::vector<std::vector<osg::Pnt3f>> closest;
};

class oxDeviation
{
public:
    // The distances of model's vertices to reference; on CAD reference meshes, to the exact
    // surface. Null for an empty model or reference.
    static std::shared_ptr<const oxDeviationField> compute(const oxRenderScene& model, const oxRenderScene& reference);
};
