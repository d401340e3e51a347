#include "oxCheckModel.h"

#include <BOPAlgo_ArgumentAnalyzer.hxx>
#include <BOPAlgo_CheckResult.hxx>
#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BndLib_AddSurface.hxx>
#include <BRepCheck_Analyzer.hxx>
#include <BRepCheck_ListOfStatus.hxx>
#include <BRepCheck_Result.hxx>
#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <GProp_GProps.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Precision.hxx>
#include <ShapeAnalysis_Edge.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Vertex.hxx>

#include <tbb/parallel_for.h>

#include <cmath>
#include <set>

namespace
{
typedef oxCheckCriterion C;

// BRepCheck_Status in our words, in the enum's order.
const char* const statusTexts[] = {"no error",
                                   "a point of the edge lies off its 3D curve",
                                   "a point of the edge lies off its curve on a face",
                                   "a point lies off its surface",
                                   "the edge has no 3D curve",
                                   "the edge has more than one 3D curve",
                                   "the edge's 3D curve is invalid",
                                   "the edge has no curve on a face it bounds",
                                   "the edge's curve on a face strays from its 3D curve",
                                   "the edge's curves on a closed surface do not match",
                                   "the edge's curves do not share their parameter range",
                                   "the edge's curves do not share their parametrisation",
                                   "the edge is marked degenerate wrongly",
                                   "the edge bounds no face",
                                   "the edge joins more faces than a manifold allows",
                                   "the edge's parameter range is invalid",
                                   "the wire is empty",
                                   "the wire repeats an edge",
                                   "the wire crosses itself",
                                   "the face has no surface",
                                   "the wire is not closed or not connected",
                                   "the face repeats a wire",
                                   "the face's wires cross each other",
                                   "the face's wires are nested wrongly",
                                   "the shell is empty",
                                   "the shell repeats a face",
                                   "the solid's shells are nested wrongly",
                                   "the shell cannot be oriented",
                                   "the shell is not closed",
                                   "the shell's faces are not connected",
                                   "a sub-shape is not in the shape",
                                   "the shape is turned the wrong way",
                                   "a sub-shape is turned the wrong way",
                                   "the triangulation's polygon does not fit the edge",
                                   "the tolerance is invalid",
                                   "the face encloses a region twice",
                                   "the check itself failed"};

// The distinct complaints of one sub-shape's result, in all its contexts.
std::set<int> complaints(const Handle(BRepCheck_Result) & result)
{
    std::set<int> out;
    if (result.IsNull())
        return out;
    for (const BRepCheck_Status s : result->Status())
        out.insert(int(s));
    for (result->InitContextIterator(); result->MoreShapeInContext(); result->NextShapeInContext())
        for (const BRepCheck_Status s : result->StatusOnShape())
            out.insert(int(s));
    out.erase(int(BRepCheck_NoError));
    return out;
}

void addComplaints(oxCheckContext& c, const std::set<int>& found, const char* entity, size_t number, const gp_Pnt& at)
{
    if (found.empty())
        return;
    std::string text;
    for (int s : found)
        text += (text.empty() ? "" : "; ") +
                std::string(s >= 0 && size_t(s) < std::size(statusTexts) ? statusTexts[s] : "an unknown fault");
    c.add(C::INVALID_TOPOLOGY, double(found.size()), entity, number, at, text);
}

gp_Pnt middle(const TopoDS_Edge& edge)
{
    const BRepAdaptor_Curve curve(edge);
    return curve.Value(0.5 * (curve.FirstParameter() + curve.LastParameter()));
}

gp_Pnt faceCentre(const TopoDS_Face& face)
{
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    return props.CentreOfMass();
}

double edgeLength(const TopoDS_Edge& edge)
{
    if (BRep_Tool::Degenerated(edge) || !BRep_Tool::IsGeometric(edge))
        return 0;
    return GCPnts_AbscissaPoint::Length(BRepAdaptor_Curve(edge));
}

// The farthest a vertex of the edge lies from the end of the edge's curve it stands for.
double vertexGap(const TopoDS_Edge& edge)
{
    TopoDS_Vertex first, last;
    TopExp::Vertices(edge, first, last);
    const BRepAdaptor_Curve curve(edge);
    double gap = 0;
    if (!first.IsNull())
        gap = std::max(gap, BRep_Tool::Pnt(first).Distance(curve.Value(curve.FirstParameter())));
    if (!last.IsNull())
        gap = std::max(gap, BRep_Tool::Pnt(last).Distance(curve.Value(curve.LastParameter())));
    return gap;
}

// Why the face's boundary is collapsed: a wire of no length, or a boundary that encloses no area
// (narrower than Open CASCADE's confusion distance); empty when it is not.
std::string collapsed(const TopoDS_Face& face, double area, double perimeter, gp_Pnt& at)
{
    int number = 0;
    for (TopExp_Explorer w(face, TopAbs_WIRE); w.More(); w.Next())
    {
        ++number;
        double length = 0;
        for (TopExp_Explorer e(w.Current(), TopAbs_EDGE); e.More(); e.Next())
            length += edgeLength(TopoDS::Edge(e.Current()));
        TopExp_Explorer v(w.Current(), TopAbs_VERTEX);
        if (length > Precision::Confusion() || !v.More())
            continue;
        at = BRep_Tool::Pnt(TopoDS::Vertex(v.Current()));
        return "wire " + std::to_string(number) + " has no length";
    }
    if (number == 0 || 2 * std::abs(area) > Precision::Confusion() * perimeter)
        return std::string();
    return "its boundary of length " + oxCheckNumbers::text(perimeter) + " encloses no area";
}

// What the faces' step measures of one face, so that the faces are measured in parallel.
struct FaceMeasures
{
    double extent = 0, area = 0, perimeter = 0;
    gp_Pnt areaAt, boundaryAt;
    std::string collapsed; // why the boundary is collapsed, if it is
};

FaceMeasures measuresOf(const TopoDS_Face& face, bool collapsedToo)
{
    FaceMeasures out;
    Bnd_Box box;
    // The surface's box over the face's (u, v) range, without the tolerance a sewn part's faces
    // carry: as tight as the trim for tiny faces, and far cheaper than the optimal box on B-splines.
    BndLib_AddSurface::Add(BRepAdaptor_Surface(face, true), 0, box);
    out.extent = box.IsVoid() ? 0 : box.CornerMin().Distance(box.CornerMax());
    GProp_GProps area, boundary;
    // A relative precision of 1e-3 is ample for a width compared with a threshold.
    BRepGProp::SurfaceProperties(face, area, 1e-3);
    BRepGProp::LinearProperties(face, boundary);
    out.area = area.Mass();
    out.perimeter = boundary.Mass();
    out.areaAt = area.CentreOfMass();
    out.boundaryAt = boundary.CentreOfMass();
    if (collapsedToo)
        out.collapsed = collapsed(face, out.area, out.perimeter, out.boundaryAt);
    return out;
}

// Topology and geometry of the shape, checked as a whole: one finding per faulty sub-shape.
void validityOfFacesAndEdges(oxCheckContext& c, const BRepCheck_Analyzer& analyzer)
{
    const oxCadModel::Impl& d = c.d;
    for (int i = 1; i <= d.faces.Extent(); ++i)
    {
        const std::set<int> found = complaints(analyzer.Result(d.faces(i)));
        std::set<int> wires;
        for (TopExp_Explorer w(d.faces(i), TopAbs_WIRE); w.More(); w.Next())
            for (int s : complaints(analyzer.Result(w.Current())))
                wires.insert(s);
        wires.insert(found.begin(), found.end());
        if (!wires.empty())
            addComplaints(c, wires, "face", c.faceNumber(i), faceCentre(TopoDS::Face(d.faces(i))));
    }
    for (int i = 1; i <= d.edges.Extent(); ++i)
    {
        const TopoDS_Edge& edge = TopoDS::Edge(d.edges(i));
        std::set<int> found = complaints(analyzer.Result(edge));
        TopoDS_Vertex first, last;
        TopExp::Vertices(edge, first, last);
        for (const TopoDS_Vertex& v : {first, last})
            if (!v.IsNull())
                for (int s : complaints(analyzer.Result(v)))
                    found.insert(s);
        addComplaints(c, found, "edge", c.edgeNumber(i), BRep_Tool::IsGeometric(edge) ? middle(edge) : gp_Pnt());
    }
}
} // namespace

