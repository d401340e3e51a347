#include "oxCadShape.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepBndLib.hxx>
#include <BRep_Tool.hxx>
#include <BinTools.hxx>
#include <Bnd_Box.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <Geom2d_Curve.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

#include <algorithm>
#include <cmath>
#include <sstream>

oxCadModel::Impl::Impl(const TopoDS_Shape& s) : shape(s)
{
    TopExp::MapShapes(shape, TopAbs_FACE, faces);
    TopExp::MapShapes(shape, TopAbs_EDGE, edges);
    TopExp::MapShapes(shape, TopAbs_SOLID, solids);
    surfaces.reserve(size_t(faces.Extent()));
    for (int i = 1; i <= faces.Extent(); ++i)
    {
        const TopoDS_Face& face = TopoDS::Face(faces(i));
        surfaces.push_back(BRep_Tool::Surface(face));
        reversed.push_back(face.Orientation() == TopAbs_REVERSED);
    }
    for (int i = 0; i < faces.Extent(); ++i)
        _trims.push_back(std::make_unique<Trim>());
    edgeFaces.resize(size_t(edges.Extent()) + 1);
    TopTools_IndexedDataMapOfShapeListOfShape ancestors;
    TopExp::MapShapesAndUniqueAncestors(shape, TopAbs_EDGE, TopAbs_FACE, ancestors);
    for (int i = 1; i <= ancestors.Extent(); ++i)
    {
        const TopoDS_Edge& edge = TopoDS::Edge(ancestors.FindKey(i));
        if (BRep_Tool::Degenerated(edge))
            continue;
        std::vector<int> around;
        for (const TopoDS_Shape& f : ancestors(i))
        {
            const int index = faces.FindIndex(f);
            if (index > 0 && std::find(around.begin(), around.end(), index) == around.end())
                around.push_back(index);
        }
        std::vector<int>& of = edgeFaces[size_t(edges.FindIndex(edge))];
        for (int index : around)
            of.push_back(index - 1);
        if (around.size() >= 2)
            shared.push_back({edges.FindIndex(edge), {around[0], around[1]}});
        else if (around.size() == 1 && !BRep_Tool::IsClosed(edge, TopoDS::Face(faces(around[0]))))
            freeEdges.push_back(edges.FindIndex(edge));
    }
    Bnd_Box box;
    BRepBndLib::Add(shape, box, false);
    if (!box.IsVoid())
        size = box.CornerMin().Distance(box.CornerMax());
}

bool oxCadModel::Impl::evaluate(size_t face, double u, double v, gp_Pnt& point, gp_Vec& normal, double* kMax,
                                double* kMin) const
{
    if (face >= surfaces.size())
        return false;
    const Geom_Surface& surface = *surfaces[face];
    gp_Vec du, dv, duu, dvv, duv;
    try
    {
        if (kMax)
            surface.D2(u, v, point, du, dv, duu, dvv, duv);
        else
            surface.D1(u, v, point, du, dv);
    }
    catch (const Standard_Failure&)
    {
        return false;
    }
    normal = du.Crossed(dv);
    const double length = normal.Magnitude();
    if (!(length > 1e-12 * std::max(1.0, du.Magnitude() * dv.Magnitude())))
        return false;
    normal /= reversed[face] ? -length : length;
    if (!kMax)
        return true;
    // Principal curvatures from the two fundamental forms; positive where the surface bends away
    // from its normal, hence the sign.
    const double E = du.Dot(du), F = du.Dot(dv), G = dv.Dot(dv);
    const double L = duu.Dot(normal), M = duv.Dot(normal), N = dvv.Dot(normal);
    const double det = E * G - F * F;
    const double K = (L * N - M * M) / det, H = (E * N - 2 * F * M + G * L) / (2 * det);
    const double root = std::sqrt(std::max(0.0, H * H - K));
    *kMax = -H + root;
    *kMin = -H - root;
    return true;
}

oxCadModel::oxCadModel(std::unique_ptr<Impl> d) : _d(std::move(d)) {}

oxCadModel::~oxCadModel() = default;

