#include "oxDeviation.h"

#include "oxCadShape.h"
#include "oxCurvatureStats.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"

#include <ElSLib.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <embree3/rtcore.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/parallel_sort.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace
{
using Vec = osg::Vec3f;

enum Region
{
    Inside,
    OnEdge,
    AtA,
    AtB,
    AtC
};

// The closest point of triangle abc to p (Ericson, Real-Time Collision Detection 5.1.5), with its
// barycentric weights of b and c and where on the triangle it lies.
Vec closestOnTriangle(const Vec& p, const Vec& a, const Vec& b, const Vec& c, float& wb, float& wc, Region& region)
{
    const Vec ab = b - a, ac = c - a, ap = p - a;
    const float d1 = ab.dot(ap), d2 = ac.dot(ap);
    if (d1 <= 0 && d2 <= 0)
        return region = AtA, wb = wc = 0, a;
    const Vec bp = p - b;
    const float d3 = ab.dot(bp), d4 = ac.dot(bp);
    if (d3 >= 0 && d4 <= d3)
        return region = AtB, wb = 1, wc = 0, b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
    {
        const float v = d1 / (d1 - d3);
        return region = OnEdge, wb = v, wc = 0, a + ab * v;
    }
    const Vec cp = p - c;
    const float d5 = ab.dot(cp), d6 = ac.dot(cp);
    if (d6 >= 0 && d5 <= d6)
        return region = AtC, wb = 0, wc = 1, c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
    {
        const float w = d2 / (d2 - d6);
        return region = OnEdge, wb = 0, wc = w, a + ac * w;
    }
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    {
        const float w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return region = OnEdge, wb = 1 - w, wc = w, b + (c - b) * w;
    }
    region = Inside;
    const float denom = 1.f / (va + vb + vc);
    wb = vb * denom;
    wc = vc * denom;
    return a + ab * wb + ac * wc;
}

// The angle at corner v of a triangle whose other corners are v1 and v2.
float cornerAngle(const Vec& v, const Vec& v1, const Vec& v2)
{
    Vec e1 = v1 - v, e2 = v2 - v;
    const float l = e1.length() * e2.length();
    return l > 0 ? std::acos(std::clamp(e1.dot(e2) / l, -1.f, 1.f)) : 0.f;
}

// One point's search: the closest triangle so far, and the angle-weighted pseudo-normal at the
// closest point (Baerentzen and Aanaes): a face's normal inside it, the sum of the two faces'
// normals on an edge, of the faces' normals weighted by their angles there at a corner. Its side
// is the point's side of a closed surface even where the faces meet at a sharp edge or corner.
struct Query
{
    const oxRenderScene* scene = nullptr;
    // Per mesh, each triangle's three corners side by side: a triangle is read from one place
    // instead of from three scattered vertices.
    const std::vector<std::vector<Vec>>* corners = nullptr;
    Vec p;
    float best2 = std::numeric_limits<float>::infinity();
    unsigned geom = RTC_INVALID_GEOMETRY_ID, prim = 0;
    Vec closest, normal, pseudoNormal;
    float wb = 0, wc = 0;
    bool exact = false; // on the exact surface, at exactDistance on the side exactSign says
    double exactDistance = 0;
    float exactSign = 1;

    // On a CAD reference the exact closest point may be on a face whose triangles lie up to margin
    // further than the closest triangle: the nearest triangle of each face within reach is kept.
    float margin = 0;
    float reach2 = std::numeric_limits<float>::infinity();
    float least = 0; // reach is measured from no nearer than this
    struct Candidate
    {
        unsigned geom, prim;
        osg::UInt32 face;
        float d2, wb, wc;
    };
    static constexpr int MostCandidates = 8;
    Candidate candidates[MostCandidates];
    int candidateCount = 0;

    float reach() const { return std::max(std::sqrt(best2), least) * (1 + 1e-6f) + margin; }

    void setBest(float d2)
    {
        best2 = d2;
        const float r = std::max(std::sqrt(d2), least) + margin;
        reach2 = margin > 0 ? r * r : d2;
    }

    void keepCandidate(unsigned g, unsigned t, float d2, float tb, float tc)
    {
        const osg::UInt32 face = scene->triangleFaces(g)[t];
        int worst = 0;
        for (int i = 0; i < candidateCount; ++i)
        {
            Candidate& c = candidates[i];
            if (c.geom == g && c.face == face)
            {
                if (d2 < c.d2)
                    c = Candidate{g, t, face, d2, tb, tc};
                return;
            }
            if (c.d2 > candidates[worst].d2)
                worst = i;
        }
        if (candidateCount < MostCandidates)
            candidates[candidateCount++] = Candidate{g, t, face, d2, tb, tc};
        else if (d2 < candidates[worst].d2)
            candidates[worst] = Candidate{g, t, face, d2, tb, tc};
    }

    // Whether keepCandidate might keep a triangle of face that lies no nearer than low2.
    bool wouldKeep(unsigned g, unsigned t, float low2) const
    {
        const osg::UInt32 face = scene->triangleFaces(g)[t];
        int worst = 0;
        for (int i = 0; i < candidateCount; ++i)
        {
            if (candidates[i].geom == g && candidates[i].face == face)
                return low2 < candidates[i].d2;
            if (candidates[i].d2 > candidates[worst].d2)
                worst = i;
        }
        return candidateCount < MostCandidates || low2 < candidates[worst].d2;
    }

    void consider(unsigned g, unsigned t)
    {
        const std::vector<Vec>& all = (*corners)[g];
        if (3 * size_t(t) + 2 >= all.size())
            return; // a mesh without triangles holds a degenerate stand-in
        const Vec &a = all[3 * size_t(t)], &b = all[3 * size_t(t) + 1], &c = all[3 * size_t(t) + 2];
        // Most triangles a query visits lie wholly outside the sphere it has shrunk to: their box says so.
        float box2 = 0;
        for (int k = 0; k < 3; ++k)
        {
            const float below = std::min({a[k], b[k], c[k]}) - p[k], above = p[k] - std::max({a[k], b[k], c[k]});
            const float out = std::max({below, above, 0.f});
            box2 += out * out;
        }
        if (box2 > reach2 * (1 + 1e-5f))
            return;
        // No nearer than its box (less rounding): where that is past the best and the face has a
        // candidate as near, the triangle can change nothing.
        const float low2 = box2 * (1 - 1e-5f), scale2 = a.squareLength() + p.squareLength();
        if (low2 * (1 - 1e-6f) - 1e-12f * scale2 > best2 && !(margin > 0 && scene->cad(g) && wouldKeep(g, t, low2)))
            return;
        float tb, tc;
        Region region;
        const Vec q = closestOnTriangle(p, a, b, c, tb, tc, region);
        const float d2 = (p - q).squareLength();
        if (margin > 0 && d2 <= reach2 && scene->cad(g))
            keepCandidate(g, t, d2, tb, tc);
        // Equal within rounding: the same distance reached through another triangle.
        const float slack = 1e-6f * std::max(d2, 1e-30f) + 1e-12f * scale2;
        if (d2 > best2 + slack)
            return;
        const Vec n = oxRenderMath::TriangleNormal(a, b, c).unit();
        const float weight = region == AtA   ? cornerAngle(a, b, c)
                             : region == AtB ? cornerAngle(b, c, a)
                             : region == AtC ? cornerAngle(c, a, b)
                                             : 1.f;
        if (d2 >= best2 - slack && geom != RTC_INVALID_GEOMETRY_ID)
        {
            // Another face at the same closest point (an edge or corner) joins the pseudo-normal; an
            // equally distant point elsewhere leaves it.
            if ((q - closest).squareLength() <= 1e-10f * (scale2 + d2))
                pseudoNormal += n * weight;
            if (d2 < best2)
                setBest(d2);
            return;
        }
        setBest(d2);
        geom = g;
        prim = t;
        closest = q;
        normal = n;
        pseudoNormal = n * weight;
        wb = tb;
        wc = tc;
    }
};

bool queryCallback(RTCPointQueryFunctionArguments* args)
{
    Query& q = *static_cast<Query*>(args->userPtr);
    const float before = q.best2;
    q.consider(args->geomID, args->primID);
    if (q.best2 == before)
        return false; // the radius already stands for this distance
    const float r = q.scene->toTrace(q.reach());
    if (r < args->query->radius)
    {
        args->query->radius = r;
        return true;
    }
    return false;
}

// An adaptor on the face last evaluated, one per run of neighbouring points: evaluations of one
// B-spline span in a row reuse its cached polynomials instead of running de Boor each time.
class SurfaceCache
{
public:
    const GeomAdaptor_Surface& of(const Handle(Geom_Surface) & surface)
    {
        if (_loaded != surface.get())
        {
            _adaptor.Load(surface);
            _loaded = surface.get();
        }
        return _adaptor;
    }

private:
    const Geom_Surface* _loaded = nullptr;
    GeomAdaptor_Surface _adaptor;
};

// Newton's method on the squared distance from p to the surface, from (u, v), moving only
// downhill; s, su, sv and dist2 are the surface's point, derivatives and squared distance at the end.
struct OnSurface
{
    double u = 0, v = 0, dist2 = 0;
    gp_Pnt s;
    gp_Vec su, sv;
};

void newton(const GeomAdaptor_Surface& adaptor, const gp_Pnt& p, OnSurface& at)
{
    double& u = at.u;
    double& v = at.v;
    gp_Vec suu, svv, suv;
    adaptor.D2(u, v, at.s, at.su, at.sv, suu, svv, suv);
    at.dist2 = at.s.SquareDistance(p);
    for (int step = 0; step < 12; ++step)
    {
        const gp_Vec r(p, at.s); // from the point to the surface
        const double gu = r.Dot(at.su), gv = r.Dot(at.sv);
        double huu = at.su.Dot(at.su) + r.Dot(suu), hvv = at.sv.Dot(at.sv) + r.Dot(svv),
               huv = at.su.Dot(at.sv) + r.Dot(suv);
        double det = huu * hvv - huv * huv;
        if (!(det > 0 && huu > 0))
        {
            // Not convex here: Gauss-Newton, which always goes downhill.
            huu = at.su.Dot(at.su);
            hvv = at.sv.Dot(at.sv);
            huv = at.su.Dot(at.sv);
            det = huu * hvv - huv * huv;
        }
        if (!(det > 1e-300))
            break;
        double du = -(hvv * gu - huv * gv) / det, dv = -(huu * gv - huv * gu) / det;
        // Converged: a step this short moves the point by far less than the distance's precision.
        if ((at.su * du + at.sv * dv).SquareMagnitude() < 1e-22 * (1 + at.dist2))
            break;
        bool moved = false;
        for (int halve = 0; halve < 8 && !moved; ++halve)
        {
            gp_Pnt s2;
            gp_Vec su2, sv2, suu2, svv2, suv2;
            adaptor.D2(u + du, v + dv, s2, su2, sv2, suu2, svv2, suv2);
            const double d2 = s2.SquareDistance(p);
            if (d2 <= at.dist2)
            {
                moved = true;
                u += du;
                v += dv;
                at.s = s2;
                at.su = su2;
                at.sv = sv2;
                suu = suu2;
                svv = svv2;
                suv = suv2;
                at.dist2 = d2;
            }
            du *= 0.5;
            dv *= 0.5;
        }
        if (!moved)
            break;
    }
}

// A plane's and a cylinder's closest point in closed form (on a cylinder the turn nearest the
// start, which may lie across the seam); Newton's steps on every other surface.
void descend(const GeomAdaptor_Surface& adaptor, const gp_Pnt& p, OnSurface& at)
{
    if (adaptor.GetType() == GeomAbs_Plane)
        ElSLib::Parameters(adaptor.Plane(), p, at.u, at.v);
    else if (adaptor.GetType() == GeomAbs_Cylinder)
    {
        const gp_Cylinder cylinder = adaptor.Cylinder();
        const gp_Vec fromAxis = gp_Vec(cylinder.Location(), p).Crossed(gp_Vec(cylinder.Axis().Direction()));
        if (!(fromAxis.SquareMagnitude() > 1e-24 * cylinder.Radius() * cylinder.Radius()))
            return newton(adaptor, p, at); // on the axis every turn is as near
        double u;
        ElSLib::Parameters(cylinder, p, u, at.v);
        at.u = u + 2 * M_PI * std::round((at.u - u) / (2 * M_PI));
    }
    else
        return newton(adaptor, p, at);
    adaptor.D1(at.u, at.v, at.s, at.su, at.sv);
    at.dist2 = at.s.SquareDistance(p);
}

// The exact closest point found so far, and what its side is told by: the face's normal inside
// a face, the pseudo-normal of the faces meeting at an edge or a corner.
struct Exact
{
    enum Kind
    {
        None,
        OnFace,
        OnEdge,
        AtVertex
    } kind = None;
    double dist2 = std::numeric_limits<double>::infinity();
    gp_Pnt point;
    gp_Vec normal; // OnFace
    unsigned geom = 0;
    int edge = 0;
    double parameter = 0;
};

struct Reference
{
    const oxRenderScene& scene;
    RTCScene handle;
    float margin = 0;

    std::vector<std::vector<Vec>> corners;

    explicit Reference(const oxRenderScene& s) : scene(s), handle(s.handle()), corners(s.meshCount())
    {
        for (size_t m = 0; m < s.meshCount(); ++m)
        {
            if (s.cad(m))
                margin = std::max(margin, 3 * sagitta(s.mesh(m)));
            const oxRenderMesh& mesh = s.mesh(m);
            corners[m].resize(mesh.indices.size() / 3 * 3);
            tbb::parallel_for(tbb::blocked_range<size_t>(0, corners[m].size(), 65536),
                              [&](const tbb::blocked_range<size_t>& range)
                              {
                                  for (size_t k = range.begin(); k != range.end(); ++k)
                                      corners[m][k] = mesh.positions[mesh.indices[k]].subZero();
                              });
        }
    }

    // How far a CAD mesh's triangles lie from their surfaces, estimated from the exact normals at
    // their corners: a chord of length L between normals na and nb bows by |(nb - na).(b - a)| / 8.
    static float sagitta(const oxRenderMesh& mesh)
    {
        if (!mesh.hasNormals())
            return 0;
        float most = 0;
        for (size_t t = 0; t < mesh.triangleCount(); ++t)
            for (size_t k = 0; k < 3; ++k)
            {
                const osg::UInt32 a = mesh.indices[3 * t + k], b = mesh.indices[3 * t + (k + 1) % 3];
                most = std::max(
                    most, std::fabs((mesh.normals[b] - mesh.normals[a]).dot(mesh.positions[b] - mesh.positions[a])));
            }
        return most / 8;
    }

    // The exact closest point: on each face whose triangles come within reach, where Newton's
    // method from the nearest triangle ends inside the trim, else on the face's boundary, and then
    // on the faces across that boundary. Where none is found the triangle's point stands.
    void refine(Query& q, SurfaceCache& cache) const
    {
        if (q.candidateCount == 0)
            return;
        // Faces as near as each other (one face twice, with its sides swapped) in one order
        // whichever triangle the search met first: a point's side is not left to its neighbours.
        std::sort(q.candidates, q.candidates + q.candidateCount,
                  [](const Query::Candidate& a, const Query::Candidate& b)
                  { return std::tie(a.d2, a.geom, a.face) < std::tie(b.d2, b.geom, b.face); });
        const gp_Pnt p(q.p[0], q.p[1], q.p[2]);
        Exact best;
        for (int i = 0; i < q.candidateCount; ++i)
        {
            const Query::Candidate& c = q.candidates[i];
            if (c.d2 > q.reach2)
                break;
            // No point of this face is nearer than its triangles less the margin.
            const double below = std::max(0.0, std::sqrt(double(c.d2)) - q.margin);
            if (below * below > best.dist2)
                break;
            onFace(c, p, cache, best);
        }
        if (best.kind == Exact::None)
            return;
        gp_Vec normal = best.normal;
        if (best.kind == Exact::OnEdge)
            normal = edgePseudoNormal(best);
        else if (best.kind == Exact::AtVertex)
            normal = vertexPseudoNormal(best);
        if (!(normal.SquareMagnitude() > 0))
            normal = gp_Vec(q.pseudoNormal[0], q.pseudoNormal[1], q.pseudoNormal[2]);
        const gp_Vec away(best.point, p);
        q.closest = Vec(float(best.point.X()), float(best.point.Y()), float(best.point.Z()));
        q.best2 = float(best.dist2);
        if (normal.SquareMagnitude() > 0)
            normal.Normalize();
        q.normal = Vec(float(normal.X()), float(normal.Y()), float(normal.Z()));
        q.exactDistance = std::sqrt(best.dist2);
        q.exactSign = away.Dot(normal) < 0 ? -1.f : 1.f;
        q.exact = true;
    }

    void onFace(const Query::Candidate& c, const gp_Pnt& p, SurfaceCache& cache, Exact& best) const
    {
        const oxCadModel::Impl& impl = scene.cad(c.geom)->model->impl();
        const size_t face = c.face;
        if (face >= impl.surfaces.size())
            return;
        const double* uv = scene.cornerUV(c.geom) + 6 * size_t(c.prim);
        OnSurface at;
        scene.cad(c.geom)->model->uvInTriangle(face, uv, c.wb, c.wc, at.u, at.v);
        descend(cache.of(impl.surfaces[face]), p, at);
        const std::uint8_t corners = scene.triangleNearEdge(c.geom)[c.prim];
        const bool nearEdge = corners != 0;
        const bool inside = inUvTriangle(uv, corners, at.u, at.v) || impl.insideTrim(face, at.u, at.v, at.s);
        if (inside)
            keepOnFace(impl, c.geom, face, p, at, best);
        // Near the boundary an edge's curve, which may lie off the surface by its tolerance, can
        // come nearer than the face; not measurably at Open CASCADE's default tolerance (1e-7) or
        // one below the distance's precision.
        oxCadModel::Impl::OnBoundary edge;
        const double precision = std::max(1e-7 * impl.size, 1.01e-7);
        if (!nearEdge || !impl.closestOnBoundary(face, p, edge, std::sqrt(best.dist2), inside ? precision : 0))
            return;
        if (edge.distance2 < best.dist2)
        {
            best.kind = edge.atVertex ? Exact::AtVertex : Exact::OnEdge;
            best.dist2 = edge.distance2;
            best.point = edge.point;
            best.geom = c.geom;
            best.edge = edge.edge;
            best.parameter = edge.parameter;
        }
        if (inside)
            return;
        // Past the trim the closest point may lie on the face across the edge.
        for (int other : impl.edgeFaces[size_t(edge.edge)])
        {
            if (size_t(other) == face || !impl.uvOnEdge(size_t(other), edge.edge, edge.parameter, at.u, at.v))
                continue;
            descend(cache.of(impl.surfaces[size_t(other)]), p, at);
            if (at.dist2 < best.dist2 && impl.insideTrim(size_t(other), at.u, at.v, at.s))
                keepOnFace(impl, c.geom, size_t(other), p, at, best);
        }
    }

    // A face's closest point where it is nearer than the best, or where it is as near at the same
    // point (one surface twice, as where two solids touch) and puts p inside where the best puts it
    // outside: p is inside one of the solids, and that holds for them together.
    static void keepOnFace(const oxCadModel::Impl& impl, unsigned geom, size_t face, const gp_Pnt& p,
                           const OnSurface& at, Exact& best)
    {
        const double size2 = impl.size * impl.size;
        const bool tie = best.kind == Exact::OnFace &&
                         std::fabs(at.dist2 - best.dist2) <= 1e-9 * best.dist2 + 1e-18 * size2 &&
                         at.s.SquareDistance(best.point) <= 1e-12 * size2;
        if (!(at.dist2 < best.dist2) && !tie)
            return;
        gp_Vec n = at.su.Crossed(at.sv);
        gp_Pnt on;
        if (n.SquareMagnitude() > 1e-24 * at.su.SquareMagnitude() * at.sv.SquareMagnitude() && n.SquareMagnitude() > 0)
            n *= (impl.reversed[face] ? -1.0 : 1.0) / n.Magnitude();
        else if (!impl.evaluate(face, at.u, at.v, on, n, nullptr, nullptr))
            n = gp_Vec(); // a pole: the triangles' pseudo-normal
        if (tie && !(gp_Vec(at.s, p).Dot(n) < 0 && gp_Vec(best.point, p).Dot(best.normal) > 0))
            return;
        best.kind = Exact::OnFace;
        best.dist2 = at.dist2;
        best.point = at.s;
        best.normal = n;
        best.geom = geom;
    }

    // The sum of the normals of the faces along an edge (each meets it at an angle of pi).
    gp_Vec edgePseudoNormal(const Exact& e) const
    {
        const oxCadModel::Impl& impl = scene.cad(e.geom)->model->impl();
        gp_Vec sum;
        for (int face : impl.edgeFaces[size_t(e.edge)])
        {
            double u, v;
            gp_Pnt on;
            gp_Vec n;
            if (impl.uvOnEdge(size_t(face), e.edge, e.parameter, u, v) &&
                impl.evaluate(size_t(face), u, v, on, n, nullptr, nullptr))
                sum += n;
        }
        return sum;
    }

    // At a corner: the faces' normals there weighted by the angles at which they meet it, the
    // angles from the triangles that have a corner there.
    gp_Vec vertexPseudoNormal(const Exact& e) const
    {
        struct Around
        {
            const oxRenderScene* scene;
            Vec at;
            float radius2;
            gp_Vec sum;
        } around{&scene, Vec(float(e.point.X()), float(e.point.Y()), float(e.point.Z())), 0, gp_Vec()};
        const float radius = 1e-5f * float(scene.cad(e.geom)->model->size());
        around.radius2 = radius * radius;
        RTCPointQuery query;
        query.x = around.at[0];
        query.y = around.at[1];
        query.z = around.at[2];
        query.time = 0;
        query.radius = radius;
        RTCPointQueryContext context;
        rtcInitPointQueryContext(&context);
        rtcPointQuery(
            handle, &query, &context,
            [](RTCPointQueryFunctionArguments* args)
            {
                Around& a = *static_cast<Around*>(args->userPtr);
                const oxCadMesh* cad = a.scene->cad(args->geomID);
                if (!cad)
                    return false;
                const oxRenderMesh& mesh = a.scene->mesh(args->geomID);
                const osg::UInt32* i = &mesh.indices[3 * size_t(args->primID)];
                const size_t face = a.scene->triangleFaces(args->geomID)[args->primID];
                const double* uv = a.scene->cornerUV(args->geomID) + 6 * size_t(args->primID);
                for (int k = 0; k < 3; ++k)
                {
                    const Vec corner = mesh.positions[i[k]].subZero();
                    if ((corner - a.at).squareLength() > a.radius2)
                        continue;
                    const float angle = cornerAngle(corner, mesh.positions[i[(k + 1) % 3]].subZero(),
                                                    mesh.positions[i[(k + 2) % 3]].subZero());
                    gp_Pnt on;
                    gp_Vec n;
                    if (cad->model->impl().evaluate(face, uv[2 * k], uv[2 * k + 1], on, n, nullptr, nullptr))
                        a.sum += n * angle;
                }
                return false;
            },
            &around);
        return around.sum;
    }

    // Whether (u, v) lies in the triangle's (u, v) away from its sides along the face's boundary
    // (those whose corners both lie on it, by the bits of corners): the triangles lie inside the
    // trim but for the slivers between such a side and the boundary's curve, which bows into the
    // triangle by less than half its height. There the classifier is not needed.
    static bool inUvTriangle(const double* c, std::uint8_t corners, double u, double v)
    {
        const double d = (c[3] - c[5]) * (c[0] - c[4]) + (c[4] - c[2]) * (c[1] - c[5]);
        if (!(std::fabs(d) > 0))
            return false;
        double w[3];
        w[0] = ((c[3] - c[5]) * (u - c[4]) + (c[4] - c[2]) * (v - c[5])) / d;
        w[1] = ((c[5] - c[1]) * (u - c[4]) + (c[0] - c[4]) * (v - c[5])) / d;
        w[2] = 1 - w[0] - w[1];
        for (int k = 0; k < 3; ++k)
        {
            // Side k runs from corner k to corner k + 1; the weight of the corner opposite is its height.
            const bool alongBoundary = (corners >> k & 1) && (corners >> (k + 1) % 3 & 1);
            if (w[k] < 0 || (alongBoundary && w[(k + 2) % 3] < 0.5))
                return false;
        }
        return true;
    }

    // Searches from a guess (the triangle the previous point found), which bounds the search.
    bool find(const Vec& p, unsigned guessGeom, unsigned guessPrim, Query& q, SurfaceCache& cache) const
    {
        if (!search(p, guessGeom, guessPrim, 0, q))
            return false;
        const float reach = std::sqrt(q.best2) + margin;
        refine(q, cache);
        // The margin promised a point of the faces within reach; where the nearest found lies
        // further (a face whose triangles stray from it by more than the margin), every face
        // within reach of that point is tried.
        if (q.exact && q.exactDistance > reach * (1 + 1e-6))
        {
            const unsigned geom = q.geom, prim = q.prim;
            search(p, geom, prim, float(q.exactDistance), q);
            refine(q, cache);
        }
        return true;
    }

    // The triangles near p and the faces' candidates among them, within margin of the nearest
    // triangle or of least where that is further.
    bool search(const Vec& p, unsigned guessGeom, unsigned guessPrim, float least, Query& q) const
    {
        q = Query();
        q.scene = &scene;
        q.corners = &corners;
        q.p = p;
        q.margin = margin;
        q.least = least;
        RTCPointQuery query;
        query.x = scene.toTrace(p[0]);
        query.y = scene.toTrace(p[1]);
        query.z = scene.toTrace(p[2]);
        query.time = 0;
        query.radius = std::numeric_limits<float>::infinity();
        if (guessGeom != RTC_INVALID_GEOMETRY_ID)
        {
            q.consider(guessGeom, guessPrim);
            query.radius = scene.toTrace(q.reach()) + 1e-30f;
        }
        RTCPointQueryContext context;
        rtcInitPointQueryContext(&context);
        rtcPointQuery(handle, &query, &context, queryCallback, &q);
        return q.geom != RTC_INVALID_GEOMETRY_ID;
    }

    static float signedDistance(const Query& q)
    {
        if (q.exact)
            return float(q.exactSign * q.exactDistance);
        const Vec d = q.p - q.closest;
        const double length = std::sqrt(double(d.squareLength()));
        return float(d.dot(q.pseudoNormal) < 0 ? -length : length);
    }
};

// A reference of points only (a scan) has no surface to be on: a point's distance to it is to its
// nearest point, without a side. Its points in a balanced k-d tree, each node the median of its
// range along the range's widest axis.
class NearestPoints
{
public:
    explicit NearestPoints(const oxRenderScene& scene)
    {
        for (size_t m = 0; m < scene.meshCount(); ++m)
            for (const osg::Pnt3f& p : scene.mesh(m).positions)
                if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]))
                    _points.push_back(p.subZero());
        _axis.resize(_points.size());
        build(0, _points.size());
    }

    bool empty() const { return _points.empty(); }

    // The nearest point to p and its squared distance; best2 comes in as a bound (a point's
    // neighbour's answer is a good one) and index stays where nothing lies within it.
    void nearest(const Vec& p, size_t& index, float& best2) const { search(p, 0, _points.size(), index, best2); }
    const Vec& point(size_t index) const { return _points[index]; }