void oxCheckSteps::validity(oxCheckContext& c)
{
    if (!c.on(C::INVALID_TOPOLOGY))
        return;
    // Its sub-shapes checked in parallel; the results are the same as one thread's.
    const BRepCheck_Analyzer analyzer(c.d.shape, true, true);
    if (analyzer.IsValid())
        return;
    validityOfFacesAndEdges(c, analyzer);
    std::set<int> whole;
    for (const TopAbs_ShapeEnum kind : {TopAbs_SHELL, TopAbs_SOLID})
        for (TopExp_Explorer e(c.d.shape, kind); e.More(); e.Next())
            for (int s : complaints(analyzer.Result(e.Current())))
                whole.insert(s);
    addComplaints(c, whole, "part", 0, gp_Pnt());
}

void oxCheckSteps::edges(oxCheckContext& c)
{
    const oxCadModel::Impl& d = c.d;
    ShapeAnalysis_Edge analysis;
    for (int i = 1; i <= d.edges.Extent(); ++i)
    {
        const TopoDS_Edge& edge = TopoDS::Edge(d.edges(i));
        if (BRep_Tool::Degenerated(edge) || !BRep_Tool::IsGeometric(edge))
            continue;
        const gp_Pnt at = middle(edge);
        const double length = edgeLength(edge);
        if (c.on(C::TINY_EDGE) && length < c.threshold(C::TINY_EDGE))
            c.compare(C::TINY_EDGE, length, "edge", c.edgeNumber(i), at, "length", "<");
        if (c.on(C::EDGE_GAP))
        {
            double gap = 0;
            for (int face : d.edgeFaces[size_t(i)])
            {
                double deviation = 0;
                analysis.CheckSameParameter(edge, TopoDS::Face(d.faces(face + 1)), deviation);
                gap = std::max(gap, deviation);
            }
            if (gap > c.threshold(C::EDGE_GAP))
                c.compare(C::EDGE_GAP, gap, "edge", c.edgeNumber(i), at, "curve off its face by", ">");
        }
        const double vertex = c.on(C::VERTEX_GAP) ? vertexGap(edge) : 0;
        if (vertex > c.threshold(C::VERTEX_GAP))
            c.compare(C::VERTEX_GAP, vertex, "edge", c.edgeNumber(i), at, "end off its vertex by", ">");
    }
}

