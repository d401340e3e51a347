#pragma once

#include "oxRenderMesh.h"

#include <vector>

// Principal curvatures per vertex: kMax >= kMin, positive where the surface bends away from
// its normal (a sphere with outward normals has both 1 / radius).
struct oxPrincipalCurvatures
{
    std::vector<float> kMax;
    std::vector<float> kMin;
    std::vector<osg::Vec3f> dirMax; // unit principal direction of kMax per vertex (may be empty)
    std::vector<osg::Vec3f> dirMin;
    bool exact = false;             // from an exact surface rather than a mesh estimate

    bool empty() const { return kMax.empty(); }
};

// Estimates the second fundamental form per face from the change of the vertex normals along
// its edges and averages it into the vertices by their Voronoi areas (Rusinkiewicz, "Estimating
// curvatures and their derivatives on triangle meshes", 2004). Uses the mesh's normals, or
// area-weighted face normals when it has none. Degenerate faces are skipped and a vertex that
// no usable face touches gets 0, so the result is finite for any input.
class oxCurvature
{
public:
    static oxPrincipalCurvatures estimate(const oxRenderMesh& mesh);
};
