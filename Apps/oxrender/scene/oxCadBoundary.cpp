// The trims of a CAD model's faces: which (u, v) lie on a face, and the closest point of a face's
// boundary, for exact answers where a surface's own closest point or ray hit falls past its trim.
#include "oxCadShape.h"

#include <BRepClass_FaceClassifier.hxx>
#include <BndLib_Add2dCurve.hxx>
#include <Bnd_Box2d.hxx>
#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
// Samples along an edge: enough that the nearest one lies in the basin of the closest point.
constexpr int EdgeSamples = 48;

void addEdge(const TopoDS_Face& face, const TopoDS_Edge& edge, int index,
             std::vector<oxCadModel::Impl::BoundaryEdge>& out)
{
    if (BRep_Tool::Degenerated(edge) || BRep_Tool::IsClosed(edge, face))
        return;
    for (const auto& known : out)
        if (known.edge == index)
            return;
    oxCadModel::Impl::BoundaryEdge b;
    b.edge = index;
    b.curve = BRep_Tool::Curve(edge, b.first, b.last);
    if (b.curve.IsNull() || !(b.last > b.first))
        return;
    b.pcurve = BRep_Tool::CurveOnSurface(edge, face, b.pfirst, b.plast);
    b.tolerance = BRep_Tool::Tolerance(edge);
    for (int k = 0; k <= EdgeSamples; ++k)
    {
        const double t = b.first + (b.last - b.first) * k / EdgeSamples;
        b.parameters.push_back(t);
        b.samples.push_back(b.curve->Value(t));
        b.box.Add(b.samples.back());
    }
    // How far the curve bows out from the chords between samples, measured halfway and doubled.
    for (int k = 0; k < EdgeSamples; ++k)
    {
        const gp_Pnt& a = b.samples[size_t(k)];
        const gp_Pnt& c = b.samples[size_t(k) + 1];
        const gp_Pnt middle = b.curve->Value(0.5 * (b.parameters[size_t(k)] + b.parameters[size_t(k) + 1]));
        b.bow = std::max(b.bow, 2 * middle.Distance(gp_Pnt(0.5 * (a.XYZ() + c.XYZ()))));
    }
    b.box.Enlarge(b.bow);
    out.push_back(std::move(b));
}

double boxDistance2(const Bnd_Box& box, const gp_Pnt& p)
{
    if (box.IsVoid())
        return std::numeric_limits<double>::infinity();
    double x0, y0, z0, x1, y1, z1;
    box.Get(x0, y0, z0, x1, y1, z1);
    const double dx = std::max({x0 - p.X(), p.X() - x1, 0.0}), dy = std::max({y0 - p.Y(), p.Y() - y1, 0.0}),
                 dz = std::max({z0 - p.Z(), p.Z() - z1, 0.0});
    return dx * dx + dy * dy + dz * dz;
}

// The parameter in [lo, hi] where the curve comes closest to p, from t by Newton's method on the
// derivative of the squared distance, kept inside the bracket by bisection.
double closestParameter(const Geom_Curve& curve, const gp_Pnt& p, double t, double lo, double hi)
{
    for (int step = 0; step < 30; ++step)
    {
        gp_Pnt c;
        gp_Vec d1, d2;
        curve.D2(t, c, d1, d2);
        const gp_Vec r(p, c);
        const double f = r.Dot(d1), df = d1.Dot(d1) + r.Dot(d2);
        if (f < 0)
            lo = t;
        else
            hi = t;
        double next = df > 0 ? t - f / df : 0.5 * (lo + hi);
        if (!(next > lo && next < hi))
            next = 0.5 * (lo + hi);
        if (std::fabs(next - t) <= 1e-15 * (std::fabs(t) + std::fabs(hi - lo)) || hi - lo <= 0)
            return next;
        t = next;
    }
    return t;
}

double segmentDistance2(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& p)
{
    const gp_Vec ab(a, b), ap(a, p);
    const double length2 = ab.SquareMagnitude();
    const double t = length2 > 0 ? std::clamp(ap.Dot(ab) / length2, 0.0, 1.0) : 0.0;
    return p.SquareDistance(a.Translated(ab * t));
}

