#pragma once

#include "oxCadMesh.h"
#include "oxCurvatureComb.h"
#include "oxRenderMesh.h"

// Curvature combs from a CAD model's exact geometry: an edge's own curve, and a plane's section
// of the faces through the points where a section of their triangulation crosses them.
class oxCadComb
{
public:
    // Edges 0 .. sharedEdgeCount() - 1 are the shared edges as continuity() numbers them, the
    // free edges follow.
    static size_t edgeCount(const oxCadModel& model);
    // samples evenly spaced by the edge curve's parameter, both ends included; false when the
    // edge does not exist or its curve cannot be evaluated.
    static bool edge(const oxCadModel& model, size_t edge, int samples, oxComb& comb);

    // The comb of one section curve at the samples taken along its triangulated section: each
    // sample moved onto the exact face in the plane, its curvature the section curve's, from the
    // surface's normal curvature along the curve by Meusnier's theorem.
    static oxComb section(const oxCadMesh& cad, const oxRenderMesh& mesh,
                          const std::vector<oxCurvatureComb::Sample>& samples, const oxCurvatureComb::Vec& normal);
};
