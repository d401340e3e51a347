#include "oxCadSewing.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Sewing.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Iterator.hxx>

#include <tbb/parallel_for.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace
{
void collectParts(const TopoDS_Shape& shape, std::vector<TopoDS_Shape>& parts)
{
    if (shape.ShapeType() != TopAbs_COMPOUND)
    {
        parts.push_back(shape);
        return;
    }
    for (TopoDS_Iterator it(shape); it.More(); it.Next())
        collectParts(it.Value(), parts);
}

int root(std::vector<int>& parent, int i)
{
    while (parent[size_t(i)] != i)
        i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
}

// Clusters of parts whose grown boxes touch, directly or through others; each in the order of
// its parts, clusters in the order of their first part.
std::vector<std::vector<int>> clusters(const std::vector<TopoDS_Shape>& parts, double tolerance)
{
    const int n = int(parts.size());
    std::vector<Bnd_Box> boxes(parts.size());
    for (int i = 0; i < n; ++i)
    {
        BRepBndLib::Add(parts[size_t(i)], boxes[size_t(i)], false);
        boxes[size_t(i)].Enlarge(tolerance);
    }
    // A sweep along x: only parts whose x ranges overlap are compared.
    std::vector<int> order(parts.size());
    std::iota(order.begin(), order.end(), 0);
    auto xMin = [&](int i) { return boxes[size_t(i)].IsVoid() ? 0.0 : boxes[size_t(i)].CornerMin().X(); };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return xMin(a) < xMin(b); });
    std::vector<int> parent(parts.size());
    std::iota(parent.begin(), parent.end(), 0);
    for (size_t a = 0; a < order.size(); ++a)
    {
        const Bnd_Box& box = boxes[size_t(order[a])];
        if (box.IsVoid())
            continue;
        const double xMax = box.CornerMax().X();
        for (size_t b = a + 1; b < order.size() && xMin(order[b]) <= xMax; ++b)
            if (!boxes[size_t(order[b])].IsVoid() && !box.IsOut(boxes[size_t(order[b])]))
                parent[size_t(root(parent, order[a]))] = root(parent, order[b]);
    }
    std::vector<std::vector<int>> result;
    std::vector<int> index(parts.size(), -1);
    for (int i = 0; i < n; ++i)
    {
        int& slot = index[size_t(root(parent, i))];
        if (slot < 0)
        {
            slot = int(result.size());
            result.emplace_back();
        }
        result[size_t(slot)].push_back(i);
    }
    return result;
}

// Whether an edge bounds one face only (seams and degenerate edges do not count).
bool hasFreeEdges(const TopoDS_Shape& shape)
{
    TopTools_IndexedDataMapOfShapeListOfShape edgeFaces;
    TopExp::MapShapesAndUniqueAncestors(shape, TopAbs_EDGE, TopAbs_FACE, edgeFaces);
    for (int i = 1; i <= edgeFaces.Extent(); ++i)
    {
        const TopoDS_Edge& edge = TopoDS::Edge(edgeFaces.FindKey(i));
        const TopTools_ListOfShape& faces = edgeFaces(i);
        if (faces.Extent() == 1 && !BRep_Tool::Degenerated(edge) &&
            !BRep_Tool::IsClosed(edge, TopoDS::Face(faces.First())))
            return true;
    }
    return false;
}

TopoDS_Shape sewOne(const TopoDS_Shape& shape, double tolerance)
{
    BRepBuilderAPI_Sewing sewing(tolerance);
    sewing.Load(shape);
    sewing.Perform();
    return sewing.SewedShape().IsNull() ? shape : sewing.SewedShape();
}
} // namespace

TopoDS_Shape oxCadSewing::sew(const TopoDS_Shape& shape, double tolerance, int* clusterCount, int* sewnCount)
{
    std::vector<TopoDS_Shape> parts;
    collectParts(shape, parts);
    if (parts.empty())
        return shape;
    const std::vector<std::vector<int>> groups = clusters(parts, tolerance);
    std::vector<TopoDS_Shape> inputs(groups.size()), results(groups.size());
    std::vector<char> sewn(groups.size(), 0);
    BRep_Builder builder;
    for (size_t g = 0; g < groups.size(); ++g)
    {
        if (groups.size() == 1)
        {
            inputs[g] = shape;
            break;
        }
        TopoDS_Compound compound;
        builder.MakeCompound(compound);
        for (int part : groups[g])
            builder.Add(compound, parts[size_t(part)]);
        inputs[g] = compound;
    }
    // Each cluster is a shape of its own: OCCT's sewing keeps no state shared between instances.
    tbb::parallel_for(size_t(0), groups.size(),
                      [&](size_t g)
                      {
                          sewn[g] = hasFreeEdges(inputs[g]);
                          results[g] = sewn[g] ? sewOne(inputs[g], tolerance) : inputs[g];
                      });
    if (clusterCount)
        *clusterCount = int(groups.size());
    if (sewnCount)
        *sewnCount = int(std::count(sewn.begin(), sewn.end(), 1));
    if (groups.size() == 1)
        return results[0];
    TopoDS_Compound compound;
    builder.MakeCompound(compound);
    for (const TopoDS_Shape& result : results)
        builder.Add(compound, result);
    return compound;
}