// The point of the edge nearest to p, or false when none is nearer than within. The search starts
// on the nearest chord, not at the nearest sample: samples even in the parameter can lie far apart
// along a B-spline, and a point beside a long chord is nearer to an end of the edge than to either
// sample of that chord.
bool closestOnEdge(const oxCadModel::Impl::BoundaryEdge& b, const gp_Pnt& p, double within, gp_Pnt& c, double& t)
{
    size_t nearest = 0, chord = 0;
    double sample2 = std::numeric_limits<double>::infinity(), chord2 = sample2;
    for (size_t k = 0; k < b.samples.size(); ++k)
    {
        const double d2 = b.samples[k].SquareDistance(p);
        if (d2 < sample2)
        {
            sample2 = d2;
            nearest = k;
        }
        if (k + 1 < b.samples.size())
        {
            const double c2 = segmentDistance2(b.samples[k], b.samples[k + 1], p);
            if (c2 < chord2)
            {
                chord2 = c2;
                chord = k;
            }
        }
    }
    const double sample = std::sqrt(sample2), chordDistance = std::sqrt(chord2);
    // The curve comes no nearer than its chords less their bow.
    if (std::min(sample, chordDistance) - b.bow > within)
        return false;
    const size_t last = b.parameters.size() - 1;
    const double lo = b.parameters[chord > 0 ? chord - 1 : 0], hi = b.parameters[std::min(chord + 2, last)];
    const size_t start = b.samples[chord].SquareDistance(p) <= b.samples[std::min(chord + 1, last)].SquareDistance(p)
                             ? chord
                             : std::min(chord + 1, last);
    try
    {
        t = closestParameter(*b.curve, p, b.parameters[start], lo, hi);
        c = b.curve->Value(t);
        if (c.Distance(p) <= sample)
            return true;
    }
    catch (const Standard_Failure&)
    {
    }
    t = b.parameters[nearest];
    c = b.samples[nearest];
    return true;
}
using Grid = oxCadModel::Impl::Trim::Grid;

// Marks the cells within half a cell of the curve between a and b, and of its copies moved by
// shifts, from the boxes of ever shorter pieces of it: a B-spline's box holds its poles, and so
// the piece. False for a box without bounds.
bool markCurve(const Handle(Geom2d_Curve) & curve, double a, double b, int depth, const std::vector<gp_Vec2d>& shifts,
               Grid& g)
{
    Bnd_Box2d box;
    BndLib_Add2dCurve::Add(curve, a, b, 0., box);
    if (box.IsVoid())
        return true;
    double x0, y0, x1, y1;
    box.Get(x0, y0, x1, y1);
    if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1)))
        return false;
    if (depth < 12 && (x1 - x0 > 2 * g.du || y1 - y0 > 2 * g.dv))
    {
        const double mid = 0.5 * (a + b);
        return markCurve(curve, a, mid, depth + 1, shifts, g) && markCurve(curve, mid, b, depth + 1, shifts, g);
    }
    // Cells wholly past the grid's edge are none of its own: a shifted box may miss the grid.
    const auto index = [](double x, double origin, double step)
    { return std::clamp(std::floor((x - origin) / step), -1.0, double(Grid::Cells)); };
    for (const gp_Vec2d& shift : shifts)
    {
        const int i0 = int(std::max(0.0, index(x0 + shift.X() - 0.5 * g.du, g.u0, g.du))),
                  i1 = int(std::min(Grid::Cells - 1.0, index(x1 + shift.X() + 0.5 * g.du, g.u0, g.du))),
                  j0 = int(std::max(0.0, index(y0 + shift.Y() - 0.5 * g.dv, g.v0, g.dv))),
                  j1 = int(std::min(Grid::Cells - 1.0, index(y1 + shift.Y() + 0.5 * g.dv, g.v0, g.dv)));
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i)
                g.cells[size_t(j * Grid::Cells + i)] = Grid::Crossed;
    }
    return true;
}

// Each run of side-by-side cells that no curve crosses lies on one side of every curve: the
// classifier's answer at one cell's centre holds for all of them.
void classifyRuns(BRepTopAdaptor_FClass2d& classifier, Grid& g)
{
    std::vector<bool> seen(g.cells.size());
    std::vector<int> run;
    for (int first = 0; first < int(g.cells.size()); ++first)
    {
        if (seen[size_t(first)] || g.cells[size_t(first)] == Grid::Crossed)
            continue;
        const gp_Pnt2d centre(g.u0 + (first % Grid::Cells + 0.5) * g.du, g.v0 + (first / Grid::Cells + 0.5) * g.dv);
        const Grid::State state = classifier.Perform(centre) != TopAbs_OUT ? Grid::In : Grid::Out;
        run.assign(1, first);
        seen[size_t(first)] = true;
        while (!run.empty())
        {
            const int c = run.back();
            run.pop_back();
            g.cells[size_t(c)] = state;
            const int i = c % Grid::Cells, j = c / Grid::Cells;
            for (const int n : {i > 0 ? c - 1 : -1, i + 1 < Grid::Cells ? c + 1 : -1, j > 0 ? c - Grid::Cells : -1,
                                j + 1 < Grid::Cells ? c + Grid::Cells : -1})
                if (n >= 0 && !seen[size_t(n)] && g.cells[size_t(n)] != Grid::Crossed)
                {
                    seen[size_t(n)] = true;
                    run.push_back(n);
                }
        }
    }
}