private:
    void build(size_t lo, size_t hi)
    {
        if (hi - lo < 2)
            return;
        Vec low = _points[lo], high = low;
        for (size_t i = lo + 1; i < hi; ++i)
            for (int k = 0; k < 3; ++k)
            {
                low[k] = std::min(low[k], _points[i][k]);
                high[k] = std::max(high[k], _points[i][k]);
            }
        const Vec extent = high - low;
        const int axis = extent[0] >= extent[1] && extent[0] >= extent[2] ? 0 : extent[1] >= extent[2] ? 1 : 2;
        const size_t mid = lo + (hi - lo) / 2;
        std::nth_element(_points.begin() + long(lo), _points.begin() + long(mid), _points.begin() + long(hi),
                         [axis](const Vec& a, const Vec& b) { return a[axis] < b[axis]; });
        _axis[mid] = std::uint8_t(axis);
        if (hi - lo < 65536)
        {
            build(lo, mid);
            build(mid + 1, hi);
        }
        else
            tbb::parallel_invoke([&] { build(lo, mid); }, [&] { build(mid + 1, hi); });
    }

    void search(const Vec& p, size_t lo, size_t hi, size_t& index, float& best2) const
    {
        while (lo < hi)
        {
            const size_t mid = lo + (hi - lo) / 2;
            const Vec& q = _points[mid];
            const float d2 = (q - p).squareLength();
            if (d2 < best2)
            {
                best2 = d2;
                index = mid;
            }
            const float across = p[_axis[mid]] - q[_axis[mid]];
            // The near side first; the far one only where the splitting plane is within reach.
            if (across < 0)
            {
                search(p, lo, mid, index, best2);
                if (across * across >= best2)
                    return;
                lo = mid + 1;
            }
            else
            {
                search(p, mid + 1, hi, index, best2);
                if (across * across >= best2)
                    return;
                hi = mid;
            }
        }
    }

    std::vector<Vec> _points;
    std::vector<std::uint8_t> _axis;
};

