#include "oxCheckModel.h"

#include <BRepBndLib.hxx>
#include <BRepTools.hxx>
#include <Bnd_Box.hxx>
#include <BndLib_AddSurface.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <Precision.hxx>
#include <TopoDS.hxx>

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace
{
typedef oxCheckCriterion C;

// Samples of a face's (u, v) box along each side that stand for its area.
constexpr int AreaSamples = 5;
// Samples of one face lying on another that make an area rather than a touch along an edge.
constexpr int AreaOfSamples = 3;

// Pieces of a B-spline face's (u, v) box along each side, each boxed by its own poles.
constexpr int Pieces = 6;

// How near a point may come to a face's surface over the face's (u, v) box, from below: exact on
// the analytic surfaces, the boxes of the pieces on a B-spline (which lies inside its poles' hull);
// no bound on the others. Projections are what cost: a point the bound keeps off needs none.
struct Reach
{
    GeomAbs_SurfaceType type = GeomAbs_OtherSurface;
    gp_Trsf toLocal;     // into the analytic surface's own frame
    double a = 0, b = 0; // radius, or major and minor radius, or reference radius and half-angle
    std::vector<Bnd_Box> pieces;

    bool within(const gp_Pnt& p, double tolerance) const;
};

Reach reachOf(const Handle(Geom_Surface) & surface, double u0, double u1, double v0, double v1, double tolerance);

// A face's points inside its trim, its box and its reach.
struct Patch
{
    std::vector<gp_Pnt> points;
    Bnd_Box box;
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    Reach reach;
};

bool Reach::within(const gp_Pnt& p, double tolerance) const
{
    // Rounding in the bound must never keep off a point that projects within tolerance.
    const double reach = tolerance + Precision::Confusion();
    const gp_XYZ q = p.Transformed(toLocal).XYZ();
    const double radial = std::hypot(q.X(), q.Y());
    switch (type)
    {
    case GeomAbs_Plane:
        return std::abs(q.Z()) <= reach;
    case GeomAbs_Cylinder:
        return std::abs(radial - a) <= reach;
    case GeomAbs_Sphere:
        return std::abs(q.Modulus() - a) <= reach;
    case GeomAbs_Torus:
        return std::abs(std::hypot(radial - a, q.Z()) - b) <= reach;
    case GeomAbs_Cone:
    {
        // Distance to the two lines the cone's sides make in the point's meridian plane.
        const double along = q.Z() + a / std::tan(b);
        return std::min(std::abs(radial * std::cos(b) - along * std::sin(b)),
                        std::abs(radial * std::cos(b) + along * std::sin(b))) <= reach;
    }
    case GeomAbs_BSplineSurface:
        return std::any_of(pieces.begin(), pieces.end(), [&](const Bnd_Box& box) { return !box.IsOut(p); });
    default:
        return true;
    }
}

// The pieces' boxes of a B-spline over the (u, v) box; none (no bound) where the box leaves the
// surface's own range or the surface is periodic, where boxing a piece by its poles is not sure.
std::vector<Bnd_Box> piecesOf(const GeomAdaptor_Surface& s, double u0, double u1, double v0, double v1,
                              double tolerance)
{
    std::vector<Bnd_Box> out;
    const double slack = Precision::PConfusion();
    if (s.IsUPeriodic() || s.IsVPeriodic() || u0 < s.FirstUParameter() - slack || u1 > s.LastUParameter() + slack ||
        v0 < s.FirstVParameter() - slack || v1 > s.LastVParameter() + slack)
        return out;
    u0 = std::max(u0, s.FirstUParameter()), u1 = std::min(u1, s.LastUParameter());
    v0 = std::max(v0, s.FirstVParameter()), v1 = std::min(v1, s.LastVParameter());
    for (int i = 0; i < Pieces; ++i)
        for (int j = 0; j < Pieces; ++j)
        {
            Bnd_Box box;
            BndLib_AddSurface::Add(s, u0 + (u1 - u0) * i / Pieces, u0 + (u1 - u0) * (i + 1) / Pieces,
                                   v0 + (v1 - v0) * j / Pieces, v0 + (v1 - v0) * (j + 1) / Pieces, 0, box);
            box.Enlarge(tolerance + Precision::Confusion());
            out.push_back(box);
        }
    return out;
}

Reach reachOf(const Handle(Geom_Surface) & surface, double u0, double u1, double v0, double v1, double tolerance)
{
    Reach out;
    const GeomAdaptor_Surface s(surface);
    out.type = s.GetType();
    gp_Ax3 frame;
    switch (out.type)
    {
    case GeomAbs_Plane:
        frame = s.Plane().Position();
        break;
    case GeomAbs_Cylinder:
        frame = s.Cylinder().Position(), out.a = s.Cylinder().Radius();
        break;
    case GeomAbs_Sphere:
        frame = s.Sphere().Position(), out.a = s.Sphere().Radius();
        break;
    case GeomAbs_Torus:
        frame = s.Torus().Position(), out.a = s.Torus().MajorRadius(), out.b = s.Torus().MinorRadius();
        break;
    case GeomAbs_Cone:
        frame = s.Cone().Position(), out.a = s.Cone().RefRadius(), out.b = s.Cone().SemiAngle();
        break;
    case GeomAbs_BSplineSurface:
        out.pieces = piecesOf(s, u0, u1, v0, v1, tolerance);
        if (out.pieces.empty())
            out.type = GeomAbs_OtherSurface;
        return out;
    default:
        out.type = GeomAbs_OtherSurface;
        return out;
    }
    out.toLocal.SetTransformation(frame);
    return out;
}

Patch patchOf(const oxCadModel::Impl& d, size_t face, double tolerance)
{
    Patch out;
    const TopoDS_Face& f = TopoDS::Face(d.faces(int(face) + 1));
    BRepBndLib::Add(f, out.box, false);
    BRepTools::UVBounds(f, out.u0, out.u1, out.v0, out.v1);
    const double u0 = out.u0, u1 = out.u1, v0 = out.v0, v1 = out.v1;
    out.reach = reachOf(d.surfaces[face], u0, u1, v0, v1, tolerance);
    for (int i = 0; i < AreaSamples; ++i)
        for (int j = 0; j < AreaSamples; ++j)
        {
            const double u = u0 + (u1 - u0) * (i + 0.5) / AreaSamples, v = v0 + (v1 - v0) * (j + 0.5) / AreaSamples;
            gp_Pnt p;
            gp_Vec n;
            if (d.evaluate(face, u, v, p, n, nullptr, nullptr) && d.insideTrim(face, u, v, p))
                out.points.push_back(p);
        }
    return out;
}

// The points of one face that lie on the other within tolerance, inside its trim; fewer than an
// area's worth as soon as that many can no longer be found, since projections are what cost.
std::vector<gp_Pnt> pointsOn(const oxCadModel::Impl& d, const Patch& from, size_t onto, const Patch& ontoPatch,
                             double tolerance)
{
    std::vector<gp_Pnt> inBox, on;
    for (const gp_Pnt& p : from.points)
        if (!ontoPatch.box.IsOut(p) && ontoPatch.reach.within(p, tolerance))
            inBox.push_back(p);
    if (inBox.size() < size_t(AreaOfSamples))
        return on;
    // One projector for all points: it builds its start grid on the surface once.
    GeomAPI_ProjectPointOnSurf projection;
    projection.Init(d.surfaces[onto], ontoPatch.u0, ontoPatch.u1, ontoPatch.v0, ontoPatch.v1);
    for (size_t i = 0; i < inBox.size(); ++i)
    {
        if (on.size() + (inBox.size() - i) < size_t(AreaOfSamples))
            break;
        const gp_Pnt& p = inBox[i];
        projection.Perform(p);
        if (!projection.IsDone() || projection.NbPoints() == 0 || projection.LowerDistance() > tolerance)
            continue;
        double u, v;
        projection.LowerDistanceParameters(u, v);
        if (d.insideTrim(onto, u, v, projection.NearestPoint()))
            on.push_back(p);
    }
    return on;
}
} // namespace

