#pragma once

// Open CASCADE side: included only by sources under cad/.

#include "oxCadShape.h"

#include <cstdint>
#include <limits>
#include <vector>

// Triangulates the faces of a CAD model so that the work grows with the triangles made, not with
// the surfaces' knots: Open CASCADE's mesher makes a coarse mesh that follows the trims and puts
// the same points on both sides of every shared edge, then triangles are bisected on the exact
// surfaces (longest side first, neighbours kept conforming) until no sample of a triangle lies
// further from its surface than the deflection and no facet leans from the surface's normal at
// its corners by more than the angle. Sides on edges are split at the edge curve's points, and
// every split of an edge is made on all its faces, so that they stay closed.
class oxCadTessellator
{
public:
    // One face's triangles, turned as the face is.
    struct Face
    {
        std::vector<double> uv;  // two per vertex
        std::vector<double> xyz; // three per vertex
        std::vector<std::uint32_t> triangles;
        size_t vertexCount() const { return uv.size() / 2; }
    };

    // Meshes the model's faces coarsely (coarseDeflection in model units, angle in radians) with
    // Open CASCADE; the triangulations stay on the shape.
    oxCadTessellator(const oxCadModel::Impl& model, double coarseDeflection, double coarseAngle);

    // The refined faces (deflection in model units, angle in radians), in the model's face order;
    // empty faces where Open CASCADE made none. False when more than triangleLimit triangles would
    // be made; triangles then tells how many were made before refinement stopped.
    bool tessellate(double deflection, double angle, std::vector<Face>& faces, size_t& triangles,
                    size_t triangleLimit = std::numeric_limits<size_t>::max()) const;

private:
    const oxCadModel::Impl& _model;
    size_t _baseTriangles = 0;
};
