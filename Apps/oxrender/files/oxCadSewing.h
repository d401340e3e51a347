#pragma once

// Open CASCADE side; included only by sources under cad/.

#include <TopoDS_Shape.hxx>

// Sewing as BRepBuilderAPI_Sewing does it, in less time on assemblies: the shape's parts (the
// members of its top compound, recursively) whose boxes, grown by the tolerance, do not touch
// cannot share an edge, so each cluster of touching parts is sewn on its own, clusters in
// parallel; a cluster without free edges (closed solids and shells) is left as it is.
class oxCadSewing
{
public:
    // The sewn shape; the shape itself when nothing was sewn. clusters and sewn, when given,
    // count the clusters and those that needed sewing.
    static TopoDS_Shape sew(const TopoDS_Shape& shape, double tolerance, int* clusters = nullptr, int* sewn = nullptr);
};