// Null where a curve of the boundary has no bounded box.
std::unique_ptr<Grid> makeGrid(const TopoDS_Face& face, const oxCadModel::Impl::Trim& trim)
{
    auto g = std::make_unique<Grid>();
    g->u0 = trim.u0;
    g->v0 = trim.v0;
    g->du = (trim.u1 - trim.u0) / Grid::Cells;
    g->dv = (trim.v1 - trim.v0) / Grid::Cells;
    if (!(g->du > 0 && g->dv > 0 && std::isfinite(g->du) && std::isfinite(g->dv)))
        return nullptr;
    g->cells.assign(size_t(Grid::Cells * Grid::Cells), Grid::Out);
    // The classifier finds a point on a periodic surface at any of its turns (a thread's face
    // winds round twice): the curves bound the runs at every turn too.
    const GeomAdaptor_Surface surface(BRep_Tool::Surface(face));
    const auto turns = [](bool periodic, double period, double extent)
    { return periodic && period > 0 ? int(std::ceil(extent / period)) : 0; };
    const int nu = turns(surface.IsUPeriodic(), surface.IsUPeriodic() ? surface.UPeriod() : 0, trim.u1 - trim.u0),
              nv = turns(surface.IsVPeriodic(), surface.IsVPeriodic() ? surface.VPeriod() : 0, trim.v1 - trim.v0);
    std::vector<gp_Vec2d> shifts;
    for (int ku = -nu; ku <= nu; ++ku)
        for (int kv = -nv; kv <= nv; ++kv)
            shifts.emplace_back(ku ? ku * surface.UPeriod() : 0.0, kv ? kv * surface.VPeriod() : 0.0);
    for (TopExp_Explorer it(face, TopAbs_EDGE); it.More(); it.Next())
    {
        double a, b;
        const Handle(Geom2d_Curve) curve = BRep_Tool::CurveOnSurface(TopoDS::Edge(it.Current()), face, a, b);
        if (curve.IsNull() || !markCurve(curve, a, b, 0, shifts, *g))
            return nullptr;
    }
    const std::lock_guard<std::mutex> lock(trim.classifying);
    classifyRuns(*trim.classifier, *g);
    return g;
}
} // namespace

int oxCadModel::Impl::Trim::Grid::cell(double u, double v) const
{
    if (cells.empty())
        return -1;
    const double i = std::floor((u - u0) / du), j = std::floor((v - v0) / dv);
    if (!(i >= 0 && i < Cells && j >= 0 && j < Cells))
        return -1;
    return int(j) * Cells + int(i);
}

oxCadModel::Impl::~Impl() = default;
oxCadModel::Impl::Trim::Trim() = default;
oxCadModel::Impl::Trim::~Trim() = default;

const oxCadModel::Impl::Trim& oxCadModel::Impl::trim(size_t face) const
{
    Trim& trim = *_trims[face];
    if (trim.made.load(std::memory_order_acquire))
        return trim;
    std::call_once(trim.once,
                   [&]
                   {
                       const TopoDS_Face& f = TopoDS::Face(faces(int(face) + 1));
                       BRepTools::UVBounds(f, trim.u0, trim.u1, trim.v0, trim.v1);
                       try
                       {
                           trim.classifier = std::make_unique<BRepTopAdaptor_FClass2d>(f, 1e-9);
                           for (TopExp_Explorer it(f, TopAbs_EDGE); it.More(); it.Next())
                           {
                               const TopoDS_Edge& edge = TopoDS::Edge(it.Current());
                               addEdge(f, edge, edges.FindIndex(edge), trim.edges);
                           }
                       }
                       catch (const Standard_Failure&)
                       {
                           trim.edges.clear();
                       }
                       trim.made.store(true, std::memory_order_release);
                   });
    return trim;
}