void oxCheckSteps::overlaps(oxCheckContext& c)
{
    if (!c.on(C::OVERLAPPING_FACE))
        return;
    const double tolerance = c.threshold(C::OVERLAPPING_FACE);
    const size_t n = size_t(c.d.faces.Extent());
    std::vector<Patch> patches(n);
    tbb::parallel_for(size_t(0), n, [&](size_t face) { patches[face] = patchOf(c.d, face, tolerance); });
    for (Patch& p : patches)
        p.box.Enlarge(tolerance);
    // Each face against the others in parallel; reported in face order as one pass would.
    std::vector<std::vector<std::pair<size_t, std::vector<gp_Pnt>>>> lying(n);
    tbb::parallel_for(size_t(0), n,
                      [&](size_t a)
                      {
                          if (c.cancelled())
                              return;
                          for (size_t b = 0; b < n; ++b)
                              if (a != b && !patches[a].box.IsOut(patches[b].box))
                              {
                                  std::vector<gp_Pnt> on = pointsOn(c.d, patches[a], b, patches[b], tolerance);
                                  if (on.size() >= size_t(AreaOfSamples))
                                      lying[a].emplace_back(b, std::move(on));
                              }
                      });
    std::set<std::pair<size_t, size_t>> reported;
    for (size_t a = 0; a < n; ++a)
        for (const auto& [b, on] : lying[a])
        {
            if (reported.count({std::min(a, b), std::max(a, b)}))
                continue;
            reported.insert({std::min(a, b), std::max(a, b)});
            gp_XYZ sum(0, 0, 0);
            for (const gp_Pnt& p : on)
                sum += p.XYZ();
            c.add(C::OVERLAPPING_FACE, double(on.size()), "face", c.faceNumber(int(a) + 1),
                  gp_Pnt(sum / double(on.size())),
                  "lies on face " + std::to_string(c.faceNumber(int(b) + 1)) + " over an area (" +
                      std::to_string(on.size()) + " of " + std::to_string(patches[a].points.size()) +
                      " samples within " + oxCheckNumbers::text(tolerance) + " mm)");
        }
}
