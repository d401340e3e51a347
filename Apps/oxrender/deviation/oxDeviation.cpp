#include "oxDeviation.h"

#include "oxCadShape.h"
#include "oxCurvatureStats.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderScene.h"

#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <TopoDS.hxx>
#include <embree3/rtcore.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

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
    Vec p;
    float best2 = std::numeric_limits<float>::infinity();
    unsigned geom = RTC_INVALID_GEOMETRY_ID, prim = 0;
    Vec closest, normal, pseudoNormal;
    float wb = 0, wc = 0;
    bool exact = false; // on the exact surface, at exactDistance
    double exactDistance = 0;

    void consider(unsigned g, unsigned t)
    {
        const oxRenderMesh& mesh = scene->mesh(g);
        const osg::UInt32* i = &mesh.indices[3 * size_t(t)];
        const Vec a = mesh.positions[i[0]].subZero(), b = mesh.positions[i[1]].subZero(),
                  c = mesh.positions[i[2]].subZero();
        // Most triangles a query visits lie wholly outside the sphere it has shrunk to: their box says so.
        float box2 = 0;
        for (int k = 0; k < 3; ++k)
        {
            const float below = std::min({a[k], b[k], c[k]}) - p[k], above = p[k] - std::max({a[k], b[k], c[k]});
            const float out = std::max({below, above, 0.f});
            box2 += out * out;
        }
        if (box2 > best2 * (1 + 1e-5f))
            return;
        float tb, tc;
        Region region;
        const Vec q = closestOnTriangle(p, a, b, c, tb, tc, region);
        const float d2 = (p - q).squareLength();
        // Equal within rounding: the same distance reached through another triangle.
        const float scale2 = a.squareLength() + p.squareLength();
        const float slack = 1e-6f * std::max(d2, 1e-30f) + 1e-12f * scale2;
        if (d2 > best2 + slack)
            return;
        Vec n = (b - a).cross(c - a);
        const float nl = n.length();
        if (nl > 0)
            n *= 1.f / nl;
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
            best2 = std::min(best2, d2);
            return;
        }
        best2 = d2;
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
    q.consider(args->geomID, args->primID);
    const float r = std::sqrt(q.best2) * (1 + 1e-6f);
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

// Per face of a CAD reference: what keeps a projection inside its trim, made when first needed
// (a probe asks about one point only).
struct FaceTrim
{
    std::once_flag once;
    std::unique_ptr<BRepTopAdaptor_FClass2d> classifier;
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
};

struct Reference
{
    const oxRenderScene& scene;
    RTCScene handle;
    std::vector<std::vector<std::unique_ptr<FaceTrim>>> trims; // per mesh, per face; empty for plain meshes

    explicit Reference(const oxRenderScene& s) : scene(s), handle(s.handle()), trims(s.meshCount())
    {
        for (size_t m = 0; m < s.meshCount(); ++m)
            if (const oxCadMesh* cad = s.cad(m))
                for (size_t f = 0; f < cad->model->faceCount(); ++f)
                    trims[m].push_back(std::make_unique<FaceTrim>());
    }