// Every vertex of model against a point reference.
std::shared_ptr<oxDeviationField> toNearestPoints(const oxRenderScene& model, const oxRenderScene& reference)
{
    const NearestPoints ref(reference);
    if (ref.empty())
        return nullptr;
    auto field = std::make_shared<oxDeviationField>();
    field->unsignedDistances = true;
    field->distance.resize(model.meshCount());
    field->closest.resize(model.meshCount());
    for (size_t m = 0; m < model.meshCount(); ++m)
    {
        const std::vector<osg::Pnt3f>& positions = model.mesh(m).positions;
        std::vector<float>& distance = field->distance[m];
        std::vector<osg::Pnt3f>& closest = field->closest[m];
        distance.resize(positions.size());
        closest.resize(positions.size());
        tbb::parallel_for(tbb::blocked_range<size_t>(0, positions.size(), 1024),
                          [&](const tbb::blocked_range<size_t>& range)
                          {
                              size_t index = 0; // neighbouring points mostly share their nearest
                              for (size_t v = range.begin(); v != range.end(); ++v)
                              {
                                  const Vec p = positions[v].subZero();
                                  float best2 = (ref.point(index) - p).squareLength();
                                  if (!std::isfinite(best2))
                                  {
                                      distance[v] = std::numeric_limits<float>::quiet_NaN();
                                      closest[v] = positions[v];
                                      continue;
                                  }
                                  ref.nearest(p, index, best2);
                                  distance[v] = std::sqrt(best2);
                                  const Vec& q = ref.point(index);
                                  closest[v] = osg::Pnt3f(q[0], q[1], q[2]);
                              }
                          });
    }
    return field;
}

