#pragma once

#include "oxDraftStats.h"

#include <vector>

struct oxCadMesh;
struct oxRenderMesh;

// The draft of a CAD mesh from its exact surfaces: every triangle is sampled through the (u, v)
// of its corners, subdivided where its normals turn, so that curved faces give their extremes and
// class boundaries from the surface, not from the tessellation.
class oxCadDraft
{
public:
    // Adds the mesh's area to sum and writes each face's sine range (min, max of n . d) into
    // faceSines, two per face, for a unit direction; threshold is sin(angle).
    static void sample(const oxCadMesh& cad, const oxRenderMesh& mesh, const double direction[3], double threshold,
                       oxDraftStats::Sum& sum, std::vector<double>& faceSines);
};