std::shared_ptr<oxCadModel> oxCadModel::fromBrep(const std::string& brep, std::string& error)
{
    try
    {
        std::istringstream in(brep);
        TopoDS_Shape shape;
        BinTools::Read(shape, in);
        if (shape.IsNull())
        {
            error = "the B-rep data holds no shape";
            return nullptr;
        }
        return std::shared_ptr<oxCadModel>(new oxCadModel(std::make_unique<Impl>(shape)));
    }
    catch (const Standard_Failure& e)
    {
        error = std::string("the B-rep data does not parse: ") + e.GetMessageString();
        return nullptr;
    }
}

size_t oxCadModel::solidCount() const
{
    return size_t(_d->solids.Extent());
}

const std::vector<oxCadValidationProps>& oxCadModel::validationProps() const
{
    return _d->props;
}

bool oxCadModel::setValidationProps(std::vector<oxCadValidationProps> props)
{
    for (const oxCadValidationProps& p : props)
        for (auto [indices, count] : {std::make_pair(&p.solids, solidCount()), std::make_pair(&p.faces, faceCount())})
            for (size_t i : *indices)
                if (i >= count)
                    return false;
    _d->props = std::move(props);
    return true;
}

size_t oxCadModel::faceCount() const
{
    return size_t(_d->faces.Extent());
}

size_t oxCadModel::sharedEdgeCount() const
{
    return _d->shared.size();
}

size_t oxCadModel::freeEdgeCount() const
{
    return _d->freeEdges.size();
}

double oxCadModel::size() const
{
    return _d->size;
}

bool oxCadModel::normalAt(size_t face, double u, double v, float n[3]) const
{
    gp_Pnt p;
    gp_Vec normal;
    if (!_d->evaluate(face, u, v, p, normal, nullptr, nullptr))
        return false;
    n[0] = float(normal.X());
    n[1] = float(normal.Y());
    n[2] = float(normal.Z());
    return true;
}

bool oxCadModel::curvatureAt(size_t face, double u, double v, float n[3], float& kMax, float& kMin) const
{
    gp_Pnt p;
    gp_Vec normal;
    double k1 = 0, k2 = 0;
    if (!_d->evaluate(face, u, v, p, normal, &k1, &k2))
        return false;
    n[0] = float(normal.X());
    n[1] = float(normal.Y());
    n[2] = float(normal.Z());
    kMax = float(k1);
    kMin = float(k2);
    return true;
}

namespace
{
void toFloats(const gp_XYZ& v, float out[3])
{
    out[0] = float(v.X());
    out[1] = float(v.Y());
    out[2] = float(v.Z());
}
} // namespace

bool oxCadModel::rayHit(size_t& face, double u, double v, const float hit[3], const float direction[3], float point[3],
                        float n[3], float* kMax, float* kMin, const oxCadRayOptions& options) const
{
    if (face >= _d->surfaces.size())
        return false;
    const Geom_Surface& surface = *_d->surfaces[face];
    gp_Pnt s;
    gp_Vec su, sv;
    try
    {
        surface.D1(u, v, s, su, sv);
    }
    catch (const Standard_Failure&)
    {
        return false;
    }
    const gp_Pnt from(hit[0], hit[1], hit[2]);
    const gp_Vec d(direction[0], direction[1], direction[2]);
    gp_Vec step;
    if (_d->rayStep(surface, s, su, sv, from, d, u, v, step))
    {
        if (options.nearEdge && !_d->insideTrim(face, u, v, s.Translated(step)) &&
            _d->rayAcrossEdge(face, from, d, u, v))
            return rayHit(face, u, v, hit, direction, point, n, kMax, kMin);
        // A step shorter than this turns the normal by less than 1e-4 radians (0.006 degrees).
        gp_Vec normal = su.Crossed(sv);
        const double length = normal.Magnitude();
        if (!kMax && step.Magnitude() * options.curvatureBound < 1e-4 &&
            length > 1e-12 * su.Magnitude() * sv.Magnitude())
        {
            normal /= _d->reversed[face] ? -length : length;
            toFloats(s.Translated(step).XYZ(), point);
            toFloats(normal.XYZ(), n);
            return true;
        }
    }
    gp_Pnt q;
    gp_Vec normal;
    double k1 = 0, k2 = 0;
    if (!_d->evaluate(face, u, v, q, normal, kMax ? &k1 : nullptr, kMax ? &k2 : nullptr))
        return false;
    toFloats(q.XYZ(), point);
    toFloats(normal.XYZ(), n);
    if (kMax)
    {
        *kMax = float(k1);
        *kMin = float(k2);
    }
    return true;
}