const oxCadModel::Impl::Trim::Grid* oxCadModel::Impl::trimGrid(size_t face, const Trim& t) const
{
    // A few hundred classifications cost about as much as the boxes of a boundary's pieces.
    constexpr int GridAfter = 256;
    if (t.gridTried.load(std::memory_order_acquire))
        return t.gridMade.get();
    if (t.asked.fetch_add(1, std::memory_order_relaxed) < GridAfter)
        return nullptr;
    std::call_once(t.gridOnce,
                   [&]
                   {
                       try
                       {
                           t.gridMade = makeGrid(TopoDS::Face(faces(int(face) + 1)), t);
                       }
                       catch (const Standard_Failure&)
                       {
                           t.gridMade.reset();
                       }
                       t.gridTried.store(true, std::memory_order_release);
                   });
    return t.gridMade.get();
}

bool oxCadModel::Impl::insideTrim(size_t face, double u, double v, const gp_Pnt& at) const
{
    if (face >= surfaces.size())
        return false;
    const Trim& t = trim(face);
    if (!t.classifier)
        return true; // nothing to test against: the surface's own (u, v) range
    const Geom_Surface& surface = *surfaces[face];
    // A periodic surface's (u, v) may have run past the seam.
    if (surface.IsUPeriodic())
        u = t.u0 + std::fmod(std::fmod(u - t.u0, surface.UPeriod()) + surface.UPeriod(), surface.UPeriod());
    if (surface.IsVPeriodic())
        v = t.v0 + std::fmod(std::fmod(v - t.v0, surface.VPeriod()) + surface.VPeriod(), surface.VPeriod());
    // Within an edge's tolerance of it, where a file's edges may lie apart from the surface's own
    // border, the classifier on the edges' own curves decides; its ON is the edge's. It goes first:
    // a point it finds on the edge (as a compare's samples along a boundary are) needs no other.
    for (const BoundaryEdge& b : t.edges)
    {
        const double reach = 2 * b.tolerance + 1e-9 * size;
        if (boxDistance2(b.box, at) > reach * reach)
            continue;
        double parameter;
        gp_Pnt c;
        if (closestOnEdge(b, at, reach, c, parameter) && c.SquareDistance(at) <= reach * reach)
        {
            if (BRepClass_FaceClassifier(TopoDS::Face(faces(int(face) + 1)), gp_Pnt2d(u, v), 1e-7).State() != TopAbs_IN)
                return false;
            break;
        }
    }
    if (const Trim::Grid* grid = trimGrid(face, t))
    {
        const int cell = grid->cell(u, v);
        if (cell >= 0 && grid->cells[size_t(cell)] != Trim::Grid::Crossed)
            return grid->cells[size_t(cell)] == Trim::Grid::In;
    }
    const std::lock_guard<std::mutex> lock(t.classifying);
    return t.classifier->Perform(gp_Pnt2d(u, v)) != TopAbs_OUT;
}

bool oxCadModel::Impl::closestOnBoundary(size_t face, const gp_Pnt& p, OnBoundary& out, double within,
                                         double tolerance) const
{
    if (face >= surfaces.size())
        return false;
    out = OnBoundary();
    out.distance2 = within * within;
    for (const BoundaryEdge& b : trim(face).edges)
    {
        if (b.tolerance < tolerance || boxDistance2(b.box, p) >= out.distance2)
            continue;
        double t;
        gp_Pnt c;
        if (!closestOnEdge(b, p, std::sqrt(out.distance2), c, t))
            continue;
        const double d2 = c.SquareDistance(p);
        if (d2 < out.distance2)
        {
            const double end = 1e-9 * (b.last - b.first);
            out.point = c;
            out.edge = b.edge;
            out.parameter = t;
            out.atVertex = t <= b.first + end || t >= b.last - end;
            out.distance2 = d2;
        }
    }
    return out.edge != 0;
}

bool oxCadModel::Impl::uvOnEdge(size_t face, int edge, double parameter, double& u, double& v) const
{
    if (face >= surfaces.size())
        return false;
    for (const BoundaryEdge& b : trim(face).edges)
        if (b.edge == edge && !b.pcurve.IsNull())
        {
            // The edge's curve and its curve on the face share their parameter (BRep's SameParameter)
            // up to the range, which a few files scale.
            const double s = (parameter - b.first) / (b.last - b.first);
            const gp_Pnt2d uv = b.pcurve->Value(b.pfirst + s * (b.plast - b.pfirst));
            u = uv.X();
            v = uv.Y();
            return true;
        }
    return false;
}