// The points' indices along a Morton curve through their bounding box: points in a row then lie
// near each other, so that each starts its search from a close triangle and finds the BVH's
// nodes, the triangles and the faces' span caches warm.
std::vector<size_t> spatialOrder(const std::vector<osg::Pnt3f>& points)
{
    Vec low(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
    Vec high = -low;
    for (const osg::Pnt3f& p : points)
        for (int k = 0; k < 3; ++k)
            if (std::isfinite(p[k]))
            {
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
    const float extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2], 1e-30f});
    const auto spread = [](std::uint64_t x)
    {
        x &= 0x1fffff;
        x = (x | x << 32) & 0x1f00000000ffffull;
        x = (x | x << 16) & 0x1f0000ff0000ffull;
        x = (x | x << 8) & 0x100f00f00f00f00full;
        x = (x | x << 4) & 0x10c30c30c30c30c3ull;
        return (x | x << 2) & 0x1249249249249249ull;
    };
    std::vector<std::pair<std::uint64_t, size_t>> keyed(points.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size(), 16384),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          for (size_t i = range.begin(); i != range.end(); ++i)
                          {
                              std::uint64_t code = 0;
                              for (int k = 0; k < 3; ++k)
                              {
                                  const float f = (points[i][k] - low[k]) / extent; // NaN: cell 0
                                  code |= spread(std::uint64_t(f > 0 ? std::min(f, 1.f) * 2097151.f : 0.f)) << k;
                              }
                              keyed[i] = {code, i};
                          }
                      });
    tbb::parallel_sort(keyed.begin(), keyed.end());
    std::vector<size_t> order(points.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = keyed[i].second;
    return order;
}