void oxCheckSteps::faces(oxCheckContext& c)
{
    if (!c.on(C::TINY_FACE) && !c.on(C::SLIVER_FACE) && !c.on(C::COLLAPSED_BOUNDARY))
        return;
    const oxCadModel::Impl& d = c.d;
    const size_t n = size_t(d.faces.Extent());
    std::vector<FaceMeasures> measures(n);
    tbb::parallel_for(size_t(0), n,
                      [&](size_t i)
                      { measures[i] = measuresOf(TopoDS::Face(d.faces(int(i) + 1)), c.on(C::COLLAPSED_BOUNDARY)); });
    for (int i = 1; i <= int(n); ++i)
    {
        const FaceMeasures& m = measures[size_t(i - 1)];
        if (!m.collapsed.empty())
        {
            c.add(C::COLLAPSED_BOUNDARY, 0, "face", c.faceNumber(i), m.boundaryAt, m.collapsed);
            continue; // neither tiny nor narrow: it has no extent to measure
        }
        if (c.on(C::TINY_FACE) && m.extent < c.threshold(C::TINY_FACE))
        {
            c.compare(C::TINY_FACE, m.extent, "face", c.faceNumber(i), m.areaAt, "largest extent", "<");
            continue; // a tiny face is narrow too: one finding says it
        }
        const double width = m.perimeter > 0 ? 2 * std::abs(m.area) / m.perimeter : 0;
        if (c.on(C::SLIVER_FACE) && width < c.threshold(C::SLIVER_FACE))
            c.compare(C::SLIVER_FACE, width, "face", c.faceNumber(i), m.areaAt, "width", "<");
    }
}

