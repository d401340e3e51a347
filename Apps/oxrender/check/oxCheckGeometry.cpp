#include "oxCheckModel.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Vertex.hxx>

#include <tbb/parallel_for.h>

#include <cmath>
#include <limits>

namespace
{
typedef oxCheckCriterion C;

// Kinks above this are edges drawn sharp on purpose, not tangent faces that missed.
constexpr double SharpEdgeDegrees = 10;
// Samples of a face's (u, v) box along each side for its smallest radius, and for folds.
constexpr int RadiusSamples = 24;

struct Radius
{
    double radius = std::numeric_limits<double>::infinity();
    gp_Pnt at;
};

// The radius of an analytic surface, which holds everywhere on it; false for the others.
bool analyticRadius(const GeomAdaptor_Surface& s, double& radius)
{
    switch (s.GetType())
    {
    case GeomAbs_Plane:
        radius = std::numeric_limits<double>::infinity();
        return true;
    case GeomAbs_Cylinder:
        radius = s.Cylinder().Radius();
        return true;
    case GeomAbs_Sphere:
        radius = s.Sphere().Radius();
        return true;
    case GeomAbs_Torus:
        radius = s.Torus().MinorRadius();
        return true;
    default:
        return false;
    }
}

// One sample of a face's grid over its (u, v) box, which the radius and the folds both read.
struct Sample
{
    bool valid = false;
    double u = 0, v = 0;
    gp_Pnt p;
    gp_Vec n;
    double radius = std::numeric_limits<double>::infinity();
};

std::vector<Sample> gridOf(const oxCadModel::Impl& d, size_t face, bool curvature)
{
    double u0, u1, v0, v1;
    BRepTools::UVBounds(TopoDS::Face(d.faces(int(face) + 1)), u0, u1, v0, v1);
    constexpr int N = RadiusSamples;
    std::vector<Sample> grid(N * N);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
        {
            Sample& s = grid[size_t(i * N + j)];
            s.u = u0 + (u1 - u0) * (i + 0.5) / N;
            s.v = v0 + (v1 - v0) * (j + 0.5) / N;
            double kMax = 0, kMin = 0;
            s.valid = d.evaluate(face, s.u, s.v, s.p, s.n, curvature ? &kMax : nullptr, curvature ? &kMin : nullptr);
            const double k = std::max(std::abs(kMax), std::abs(kMin));
            if (s.valid && k > 0)
                s.radius = 1 / k;
        }
    return grid;
}

// The smallest radius of curvature of the grid's samples that lie inside the trim, where it is
// below threshold (else none). The trim is asked of the smallest radii first, so that a face whose
// radii all exceed the threshold costs no trim test.
Radius smallestRadius(const oxCadModel::Impl& d, size_t face, const std::vector<Sample>& grid, double threshold)
{
    std::vector<size_t> order(grid.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return grid[a].radius < grid[b].radius; });
    for (size_t i : order)
    {
        const Sample& s = grid[i];
        if (!(s.radius < threshold))
            break;
        if (d.insideTrim(face, s.u, s.v, s.p))
            return {s.radius, s.p};
    }
    return Radius();
}

// Where the face's normal reverses: two neighbouring samples of the grid, both inside the trim,
// whose normals are more than 90 degrees apart; of those the pair nearest the grid's centre. The
// trim is asked only of reversed pairs, so that a clean face costs its normals alone.
bool foldOf(const oxCadModel::Impl& d, size_t face, const std::vector<Sample>& grid, gp_Pnt& at)
{
    constexpr int N = RadiusSamples;
    double nearest = std::numeric_limits<double>::infinity();
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            for (const auto& step : {std::make_pair(1, 0), std::make_pair(0, 1)})
            {
                if (i + step.first >= N || j + step.second >= N)
                    continue;
                const Sample& a = grid[size_t(i * N + j)];
                const Sample& b = grid[size_t((i + step.first) * N + j + step.second)];
                const double fromCentre =
                    std::abs(i + 0.5 * step.first - 0.5 * N) + std::abs(j + 0.5 * step.second - 0.5 * N);
                if (!a.valid || !b.valid || a.n.Dot(b.n) >= 0 || fromCentre >= nearest ||
                    !d.insideTrim(face, a.u, a.v, a.p) || !d.insideTrim(face, b.u, b.v, b.p))
                    continue;
                nearest = fromCentre;
                at = a.p.Translated(0.5 * gp_Vec(a.p, b.p));
            }
    return nearest < std::numeric_limits<double>::infinity();
}

// A face's smallest radius (below radiusBelow) and fold, from one grid of samples. Analytic
// surfaces have their radius exactly and cannot fold, nor can cones.
struct Survey
{
    Radius smallest;
    bool folded = false;
    gp_Pnt foldAt;
};

