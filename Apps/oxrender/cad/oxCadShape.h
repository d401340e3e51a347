#pragma once

// Open CASCADE side of oxCadModel; included only by the few sources that talk to OCCT.

#include "oxCadModel.h"

#include <Geom_Surface.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <vector>

struct oxCadModel::Impl
{
    explicit Impl(const TopoDS_Shape& shape);

    // An edge between two different faces.
    struct SharedEdge
    {
        int edge;     // index into edges, from 1
        int faces[2]; // indices into faces, from 1
    };

    TopoDS_Shape shape;
    TopTools_IndexedMapOfShape faces;
    TopTools_IndexedMapOfShape edges;
    std::vector<SharedEdge> shared;
    std::vector<int> freeEdges; // edges of one face only, indices into edges
    double size = 0;
    // Per face (from 0): its surface with the face's placement applied, and whether the face is
    // reversed against it. Evaluation calls the surfaces directly: OCCT's geometry keeps no
    // evaluation state, so many threads may evaluate one surface at once. (Adaptors would keep a
    // B-spline span cache per thread, but on dense B-splines rebuilding it costs more than it saves.)
    std::vector<Handle(Geom_Surface)> surfaces;
    std::vector<bool> reversed;

    // The surface's point, oriented unit normal and principal curvatures (oxPrincipalCurvatures'
    // convention) at (u, v); false where the normal is undefined. Curvature only when asked for.
    bool evaluate(size_t face, double u, double v, gp_Pnt& point, gp_Vec& normal, double* kMax, double* kMin) const;
};