bool oxCadModel::Impl::rayStep(const Geom_Surface& surface, const gp_Pnt& s, const gp_Vec& su, const gp_Vec& sv,
                               const gp_Pnt& hit, const gp_Vec& d, double& u, double& v, gp_Vec& step)
{
    // S + Su du + Sv dv = hit + d dt, by Cramer's rule; skipped where the ray grazes the surface.
    const gp_Vec r(s, hit);
    const double det = su.Dot(sv.Crossed(-d));
    if (!(std::fabs(det) > 1e-3 * su.Magnitude() * sv.Magnitude()))
        return false;
    double du = r.Dot(sv.Crossed(-d)) / det, dv = su.Dot(r.Crossed(-d)) / det;
    // Near a pole the (u, v) interpolated over a triangle may be far off and the step long: it
    // must not leave the surface's domain, past which a sphere's normal turns inwards.
    double u1, u2, v1, v2;
    surface.Bounds(u1, u2, v1, v2);
    if (!surface.IsUPeriodic())
        du = std::clamp(u + du, u1, u2) - u;
    if (!surface.IsVPeriodic())
        dv = std::clamp(v + dv, v1, v2) - v;
    u += du;
    v += dv;
    step = su * du + sv * dv;
    return true;
}

bool oxCadModel::Impl::rayAcrossEdge(size_t& face, const gp_Pnt& hit, const gp_Vec& d, double& u, double& v) const
{
    OnBoundary edge;
    if (!closestOnBoundary(face, hit, edge))
        return false;
    for (int other : edgeFaces[size_t(edge.edge)])
    {
        double a, b;
        if (size_t(other) == face || !uvOnEdge(size_t(other), edge.edge, edge.parameter, a, b))
            continue;
        // Newton's method along the ray from the edge's point on that face.
        const Geom_Surface& surface = *surfaces[size_t(other)];
        gp_Pnt s;
        gp_Vec su, sv, step;
        bool met = false;
        try
        {
            for (int k = 0; k < 8; ++k)
            {
                surface.D1(a, b, s, su, sv);
                if (!rayStep(surface, s, su, sv, hit, d, a, b, step))
                    break;
                // Hit here: the step moves the point by far less than the tessellation's precision.
                if ((met = step.SquareMagnitude() <= 1e-20 * size * size))
                    break;
            }
            if (met)
                s = surface.Value(a, b);
        }
        catch (const Standard_Failure&)
        {
            met = false;
        }
        if (met && insideTrim(size_t(other), a, b, s))
        {
            face = size_t(other);
            u = a;
            v = b;
            return true;
        }
    }
    return false;
}

const char* oxEdgeContinuity::className(Class c)
{
    switch (c)
    {
    case G3:
        return "G3";
    case G2:
        return "G2";
    case G1:
        return "G1";
    case G0:
        return "G0";
    case Open:
    default:
        return "open";
    }
}