// One point's closest point, its search started from the triangle of the point before (geom,
// prim), which it updates.
oxClosestPoint closestOf(const Reference& ref, const osg::Pnt3f& point, unsigned& geom, unsigned& prim, Query& q,
                         SurfaceCache& cache)
{
    oxClosestPoint c;
    if (!ref.find(point.subZero(), geom, prim, q, cache))
    {
        c.point = point;
        c.distance = std::numeric_limits<float>::quiet_NaN();
        return c;
    }
    geom = q.geom;
    prim = q.prim;
    c.point = osg::Pnt3f(q.closest[0], q.closest[1], q.closest[2]);
    c.normal = q.exact ? q.normal : q.pseudoNormal;
    if (!q.exact && !(c.normal.length() > 0))
        c.normal = q.normal;
    else if (!q.exact)
        c.normal.normalize();
    c.distance = Reference::signedDistance(q);
    return c;
}
} // namespace

std::shared_ptr<const oxDeviationField> oxDeviation::compute(const oxRenderScene& model, const oxRenderScene& reference)
{
    if (model.meshCount() == 0 || reference.meshCount() == 0)
        return nullptr;
    if (reference.triangleCount() == 0)
        return toNearestPoints(model, reference);
    const Reference ref(reference);
    if (!ref.handle)
        return nullptr;
    auto field = std::make_shared<oxDeviationField>();
    field->distance.resize(model.meshCount());
    field->closest.resize(model.meshCount());
    for (size_t m = 0; m < model.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = model.mesh(m);
        std::vector<float>& distance = field->distance[m];
        std::vector<osg::Pnt3f>& closest = field->closest[m];
        distance.resize(mesh.vertexCount());
        closest.resize(mesh.vertexCount());
        tbb::parallel_for(tbb::blocked_range<size_t>(0, mesh.vertexCount(), 1024),
                          [&](const tbb::blocked_range<size_t>& range)
                          {
                              // Neighbouring vertices mostly share their closest triangle.
                              unsigned geom = RTC_INVALID_GEOMETRY_ID, prim = 0;
                              Query q;
                              SurfaceCache cache;
                              for (size_t v = range.begin(); v != range.end(); ++v)
                              {
                                  if (!ref.find(mesh.positions[v].subZero(), geom, prim, q, cache))
                                  {
                                      distance[v] = std::numeric_limits<float>::quiet_NaN();
                                      closest[v] = mesh.positions[v];
                                      continue;
                                  }
                                  geom = q.geom;
                                  prim = q.prim;
                                  distance[v] = Reference::signedDistance(q);
                                  closest[v] = osg::Pnt3f(q.closest[0], q.closest[1], q.closest[2]);
                              }
                          });
    }
    return field;
}