void oxCheckSteps::edgeUse(oxCheckContext& c)
{
    const oxCadModel::Impl& d = c.d;
    // Only a solid says the part is meant to be closed; a sheet's edges bound one face by design.
    const bool closed = TopExp_Explorer(d.shape, TopAbs_SOLID).More();
    if (c.on(C::FREE_EDGE) && closed)
        for (int edge : d.freeEdges)
            c.add(C::FREE_EDGE, 1, "edge", c.edgeNumber(edge), middle(TopoDS::Edge(d.edges(edge))),
                  "bounds one face only on a solid");
    if (!c.on(C::OVERUSED_EDGE))
        return;
    for (int i = 1; i <= d.edges.Extent(); ++i)
    {
        const size_t n = d.edgeFaces[size_t(i)].size();
        if (n >= 3)
            c.add(C::OVERUSED_EDGE, double(n), "edge", c.edgeNumber(i), middle(TopoDS::Edge(d.edges(i))),
                  "shared by " + std::to_string(n) + " faces > 2");
    }
}

namespace
{
// Open CASCADE's long algorithms ask their progress indicator whether to stop: this one says so
// once the check is cancelled, and shows nothing.
class CancelIndicator : public Message_ProgressIndicator
{
public:
    explicit CancelIndicator(const oxCheckContext& c) : _c(c) {}
    Standard_Boolean UserBreak() override { return _c.cancelled(); }
    void Show(const Message_ProgressScope&, const Standard_Boolean) override {}

private:
    const oxCheckContext& _c;
};
} // namespace

void oxCheckSteps::selfIntersection(oxCheckContext& c)
{
    if (!c.on(C::SELF_INTERSECTION))
        return;
    BOPAlgo_ArgumentAnalyzer analyzer;
    analyzer.SetShape1(c.d.shape);
    analyzer.SetRunParallel(true);
    analyzer.ArgumentTypeMode() = false;
    analyzer.SelfInterMode() = true;
    analyzer.SmallEdgeMode() = false;
    analyzer.RebuildFaceMode() = false;
    analyzer.TangentMode() = false;
    analyzer.MergeVertexMode() = false;
    analyzer.MergeEdgeMode() = false;
    analyzer.ContinuityMode() = false;
    analyzer.CurveOnSurfaceMode() = false;
    const Handle(CancelIndicator) indicator = new CancelIndicator(c);
    analyzer.Perform(indicator->Start());
    if (c.cancelled())
        return;
    std::set<std::pair<int, int>> seen; // (kind, index): a face crossing two others is one finding
    for (const BOPAlgo_CheckResult& r : analyzer.GetCheckResult())
    {
        if (r.GetCheckStatus() != BOPAlgo_SelfIntersect)
            continue;
        for (const TopoDS_Shape& s : r.GetFaultyShapes1())
        {
            const int face = s.ShapeType() == TopAbs_FACE ? c.d.faces.FindIndex(s) : 0;
            const int edge = s.ShapeType() == TopAbs_EDGE ? c.d.edges.FindIndex(s) : 0;
            if (face > 0 && seen.insert({0, face}).second)
                c.add(C::SELF_INTERSECTION, 1, "face", c.faceNumber(face), faceCentre(TopoDS::Face(s)),
                      "crosses another face or itself");
            else if (edge > 0 && seen.insert({1, edge}).second)
                c.add(C::SELF_INTERSECTION, 1, "edge", c.edgeNumber(edge), middle(TopoDS::Edge(s)),
                      "crosses another edge or face");
        }
    }
}