namespace
{
// The edge's orientation as the face's boundary runs, the face's own orientation included.
TopAbs_Orientation orientationIn(const TopoDS_Shape& face, const TopoDS_Shape& edge)
{
    for (TopExp_Explorer it(face, TopAbs_EDGE); it.More(); it.Next())
        if (it.Current().IsSame(edge))
            return it.Current().Orientation();
    return TopAbs_FORWARD;
}

// The (u, v) step (a, b) whose tangent a du + b dv is d projected onto the tangent plane; false
// where du and dv are parallel.
bool uvStep(const gp_Vec& du, const gp_Vec& dv, const gp_Vec& d, double& a, double& b)
{
    const double E = du.Dot(du), F = du.Dot(dv), G = dv.Dot(dv);
    const double det = E * G - F * F;
    if (!(std::fabs(det) > 1e-300))
        return false;
    const double bu = d.Dot(du), bv = d.Dot(dv);
    a = (G * bu - F * bv) / det;
    b = (E * bv - F * bu) / det;
    return true;
}

// Normal curvature of a surface in the tangent direction nearest to d, in oxPrincipalCurvatures'
// sign convention for the oriented normal n.
double normalCurvature(const Geom_Surface& surface, double u, double v, const gp_Vec& n, const gp_Vec& d)
{
    gp_Pnt p;
    gp_Vec du, dv, duu, dvv, duv;
    surface.D2(u, v, p, du, dv, duu, dvv, duv);
    double a = 0, b = 0;
    if (!uvStep(du, dv, d, a, b))
        return 0;
    const double first = (a * du + b * dv).SquareMagnitude();
    if (!(first > 0))
        return 0;
    const double second = a * a * duu.Dot(n) + 2 * a * b * duv.Dot(n) + b * b * dvv.Dot(n);
    return -second / first;
}

// How fast the normal curvature in the tangent direction nearest to d changes when one walks
// along d on the geodesic through (u, v), per unit length and in normalCurvature's convention.
// The straight (u, v) line along d is such a walk but for its geodesic curvature, whose turning
// of the direction is taken out.
double curvatureSlope(const Geom_Surface& surface, double u, double v, const gp_Vec& n, const gp_Vec& d)
{
    gp_Pnt p;
    gp_Vec su, sv, suu, svv, suv, suuu, svvv, suuv, suvv;
    surface.D3(u, v, p, su, sv, suu, svv, suv, suuu, svvv, suuv, suvv);
    double a = 0, b = 0;
    if (!uvStep(su, sv, d, a, b))
        return 0;
    const double E = su.Dot(su), F = su.Dot(sv), G = sv.Dot(sv), det = E * G - F * F;
    // The (u, v) line's first three derivatives in space, and the normal's first (Weingarten).
    const gp_Vec c1 = a * su + b * sv;
    const gp_Vec c2 = a * a * suu + 2 * a * b * suv + b * b * svv;
    const gp_Vec c3 = a * a * a * suuu + 3 * a * a * b * suuv + 3 * a * b * b * suvv + b * b * b * svvv;
    const double L = suu.Dot(n), M = suv.Dot(n), N = svv.Dot(n);
    const gp_Vec nu = ((F * M - G * L) * su + (F * L - E * M) * sv) / det;
    const gp_Vec nv = ((F * N - G * M) * su + (F * M - E * N) * sv) / det;
    const gp_Vec n1 = a * nu + b * nv;
    const double w = c1.Dot(c1);
    if (!(w > 0))
        return 0;
    const double speed = std::sqrt(w);
    const double h = c2.Dot(n), dh = c3.Dot(n) + c2.Dot(n1);
    const double alongLine = (dh * w - 2 * h * c1.Dot(c2)) / (w * w * speed);
    const gp_Vec side = n.Crossed(c1);
    const double geodesic = c2.Dot(side) / (w * speed);
    // The second fundamental form of the direction with its perpendicular, which the turning feeds.
    const double twist = -n1.Dot(side) / w;
    return -(alongLine - 2 * geodesic * twist);
}

// One face's side of a sample on a shared edge.
struct EdgeSide
{
    const Geom_Surface& surface;
    gp_Pnt2d uv;
    gp_Vec normal; // turned as the first face's
};

// The curvature terms of one sample: both faces' normal curvatures across the edge (G2) and their
// rates of change (G3), each as a relative mismatch where not both are flat against the model's size.
void compareCurvatures(const EdgeSide& one, const EdgeSide& two, const gp_Vec& across, double size, oxEdgeContinuity& c)
{
    // Curvatures this small against the model's size are flat; their ratio is noise. A rate of
    // change is a curvature per length, hence the size once more.
    const double flat = 1e-6 / std::max(size, 1e-12), flatSlope = flat / std::max(size, 1e-12);
    const double k1 = normalCurvature(one.surface, one.uv.X(), one.uv.Y(), one.normal, across);
    const double k2 = normalCurvature(two.surface, two.uv.X(), two.uv.Y(), two.normal, across);
    const double difference = std::fabs(k1 - k2), sum = std::fabs(k1) + std::fabs(k2);
    c.g2abs = std::max(c.g2abs, difference);
    c.g2 = std::max(c.g2, sum > flat ? difference / sum : 0.0);
    const double s1 = curvatureSlope(one.surface, one.uv.X(), one.uv.Y(), one.normal, across);
    const double s2 = curvatureSlope(two.surface, two.uv.X(), two.uv.Y(), two.normal, across);
    const double slopes = std::fabs(s1) + std::fabs(s2);
    c.g3 = std::max(c.g3, slopes > flatSlope ? std::fabs(s1 - s2) / slopes : 0.0);
}
} // namespace

