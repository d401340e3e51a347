// The trims of a CAD model's faces: which (u, v) lie on a face, and the closest point of a face's
// boundary, for exact answers where a surface's own closest point or ray hit falls past its trim.
#include "oxCadShape.h"

#include <BRepClass_FaceClassifier.hxx>
#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

#include <algorithm>
#include <limits>
#include <cmath>

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

double segmentDistance(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& p)
{
    const gp_Vec ab(a, b), ap(a, p);
    const double length2 = ab.SquareMagnitude();
    const double t = length2 > 0 ? std::clamp(ap.Dot(ab) / length2, 0.0, 1.0) : 0.0;
    return p.Distance(a.Translated(ab * t));
}

// The point of the edge nearest to p, or false when none is nearer than within. The search starts
// on the nearest chord, not at the nearest sample: samples even in the parameter can lie far apart
// along a B-spline, and a point beside a long chord is nearer to an end of the edge than to either
// sample of that chord.
bool closestOnEdge(const oxCadModel::Impl::BoundaryEdge& b, const gp_Pnt& p, double within, gp_Pnt& c, double& t)
{
    size_t nearest = 0, chord = 0;
    double chordDistance = std::numeric_limits<double>::infinity();
    for (size_t k = 0; k < b.samples.size(); ++k)
    {
        if (b.samples[k].SquareDistance(p) < b.samples[nearest].SquareDistance(p))
            nearest = k;
        if (k + 1 < b.samples.size())
        {
            const double d = segmentDistance(b.samples[k], b.samples[k + 1], p);
            if (d < chordDistance)
            {
                chordDistance = d;
                chord = k;
            }
        }
    }
    const double sample = b.samples[nearest].Distance(p);
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
} // namespace

oxCadModel::Impl::~Impl() = default;
oxCadModel::Impl::Trim::Trim() = default;
oxCadModel::Impl::Trim::~Trim() = default;

const oxCadModel::Impl::Trim& oxCadModel::Impl::trim(size_t face) const
{
    Trim& trim = *_trims[face];
    std::call_once(trim.once,
                   [&]
                   {
                       const TopoDS_Face& f = TopoDS::Face(faces(int(face) + 1));
                       double u1, v1;
                       BRepTools::UVBounds(f, trim.u0, u1, trim.v0, v1);
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
                   });
    return trim;
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