bool oxDeviation::closestPoint(const oxRenderScene& reference, const osg::Pnt3f& point, float& distance,
                               osg::Pnt3f& closest)
{
    if (reference.meshCount() == 0 || reference.triangleCount() == 0)
        return false;
    const Reference ref(reference);
    Query q;
    SurfaceCache cache;
    if (!ref.handle || !ref.find(point.subZero(), RTC_INVALID_GEOMETRY_ID, 0, q, cache))
        return false;
    distance = Reference::signedDistance(q);
    closest = osg::Pnt3f(q.closest[0], q.closest[1], q.closest[2]);
    return true;
}

void oxDeviation::closestPoints(const oxRenderScene& reference, const std::vector<osg::Pnt3f>& points,
                                std::vector<oxClosestPoint>& out, const oxClosestPointsOptions& options)
{
    out.clear();
    if (reference.meshCount() == 0 || reference.triangleCount() == 0)
        return;
    const Reference ref(reference);
    if (!ref.handle)
        return;
    const std::vector<size_t> order = spatialOrder(points);
    // Read and written in that order, then put back: reading and writing a million scattered
    // places in the search's own loop leaves it waiting on memory.
    std::vector<osg::Pnt3f> sorted(points.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size(), 16384),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          for (size_t k = range.begin(); k != range.end(); ++k)
                              sorted[k] = points[order[k]];
                      });
    std::vector<oxClosestPoint> found(points.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size(), 256),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          if (options.cancel && options.cancel->load(std::memory_order_relaxed))
                              return;
                          unsigned geom = RTC_INVALID_GEOMETRY_ID, prim = 0;
                          Query q;
                          SurfaceCache cache;
                          for (size_t k = range.begin(); k != range.end(); ++k)
                              found[k] = closestOf(ref, sorted[k], geom, prim, q, cache);
                      });
    out.resize(points.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size(), 16384),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          for (size_t k = range.begin(); k != range.end(); ++k)
                              out[order[k]] = found[k];
                      });
}