std::vector<oxEdgeContinuity> oxCadModel::continuity(const oxContinuityTolerances& tolerances, int samplesPerEdge) const
{
    const Impl& d = *_d;
    const double g0Tolerance = tolerances.g0 >= 0 ? tolerances.g0 : std::max(0.01, 1e-5 * d.size);
    std::vector<oxEdgeContinuity> result;
    result.reserve(d.shared.size());
    for (size_t i = 0; i < d.shared.size(); ++i)
    {
        const Impl::SharedEdge& shared = d.shared[i];
        const TopoDS_Edge& edge = TopoDS::Edge(d.edges(shared.edge));
        oxEdgeContinuity c;
        c.edge = i;
        c.faces[0] = size_t(shared.faces[0] - 1);
        c.faces[1] = size_t(shared.faces[1] - 1);
        try
        {
            const TopoDS_Face& f1 = TopoDS::Face(d.faces(shared.faces[0]));
            const TopoDS_Face& f2 = TopoDS::Face(d.faces(shared.faces[1]));
            BRepAdaptor_Curve curve(edge);
            c.length = GCPnts_AbscissaPoint::Length(curve);
            double a1, b1, a2, b2;
            const Handle(Geom2d_Curve) p1 = BRep_Tool::CurveOnSurface(edge, f1, a1, b1);
            const Handle(Geom2d_Curve) p2 = BRep_Tool::CurveOnSurface(edge, f2, a2, b2);
            if (p1.IsNull() || p2.IsNull())
                continue;
            // In a consistently oriented shell each shared edge runs one way in one face and the
            // other way in the other; otherwise the second face's normal is the wrong way round.
            const bool flip = orientationIn(f1, edge) == orientationIn(f2, edge);
            const double first = curve.FirstParameter(), last = curve.LastParameter();
            const int n = std::clamp(int(std::ceil(samplesPerEdge * c.length / std::max(0.25 * d.size, 1e-12))),
                                     samplesPerEdge, 16 * samplesPerEdge);
            for (int k = 0; k < n; ++k)
            {
                const double s = (k + 0.5) / n;
                const gp_Pnt2d uv1 = p1->Value(a1 + s * (b1 - a1)), uv2 = p2->Value(a2 + s * (b2 - a2));
                gp_Pnt q1, q2;
                gp_Vec n1, n2;
                if (!d.evaluate(size_t(shared.faces[0] - 1), uv1.X(), uv1.Y(), q1, n1, nullptr, nullptr) ||
                    !d.evaluate(size_t(shared.faces[1] - 1), uv2.X(), uv2.Y(), q2, n2, nullptr, nullptr))
                    continue;
                if (flip)
                    n2.Reverse();
                c.g0 = std::max(c.g0, q1.Distance(q2));
                c.g1 = std::max(c.g1, n1.Angle(n2) * 180.0 / M_PI);
                gp_Pnt on;
                gp_Vec tangent;
                curve.D1(first + s * (last - first), on, tangent);
                gp_Vec across = n1.Crossed(tangent);
                if (across.Magnitude() < 1e-12)
                    continue;
                across.Normalize();
                compareCurvatures({*d.surfaces[c.faces[0]], uv1, n1}, {*d.surfaces[c.faces[1]], uv2, n2}, across,
                                  d.size, c);
            }
            const int drawn = std::max(n, 32);
            for (int k = 0; k <= drawn; ++k)
            {
                const gp_Pnt p = curve.Value(first + (last - first) * k / drawn);
                c.polyline.emplace_back(float(p.X()), float(p.Y()), float(p.Z()));
            }
        }
        catch (const Standard_Failure&)
        {
            continue;
        }
        c.continuity = c.g0 > g0Tolerance     ? oxEdgeContinuity::Open
                       : c.g1 > tolerances.g1 ? oxEdgeContinuity::G0
                       : c.g2 > tolerances.g2 ? oxEdgeContinuity::G1
                       : c.g3 > tolerances.g3 ? oxEdgeContinuity::G2
                                              : oxEdgeContinuity::G3;
        result.push_back(std::move(c));
    }
    return result;
}