Survey surveyOf(const oxCadModel::Impl& d, size_t face, bool radii, double radiusBelow, bool folds)
{
    Survey out;
    const GeomAdaptor_Surface surface(d.surfaces[face]);
    double analytic = 0;
    const bool exact = analyticRadius(surface, analytic);
    if (radii && exact && analytic < radiusBelow)
    {
        // The grid's middle sample stands for where.
        double u0, u1, v0, v1;
        BRepTools::UVBounds(TopoDS::Face(d.faces(int(face) + 1)), u0, u1, v0, v1);
        const int middle = RadiusSamples / 2;
        out.smallest = {analytic, surface.Value(u0 + (u1 - u0) * (middle + 0.5) / RadiusSamples,
                                                v0 + (v1 - v0) * (middle + 0.5) / RadiusSamples)};
    }
    const bool radiusOfGrid = radii && !exact, foldOfGrid = folds && !exact && surface.GetType() != GeomAbs_Cone;
    if (!radiusOfGrid && !foldOfGrid)
        return out;
    const std::vector<Sample> grid = gridOf(d, face, radiusOfGrid);
    if (radiusOfGrid)
        out.smallest = smallestRadius(d, face, grid, radiusBelow);
    if (foldOfGrid)
        out.folded = foldOf(d, face, grid, out.foldAt);
    return out;
}

// The shortest distance in space between two neighbouring knots of one direction: each span
// measured along three isolines, its longest taken, so that a span pinched at a pole alone is not short.
double closestKnots(const Geom_BSplineSurface& s, bool alongU, gp_Pnt& at)
{
    double u0, u1, v0, v1;
    s.Bounds(u0, u1, v0, v1);
    const int n = alongU ? s.NbUKnots() : s.NbVKnots();
    double closest = std::numeric_limits<double>::infinity();
    for (int k = 1; k < n; ++k)
    {
        const double a = alongU ? s.UKnot(k) : s.VKnot(k), b = alongU ? s.UKnot(k + 1) : s.VKnot(k + 1);
        double span = 0;
        gp_Pnt middle;
        for (double t : {0.0, 0.5, 1.0})
        {
            const double across = alongU ? v0 + t * (v1 - v0) : u0 + t * (u1 - u0);
            const gp_Pnt p = alongU ? s.Value(a, across) : s.Value(across, a);
            const gp_Pnt q = alongU ? s.Value(b, across) : s.Value(across, b);
            span = std::max(span, p.Distance(q));
            if (t == 0.5)
                middle = p.Translated(0.5 * gp_Vec(p, q));
        }
        if (span < closest)
        {
            closest = span;
            at = middle;
        }
    }
    return closest;
}

// The edge's unit tangent at the end that stands on vertex, pointing into the edge; false for a
// closed edge or where the tangent vanishes.
bool tangentAway(const TopoDS_Edge& edge, const gp_Pnt& vertex, gp_Vec& t)
{
    TopoDS_Vertex first, last;
    TopExp::Vertices(edge, first, last);
    if (first.IsNull() || last.IsNull() || first.IsSame(last))
        return false;
    const BRepAdaptor_Curve curve(edge);
    const bool atFirst =
        vertex.Distance(curve.Value(curve.FirstParameter())) <= vertex.Distance(curve.Value(curve.LastParameter()));
    gp_Pnt p;
    curve.D1(atFirst ? curve.FirstParameter() : curve.LastParameter(), p, t);
    if (t.Magnitude() < 1e-12)
        return false;
    t.Normalize();
    if (!atFirst)
        t.Reverse();
    return true;
}

// The face's corners: vertices where exactly two of its edges meet, with the angle between them.
void faceCorners(oxCheckContext& c, int face)
{
    const double least = c.threshold(C::CORNER_ANGLE);
    TopTools_IndexedDataMapOfShapeListOfShape around;
    TopExp::MapShapesAndUniqueAncestors(c.d.faces(face), TopAbs_VERTEX, TopAbs_EDGE, around);
    for (int i = 1; i <= around.Extent(); ++i)
    {
        std::vector<TopoDS_Edge> edges;
        for (const TopoDS_Shape& e : around(i))
            if (!BRep_Tool::Degenerated(TopoDS::Edge(e)))
                edges.push_back(TopoDS::Edge(e));
        const gp_Pnt p = BRep_Tool::Pnt(TopoDS::Vertex(around.FindKey(i)));
        gp_Vec a, b;
        if (edges.size() != 2 || !tangentAway(edges[0], p, a) || !tangentAway(edges[1], p, b))
            continue;
        const double angle = a.Angle(b) * 180 / M_PI;
        // A boundary may run on tangentially through a vertex (a fillet's edge into a straight one);
        // only a straight line split for nothing is a corner that says nothing.
        const bool straight = BRepAdaptor_Curve(edges[0]).GetType() == GeomAbs_Line &&
                              BRepAdaptor_Curve(edges[1]).GetType() == GeomAbs_Line;
        if (angle >= least && (angle <= 180 - least || !straight))
            continue;
        const std::string bound =
            angle < least ? "< " + oxCheckNumbers::text(least) : "> " + oxCheckNumbers::text(180 - least);
        c.add(C::CORNER_ANGLE, angle, "face", c.faceNumber(face), p,
              "corner angle " + oxCheckNumbers::text(angle) + " degrees " + bound + " degrees at " +
                  oxCheckNumbers::point(p));
    }
}
} // namespace