double oxDeviation::tolerance(const oxHostAnalysisSettings& settings, const oxRenderScene& reference)
{
    if (settings.DeviationTolerance > 0)
        return settings.DeviationTolerance;
    osg::Pnt3f min, max;
    if (!reference.bounds(min, max))
        return 0;
    return 1e-3 * double((max - min).length());
}

void oxDeviation::weightedValues(const oxRenderScene& model, const oxDeviationField& field, std::vector<float>& values,
                                 std::vector<float>& weights)
{
    values.clear();
    weights.clear();
    for (size_t m = 0; m < model.meshCount() && m < field.distance.size(); ++m)
    {
        const std::vector<float> areas = model.points(m) ? std::vector<float>(model.mesh(m).vertexCount(), 1.f)
                                                         : oxCurvatureStats::vertexAreas(model.mesh(m));
        const std::vector<float>& d = field.distance[m];
        for (size_t v = 0; v < d.size() && v < areas.size(); ++v)
            if (std::isfinite(d[v]) && areas[v] > 0)
            {
                values.push_back(d[v]);
                weights.push_back(areas[v]);
            }
    }
}

bool oxDeviation::stats(const oxRenderScene& model, const oxDeviationField& field, double tolerance, int bins,
                        oxDeviationStats& out, std::string& error)
{
    if (bins < 1 || bins > oxCurvatureStats::MaxBins)
    {
        error = oxCurvatureStats::binsRefusal(bins);
        return false;
    }
    std::vector<float> values, weights;
    weightedValues(model, field, values, weights);
    oxCurvatureStats curve;
    if (!oxCurvatureStats::compute(values, weights, bins, 0, 100, curve, error))
    {
        error = "no deviation to measure: " + error;
        return false;
    }
    out = oxDeviationStats();
    out.min = curve.min;
    out.max = curve.max;
    out.mean = curve.mean;
    out.hist = curve.hist;
    out.edges = curve.edges;
    out.tolerance = tolerance;
    out.unsignedDistances = field.unsignedDistances;
    double area = 0, squares = 0, within = 0;
    std::vector<std::pair<float, float>> magnitude(values.size());
    for (size_t i = 0; i < values.size(); ++i)
    {
        area += weights[i];
        squares += double(weights[i]) * values[i] * values[i];
        if (std::fabs(values[i]) <= tolerance)
            within += weights[i];
        magnitude[i] = {std::fabs(values[i]), weights[i]};
    }
    out.rms = std::sqrt(squares / area);
    out.std = std::sqrt(std::max(0.0, out.rms * out.rms - out.mean * out.mean));
    out.within = within / area;
    std::sort(magnitude.begin(), magnitude.end());
    double below = 0;
    out.p95 = magnitude.back().first;
    for (const auto& [value, weight] : magnitude)
        if ((below += weight) >= 0.95 * area)
        {
            out.p95 = value;
            break;
        }
    return true;
}