    // Moves q's closest point from the triangle onto the exact face by Newton steps on the squared
    // distance, starting at the (u, v) interpolated on the triangle; kept only inside the face's trim.
    void refine(Query& q, SurfaceCache& cache) const
    {
        const oxCadMesh* cad = scene.cad(q.geom);
        if (!cad)
            return;
        const oxCadModel::Impl& impl = cad->model->impl();
        const size_t face = scene.triangleFaces(q.geom)[q.prim];
        if (face >= impl.surfaces.size())
            return;
        const double* uv = scene.cornerUV(q.geom) + 6 * size_t(q.prim);
        const Geom_Surface& surface = *impl.surfaces[face];
        double corner[6];
        std::copy(uv, uv + 6, corner);
        // A triangle across a periodic surface's seam: its corners on one side of it.
        for (int k = 1; k < 3; ++k)
        {
            if (surface.IsUPeriodic())
                corner[2 * k] -= surface.UPeriod() * std::round((corner[2 * k] - corner[0]) / surface.UPeriod());
            if (surface.IsVPeriodic())
                corner[2 * k + 1] -=
                    surface.VPeriod() * std::round((corner[2 * k + 1] - corner[1]) / surface.VPeriod());
        }
        const double wa = 1.0 - q.wb - q.wc;
        double u = wa * corner[0] + q.wb * corner[2] + q.wc * corner[4],
               v = wa * corner[1] + q.wb * corner[3] + q.wc * corner[5];
        const gp_Pnt p(q.p[0], q.p[1], q.p[2]);
        const GeomAdaptor_Surface& adaptor = cache.of(impl.surfaces[face]);
        gp_Pnt s;
        gp_Vec su, sv, suu, svv, suv;
        adaptor.D2(u, v, s, su, sv, suu, svv, suv);
        double dist2 = s.SquareDistance(p);
        const double start2 = dist2;
        // How far the surface lies from the triangle here: the projection may not move further.
        const double gap = s.Distance(gp_Pnt(q.closest[0], q.closest[1], q.closest[2]));
        for (int step = 0; step < 12; ++step)
        {
            const gp_Vec r(p, s); // from the point to the surface
            const double gu = r.Dot(su), gv = r.Dot(sv);
            double huu = su.Dot(su) + r.Dot(suu), hvv = sv.Dot(sv) + r.Dot(svv), huv = su.Dot(sv) + r.Dot(suv);
            double det = huu * hvv - huv * huv;
            if (!(det > 0 && huu > 0))
            {
                // Not convex here: Gauss-Newton, which always goes downhill.
                huu = su.Dot(su);
                hvv = sv.Dot(sv);
                huv = su.Dot(sv);
                det = huu * hvv - huv * huv;
            }
            if (!(det > 1e-300))
                break;
            double du = -(hvv * gu - huv * gv) / det, dv = -(huu * gv - huv * gu) / det;
            // Converged: a step this short moves the point by far less than the distance's precision.
            if ((su * du + sv * dv).SquareMagnitude() < 1e-22 * (1 + dist2))
                break;
            bool moved = false;
            for (int halve = 0; halve < 8 && !moved; ++halve)
            {
                gp_Pnt s2;
                gp_Vec su2, sv2, suu2, svv2, suv2;
                adaptor.D2(u + du, v + dv, s2, su2, sv2, suu2, svv2, suv2);
                const double d2 = s2.SquareDistance(p);
                if (d2 <= dist2)
                {
                    moved = true;
                    u += du;
                    v += dv;
                    s = s2;
                    su = su2;
                    sv = sv2;
                    suu = suu2;
                    svv = svv2;
                    suv = suv2;
                    dist2 = d2;
                }
                du *= 0.5;
                dv *= 0.5;
            }
            if (!moved)
                break;
        }
        if (!(dist2 <= start2) || !(std::sqrt(dist2) <= std::sqrt(double(q.best2)) + 2 * gap + 1e-9) ||
            !(inUvTriangle(corner, u, v) || inside(q.geom, face, u, v)))
            return; // the triangle's point is then as good as we know
        q.closest = Vec(float(s.X()), float(s.Y()), float(s.Z()));
        q.best2 = float(dist2);
        gp_Vec n = su.Crossed(sv);
        gp_Pnt at;
        if (n.SquareMagnitude() > 1e-24 * su.SquareMagnitude() * sv.SquareMagnitude() && n.SquareMagnitude() > 0)
            n *= (impl.reversed[face] ? -1.0 : 1.0) / n.Magnitude();
        else if (!impl.evaluate(face, u, v, at, n, nullptr, nullptr))
            n = gp_Vec(q.normal[0], q.normal[1], q.normal[2]); // a pole: the triangle's
        q.normal = Vec(float(n.X()), float(n.Y()), float(n.Z()));
        q.exactDistance = std::sqrt(dist2);
        q.exact = true;
    }