void oxCheckSteps::continuity(oxCheckContext& c)
{
    if (!c.on(C::G1_BREAK) && !c.on(C::G2_BREAK) && !c.on(C::G3_BREAK))
        return;
    const double g1 = c.threshold(C::G1_BREAK), g2 = c.threshold(C::G2_BREAK);
    for (const oxEdgeContinuity& e : c.model.continuity(oxContinuityTolerances()))
    {
        if (e.continuity == oxEdgeContinuity::Open || e.polyline.empty())
            continue;
        const osg::Pnt3f& m = e.polyline[e.polyline.size() / 2];
        const gp_Pnt at(m[0], m[1], m[2]);
        const int edge = c.d.shared[e.edge].edge;
        if (c.on(C::G1_BREAK) && e.g1 > g1 && e.g1 < SharpEdgeDegrees)
            c.compare(C::G1_BREAK, e.g1, "edge", c.edgeNumber(edge), at, "angle between the normals", ">");
        else if (c.on(C::G2_BREAK) && e.g1 <= g1 && e.g2 > g2)
            c.compare(C::G2_BREAK, e.g2, "edge", c.edgeNumber(edge), at, "curvature mismatch", ">");
        else if (c.on(C::G3_BREAK) && e.g1 <= g1 && e.g2 <= g2 && e.g3 > c.threshold(C::G3_BREAK))
            c.compare(C::G3_BREAK, e.g3, "edge", c.edgeNumber(edge), at, "mismatch of the curvature's rate of change",
                      ">");
    }
}

void oxCheckSteps::surfaces(oxCheckContext& c)
{
    const bool radii = c.on(C::SMALL_RADIUS), folds = c.on(C::FOLDED_NORMAL);
    if (!radii && !folds)
        return;
    const double least = c.threshold(C::SMALL_RADIUS);
    const size_t n = size_t(c.d.faces.Extent());
    std::vector<Survey> surveys(n);
    tbb::parallel_for(size_t(0), n, [&](size_t face) { surveys[face] = surveyOf(c.d, face, radii, least, folds); });
    for (size_t face = 0; face < n; ++face)
    {
        const Survey& s = surveys[face];
        const size_t number = c.faceNumber(int(face) + 1);
        if (s.smallest.radius < least)
            c.compare(C::SMALL_RADIUS, s.smallest.radius, "face", number, s.smallest.at, "radius", "<");
        if (s.folded)
            c.add(C::FOLDED_NORMAL, 1, "face", number, s.foldAt,
                  "the normal turns over inside the face near " + oxCheckNumbers::point(s.foldAt));
    }
}

void oxCheckSteps::bsplines(oxCheckContext& c)
{
    if (!c.on(C::CLOSE_KNOTS) && !c.on(C::HIGH_DEGREE))
        return;
    for (size_t face = 0; face < c.d.surfaces.size(); ++face)
    {
        const GeomAdaptor_Surface adaptor(c.d.surfaces[face]);
        if (adaptor.GetType() != GeomAbs_BSplineSurface)
            continue;
        const Handle(Geom_BSplineSurface) s = adaptor.BSpline();
        const int number = int(face) + 1;
        double u0, u1, v0, v1;
        s->Bounds(u0, u1, v0, v1);
        const gp_Pnt centre = s->Value(0.5 * (u0 + u1), 0.5 * (v0 + v1));
        const int degree = std::max(s->UDegree(), s->VDegree());
        if (c.on(C::HIGH_DEGREE) && degree > c.threshold(C::HIGH_DEGREE))
            c.compare(C::HIGH_DEGREE, degree, "face", c.faceNumber(number), centre, "degree", ">");
        if (!c.on(C::CLOSE_KNOTS))
            continue;
        gp_Pnt atU, atV;
        const double alongU = closestKnots(*s, true, atU), alongV = closestKnots(*s, false, atV);
        const double closest = std::min(alongU, alongV);
        if (closest < c.threshold(C::CLOSE_KNOTS))
            c.compare(C::CLOSE_KNOTS, closest, "face", c.faceNumber(number), alongU <= alongV ? atU : atV,
                      "knots apart by", "<");
    }
}

void oxCheckSteps::corners(oxCheckContext& c)
{
    if (!c.on(C::CORNER_ANGLE))
        return;
    for (int face = 1; face <= c.d.faces.Extent(); ++face)
        faceCorners(c, face);
}
