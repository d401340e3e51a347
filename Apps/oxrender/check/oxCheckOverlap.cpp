#include "oxCheckModel.h"

#include <BRepBndLib.hxx>
#include <BRepTools.hxx>
#include <Bnd_Box.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <TopoDS.hxx>

#include <tbb/parallel_for.h>

#include <set>

namespace
{
typedef oxCheckCriterion C;

// Samples of a face's (u, v) box along each side that stand for its area.
constexpr int AreaSamples = 5;
// Samples of one face lying on another that make an area rather than a touch along an edge.
constexpr int AreaOfSamples = 3;

// A face's points inside its trim, and its box.
struct Patch
{
    std::vector<gp_Pnt> points;
    Bnd_Box box;
};

Patch patchOf(const oxCadModel::Impl& d, size_t face)
{
    Patch out;
    const TopoDS_Face& f = TopoDS::Face(d.faces(int(face) + 1));
    BRepBndLib::Add(f, out.box, false);
    double u0, u1, v0, v1;
    BRepTools::UVBounds(f, u0, u1, v0, v1);
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
std::vector<gp_Pnt> pointsOn(const oxCadModel::Impl& d, const Patch& from, size_t onto, const Bnd_Box& ontoBox,
                             double tolerance)
{
    std::vector<gp_Pnt> inBox, on;
    for (const gp_Pnt& p : from.points)
        if (!ontoBox.IsOut(p))
            inBox.push_back(p);
    if (inBox.size() < size_t(AreaOfSamples))
        return on;
    const TopoDS_Face& f = TopoDS::Face(d.faces(int(onto) + 1));
    double u0, u1, v0, v1;
    BRepTools::UVBounds(f, u0, u1, v0, v1);
    for (size_t i = 0; i < inBox.size(); ++i)
    {
        if (on.size() + (inBox.size() - i) < size_t(AreaOfSamples))
            break;
        const gp_Pnt& p = inBox[i];
        GeomAPI_ProjectPointOnSurf projection(p, d.surfaces[onto], u0, u1, v0, v1);
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
    tbb::parallel_for(size_t(0), n, [&](size_t face) { patches[face] = patchOf(c.d, face); });
    for (Patch& p : patches)
        p.box.Enlarge(tolerance);
    // Each face against the others in parallel; reported in face order as one pass would.
    std::vector<std::vector<std::pair<size_t, std::vector<gp_Pnt>>>> lying(n);
    tbb::parallel_for(size_t(0), n,
                      [&](size_t a)
                      {
                          for (size_t b = 0; b < n; ++b)
                              if (a != b && !patches[a].box.IsOut(patches[b].box))
                              {
                                  std::vector<gp_Pnt> on = pointsOn(c.d, patches[a], b, patches[b].box, tolerance);
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