    bool inside(size_t mesh, size_t face, double u, double v) const
    {
        FaceTrim& trim = *trims[mesh][face];
        const oxCadModel::Impl& impl = scene.cad(mesh)->model->impl();
        std::call_once(trim.once,
                       [&]
                       {
                           const TopoDS_Face& f = TopoDS::Face(impl.faces(int(face) + 1));
                           BRepTools::UVBounds(f, trim.u0, trim.u1, trim.v0, trim.v1);
                           trim.classifier = std::make_unique<BRepTopAdaptor_FClass2d>(f, 1e-9);
                       });
        const Handle(Geom_Surface)& surface = impl.surfaces[face];
        // A periodic surface's (u, v) may have run past the seam.
        if (surface->IsUPeriodic())
            u = trim.u0 +
                std::fmod(std::fmod(u - trim.u0, surface->UPeriod()) + surface->UPeriod(), surface->UPeriod());
        if (surface->IsVPeriodic())
            v = trim.v0 +
                std::fmod(std::fmod(v - trim.v0, surface->VPeriod()) + surface->VPeriod(), surface->VPeriod());
        return trim.classifier->Perform(gp_Pnt2d(u, v)) != TopAbs_OUT;
    }

    // The triangulation's triangles lie inside the trim: a (u, v) in the one the search started from
    // needs no classifier.
    static bool inUvTriangle(const double* c, double u, double v)
    {
        const double d = (c[3] - c[5]) * (c[0] - c[4]) + (c[4] - c[2]) * (c[1] - c[5]);
        if (!(std::fabs(d) > 0))
            return false;
        const double a = ((c[3] - c[5]) * (u - c[4]) + (c[4] - c[2]) * (v - c[5])) / d;
        const double b = ((c[5] - c[1]) * (u - c[4]) + (c[0] - c[4]) * (v - c[5])) / d;
        return a >= 0 && b >= 0 && a + b <= 1;
    }

    // Searches from a guess (the triangle the previous point found), which bounds the search.
    bool find(const Vec& p, unsigned guessGeom, unsigned guessPrim, Query& q, SurfaceCache& cache) const
    {
        q = Query();
        q.scene = &scene;
        q.p = p;
        RTCPointQuery query;
        query.x = p[0];
        query.y = p[1];
        query.z = p[2];
        query.time = 0;
        query.radius = std::numeric_limits<float>::infinity();
        if (guessGeom != RTC_INVALID_GEOMETRY_ID)
        {
            q.consider(guessGeom, guessPrim);
            query.radius = std::sqrt(q.best2) * (1 + 1e-6f) + 1e-30f;
        }
        RTCPointQueryContext context;
        rtcInitPointQueryContext(&context);
        rtcPointQuery(handle, &query, &context, queryCallback, &q);
        if (q.geom == RTC_INVALID_GEOMETRY_ID)
            return false;
        refine(q, cache);
        return true;
    }

    static float signedDistance(const Query& q)
    {
        const Vec d = q.p - q.closest;
        const double length = q.exact ? q.exactDistance : std::sqrt(double(d.squareLength()));
        return float(d.dot(q.exact ? q.normal : q.pseudoNormal) < 0 ? -length : length);
    }
};
} // namespace

std::shared_ptr<const oxDeviationField> oxDeviation::compute(const oxRenderScene& model, const oxRenderScene& reference)
{
    if (model.meshCount() == 0 || reference.meshCount() == 0 || reference.triangleCount() == 0)
        return nullptr;
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
                                std::vector<oxClosestPoint>& out)
{
    out.clear();
    if (reference.meshCount() == 0 || reference.triangleCount() == 0)
        return;
    const Reference ref(reference);
    if (!ref.handle)
        return;
    out.resize(points.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size(), 256),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          unsigned geom = RTC_INVALID_GEOMETRY_ID, prim = 0;
                          Query q;
                          SurfaceCache cache;
                          for (size_t i = range.begin(); i != range.end(); ++i)
                          {
                              oxClosestPoint& c = out[i];
                              if (!ref.find(points[i].subZero(), geom, prim, q, cache))
                              {
                                  c.point = points[i];
                                  c.distance = std::numeric_limits<float>::quiet_NaN();
                                  continue;
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
                          }
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
        const std::vector<float> areas = oxCurvatureStats::vertexAreas(model.mesh(m));
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
    if (bins < 1)
    {
        error = "the number of bins must be at least 1, not " + std::to_string(bins);
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
