#include "oxCompare.h"

#include "oxAlignment.h"
#include "oxDeviation.h"
#include "oxParallel.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"

#include <embree3/rtcore.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>

namespace
{
struct Sample
{
    osg::Pnt3f point;
    osg::Vec3f normal;
    float weight = 0; // the area it stands for
    bool valid = false;
    bool exact = false; // on its face's exact surface already
};

// A part's faces in scene order: per mesh the index of its first face.
struct Faces
{
    std::vector<size_t> first;
    size_t count = 0;

    explicit Faces(const oxRenderScene& scene)
    {
        for (size_t m = 0; m < scene.meshCount(); ++m)
        {
            first.push_back(count);
            const oxCadMesh* cad = scene.placedCad(m);
            count += cad ? cad->model->faceCount() : 1;
        }
    }
    size_t of(const oxRenderScene& scene, size_t mesh, size_t triangle) const
    {
        return first[mesh] + (scene.placedCad(mesh) ? scene.triangleFaces(mesh)[triangle] : 0);
    }
};

// What one face's samples found on the other part.
struct FaceMeasure
{
    double area = 0;
    osg::Vec3f centroid;
    double largest = 0;
    double nearArea = 0;
    std::map<size_t, double> landed; // face of the other part -> area of the samples that landed there
};

struct Part
{
    const oxRenderScene& scene;
    Faces faces;
    std::vector<std::vector<std::pair<size_t, size_t>>> triangles; // per face: (mesh, triangle)
    std::vector<Sample> samples;                                   // samplesPerFace per face
    std::vector<FaceMeasure> measures;

    explicit Part(const oxRenderScene& s) : scene(s), faces(s), triangles(faces.count), measures(faces.count)
    {
        for (size_t m = 0; m < scene.meshCount(); ++m)
            for (size_t t = 0; t < scene.mesh(m).triangleCount(); ++t)
                triangles[faces.of(scene, m, t)].emplace_back(m, t);
    }
};

osg::Vec3f triangleCross(const oxRenderMesh& mesh, size_t t)
{
    const osg::UInt32* i = &mesh.indices[3 * t];
    return (mesh.positions[i[1]] - mesh.positions[i[0]]).cross(mesh.positions[i[2]] - mesh.positions[i[0]]);
}

// The point at a and b (a + b <= 1) along the sides from corner 0.
Sample sampleTriangle(const oxRenderScene& scene, size_t m, size_t t, float a, float b)
{
    const oxRenderMesh& mesh = scene.mesh(m);
    const osg::UInt32* i = &mesh.indices[3 * t];
    Sample s;
    s.point = mesh.positions[i[0]] + (mesh.positions[i[1]] - mesh.positions[i[0]]) * a +
              (mesh.positions[i[2]] - mesh.positions[i[0]]) * b;
    s.normal = triangleCross(mesh, t);
    s.normal.normalize();
    return s;
}

// Picks index i of cumulative (running totals) where at falls.
size_t pick(const std::vector<double>& cumulative, double at)
{
    const auto i = std::lower_bound(cumulative.begin(), cumulative.end(), at) - cumulative.begin();
    return std::min(size_t(i), cumulative.size() - 1);
}

// A CAD face's model, its number there and where its mesh was moved, for samples on its exact
// surface; no model for a plain mesh's face.
struct ExactFace
{
    const oxCadModel* model = nullptr;
    size_t face = 0;
    bool placed = false;
    double toWorld[3][4] = {};

    ExactFace(const Part& part, size_t face)
    {
        if (part.triangles[face].empty())
            return;
        const size_t m = part.triangles[face].front().first, t = part.triangles[face].front().second;
        const oxCadMesh* cad = part.scene.placedCad(m);
        if (!cad || !part.scene.cornerUV(m))
            return;
        model = cad->model.get();
        this->face = part.scene.triangleFaces(m)[t];
        placed = part.scene.placement(m, toWorld);
    }

    Sample place(const oxCadModel::SurfacePoint& p) const
    {
        Sample s;
        if (placed)
        {
            oxRenderMath::transform(toWorld, p.point, &s.point[0], 1);
            oxRenderMath::transform(toWorld, p.normal, &s.normal[0], 0);
        }
        else
            for (int r = 0; r < 3; ++r)
            {
                s.point[r] = float(p.point[r]);
                s.normal[r] = p.normal[r];
            }
        s.exact = true;
        return s;
    }
};

// The triangle's point at a and b, on the exact surface at the (u, v) there when the face has
// one. A triangle along the boundary may reach past a curved trim (a hole's rim is a chord's sag
// away), where the surface's point lies off the face: that one stays for the search to snap.
Sample sampleFacePoint(const Part& part, const ExactFace& exact, size_t m, size_t t, float a, float b)
{
    if (!exact.model)
        return sampleTriangle(part.scene, m, t, a, b);
    double u, v;
    exact.model->uvInTriangle(exact.face, part.scene.cornerUV(m) + 6 * t, a, b, u, v);
    oxCadModel::SurfacePoint p;
    if (!exact.model->pointAt(exact.face, u, v, p) ||
        (part.scene.triangleNearEdge(m)[t] && !exact.model->insideTrim(exact.face, u, v, p.point)))
        return sampleTriangle(part.scene, m, t, a, b);
    return exact.place(p);
}

// Sides of the face's triangles whose corners both lie on its boundary, with running lengths.
struct Boundary
{
    std::vector<std::pair<size_t, int>> sides; // (index into the face's triangles, side)
    std::vector<double> cumulative;
};

Boundary boundaryOf(const Part& part, size_t face)
{
    Boundary b;
    double length = 0;
    const auto& triangles = part.triangles[face];
    for (size_t i = 0; i < triangles.size(); ++i)
    {
        const size_t m = triangles[i].first, t = triangles[i].second;
        if (!part.scene.placedCad(m))
            continue;
        const std::uint8_t corners = part.scene.triangleNearEdge(m)[t];
        const osg::UInt32* index = &part.scene.mesh(m).indices[3 * t];
        for (int k = 0; k < 3; ++k)
            if ((corners >> k & 1) && (corners >> (k + 1) % 3 & 1))
            {
                const auto& p = part.scene.mesh(m).positions;
                b.sides.emplace_back(i, k);
                b.cumulative.push_back(length += (p[index[(k + 1) % 3]] - p[index[k]]).length());
            }
    }
    return b;
}

// How far a boundary sample lies inside its triangle: a share of the way to the opposite corner.
constexpr float OffEdge = 1e-3f;

// Area-weighted inside, and a quarter along the boundary, where a changed neighbour shows first
// (a narrow strip there holds few of the area's samples). On a CAD face at the (u, v) of the
// triangles' points, on its exact surface; on a mesh on its triangles. From a generator seeded by
// the face, so that a part gives the same samples each time. Boundary samples weigh nothing: they
// count for the distances, not the matched area.
void sampleFace(Part& part, size_t face, int count)
{
    const auto& triangles = part.triangles[face];
    std::vector<double> cumulative;
    double area = 0;
    for (const auto& mt : triangles)
        cumulative.push_back(area += 0.5 * triangleCross(part.scene.mesh(mt.first), mt.second).length());
    FaceMeasure& measure = part.measures[face];
    measure.area = area;
    if (!(area > 0))
        return;
    const ExactFace exact(part, face);
    const Boundary boundary = boundaryOf(part, face);
    const int inside = boundary.sides.empty() ? count : count - count / 4;
    std::mt19937 random(std::uint32_t(face) * 2654435761u + 1u);
    const auto unit = [&random] { return float(random() >> 8) / float(1u << 24); };
    for (int k = 0; k < count; ++k)
    {
        Sample s;
        if (k < inside)
        {
            const auto& mt = triangles[pick(cumulative, (k + double(unit())) / inside * area)];
            float a = unit(), b = unit();
            if (a + b > 1)
            {
                a = 1 - a;
                b = 1 - b;
            }
            s = sampleFacePoint(part, exact, mt.first, mt.second, a, b);
            s.weight = float(area / inside);
            measure.centroid += s.point.subZero() * (1.f / float(inside));
        }
        else
        {
            const double at = (k - inside + double(unit())) / (count - inside) * boundary.cumulative.back();
            const auto& side = boundary.sides[pick(boundary.cumulative, at)];
            const auto& mt = triangles[side.first];
            const float f = unit();
            // Corner k + 1 of the side at f, from corner k, moved a hair towards the opposite
            // corner: a point right on an edge takes the trim tests and the closest-point search
            // a hundred times longer.
            const float a = side.second == 0 ? f : side.second == 1 ? 1 - f : 0;
            const float b = side.second == 0 ? 0 : side.second == 1 ? f : 1 - f;
            const float opposite[3][2] = {{0, 1}, {0, 0}, {1, 0}};
            const float* o = opposite[side.second];
            s = sampleFacePoint(part, exact, mt.first, mt.second, a + (o[0] - a) * OffEdge, b + (o[1] - b) * OffEdge);
        }
        s.valid = true;
        part.samples[face * size_t(count) + size_t(k)] = s;
    }
}

bool isSet(const std::atomic<bool>* flag)
{
    return flag && flag->load(std::memory_order_relaxed);
}

// Samples left on the triangles (a mesh's, or a CAD face's past its trim or at a pole) lie off the
// exact surfaces by up to the tessellation's deflection: each goes to its closest point on its own
// part, exact on CAD faces, so that a part lies within a hair of itself.
void snapToSurface(Part& part, const std::atomic<bool>* cancel)
{
    std::vector<size_t> off;
    std::vector<osg::Pnt3f> points;
    for (size_t i = 0; i < part.samples.size(); ++i)
        if (part.samples[i].valid && !part.samples[i].exact)
        {
            off.push_back(i);
            points.push_back(part.samples[i].point);
        }
    std::vector<oxClosestPoint> closest;
    oxDeviation::closestPoints(part.scene, points, closest, {cancel});
    for (size_t j = 0; j < closest.size(); ++j)
    {
        part.samples[off[j]].point = closest[j].point;
        part.samples[off[j]].normal = closest[j].normal;
    }
}

void samplePart(Part& part, int count, const std::atomic<bool>* cancel)
{
    part.samples.assign(part.faces.count * size_t(count), Sample());
    tbb::parallel_for(size_t(0), part.faces.count,
                      [&](size_t face)
                      {
                          if (!isSet(cancel))
                              sampleFace(part, face, count);
                      });
    snapToSurface(part, cancel);
}

osg::Vec3f closestOnTriangle(const osg::Vec3f& p, const osg::Vec3f& a, const osg::Vec3f& b, const osg::Vec3f& c)
{
    const osg::Vec3f ab = b - a, ac = c - a, ap = p - a;
    const float d1 = ab.dot(ap), d2 = ac.dot(ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    const osg::Vec3f bp = p - b;
    const float d3 = ab.dot(bp), d4 = ac.dot(bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    const osg::Vec3f cp = p - c;
    const float d5 = ab.dot(cp), d6 = ac.dot(cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const float denominator = 1.f / (va + vb + vc);
    return a + ab * (vb * denominator) + ac * (vc * denominator);
}

// The face of the triangle nearest to a point: the exact closest point lies on the surface, which
// the triangles of its own face follow within the tessellation's deflection.
struct FaceQuery
{
    const oxRenderScene* scene;
    const Faces* faces;
    osg::Vec3f at;
    float best = std::numeric_limits<float>::infinity();
    size_t face = 0;
};

bool considerTriangle(RTCPointQueryFunctionArguments* args)
{
    FaceQuery& q = *static_cast<FaceQuery*>(args->userPtr);
    if (q.scene->points(args->geomID))
        return false;
    const oxRenderMesh& mesh = q.scene->mesh(args->geomID);
    const osg::UInt32* i = &mesh.indices[3 * size_t(args->primID)];
    const osg::Vec3f c = closestOnTriangle(q.at, mesh.positions[i[0]].subZero(), mesh.positions[i[1]].subZero(),
                                           mesh.positions[i[2]].subZero());
    const float d = (c - q.at).length();
    if (!(d < q.best))
        return false;
    q.best = d;
    q.face = q.faces->of(*q.scene, args->geomID, args->primID);
    args->query->radius = q.scene->toTrace(d);
    return true;
}

size_t faceAt(const oxRenderScene& scene, const Faces& faces, const osg::Pnt3f& p)
{
    FaceQuery q{&scene, &faces, p.subZero()};
    RTCPointQuery query;
    query.x = scene.toTrace(p[0]);
    query.y = scene.toTrace(p[1]);
    query.z = scene.toTrace(p[2]);
    query.time = 0;
    query.radius = std::numeric_limits<float>::infinity();
    RTCPointQueryContext context;
    rtcInitPointQueryContext(&context);
    rtcPointQuery(scene.handle(), &query, &context, considerTriangle, &q);
    return q.face;
}

// The samples of from, moved by toOther, against the other part: each face's largest distance,
// the share of it with a counterpart (within the tolerance, or within reach facing the same way)
// and the other's faces its samples land on. Returns the
// largest distance of all.
double measure(Part& from, const osg::Matrix& toOther, const Part& other, int count, double tolerance, double reach,
               const std::atomic<bool>* cancel)
{
    std::vector<osg::Pnt3f> points(from.samples.size());
    std::vector<osg::Vec3f> normals(from.samples.size());
    for (size_t i = 0; i < points.size(); ++i)
    {
        toOther.multMatrixPnt(from.samples[i].point, points[i]);
        toOther.multMatrixVec(from.samples[i].normal, normals[i]);
    }
    std::vector<oxClosestPoint> closest;
    oxDeviation::closestPoints(other.scene, points, closest, {cancel});
    std::vector<size_t> landed(points.size());
    oxRenderUtil::parallelFor(points.size(),
                              [&](size_t begin, size_t end)
                              {
                                  if (isSet(cancel))
                                      return;
                                  for (size_t i = begin; i < end; ++i)
                                      landed[i] = faceAt(other.scene, other.faces, closest[i].point);
                              });
    const float cosine = float(std::cos(oxCompareOptions::MatchAngle * M_PI / 180));
    double largest = 0;
    for (size_t i = 0; i < points.size(); ++i)
    {
        FaceMeasure& m = from.measures[i / size_t(count)];
        if (!from.samples[i].valid)
            continue;
        const double d = std::fabs(closest[i].distance);
        m.largest = std::max(m.largest, d);
        largest = std::max(largest, d);
        if (d <= tolerance || (d <= reach && normals[i].dot(closest[i].normal) >= cosine))
        {
            m.nearArea += from.samples[i].weight;
            m.landed[landed[i]] += from.samples[i].weight;
        }
    }
    return largest;
}

// A face lands on the other part's faces that take at least this share of its samples' area.
constexpr double LandedShare = 0.05;

std::vector<oxFaceChange> classify(const Part& part, const Part& other, double tolerance, oxFaceChange::Class unmatched)
{
    std::vector<oxFaceChange> out(part.faces.count);
    for (size_t f = 0; f < out.size(); ++f)
    {
        const FaceMeasure& m = part.measures[f];
        oxFaceChange& c = out[f];
        c.face = f;
        c.area = m.area;
        c.centroid = osg::Pnt3f(m.centroid[0], m.centroid[1], m.centroid[2]);
        c.largest = m.largest;
        if (!(m.area > 0) || m.nearArea < 0.5 * m.area)
        {
            c.change = unmatched;
            continue;
        }
        for (const auto& landed : m.landed)
            if (landed.second >= LandedShare * m.area)
            {
                c.matches.push_back(landed.first);
                c.largest = std::max(c.largest, other.measures[landed.first].largest);
            }
        c.change = c.largest <= tolerance ? oxFaceChange::Unchanged : oxFaceChange::Modified;
    }
    return out;
}

// The new part's samples fitted onto the old part; false with error when the fit cannot start.
bool alignParts(const Part& newPart, const oxRenderScene& oldScene, oxCompareResult& out, std::string& error)
{
    std::vector<osg::Pnt3f> points;
    points.reserve(newPart.samples.size());
    for (const Sample& s : newPart.samples)
        if (s.valid)
            points.push_back(s.point);
    oxAlignment::Result fit;
    if (!oxAlignment::align(points, oldScene, 50, fit, error))
        return false;
    out.alignment = fit.matrix;
    out.alignmentRms = fit.rmsAfter;
    return true;
}
} // namespace

const char* oxFaceChange::className(Class c)
{
    switch (c)
    {
    case Unchanged:
        return "unchanged";
    case Modified:
        return "modified";
    case Added:
        return "added";
    case Removed:
        return "removed";
    }
    return "";
}

size_t oxCompareResult::count(const std::vector<oxFaceChange>& faces, oxFaceChange::Class c) const
{
    return size_t(std::count_if(faces.begin(), faces.end(), [c](const oxFaceChange& f) { return f.change == c; }));
}

bool oxCompareResult::unchanged() const
{
    return count(oldFaces, oxFaceChange::Unchanged) == oldFaces.size() &&
           count(newFaces, oxFaceChange::Unchanged) == newFaces.size();
}

bool oxCompare::run(const oxRenderScene& oldScene, const oxRenderScene& newScene, const oxCompareOptions& options,
                    oxCompareResult& out, std::string& error)
{
    osg::Pnt3f low, high;
    if (oldScene.triangleCount() == 0 || newScene.triangleCount() == 0 || !oldScene.bounds(low, high))
    {
        error = std::string("cannot compare: the ") + (oldScene.triangleCount() == 0 ? "old" : "new") +
                " part has no surface";
        return false;
    }
    const double size = (high - low).length();
    out = oxCompareResult();
    out.tolerance = options.tolerance > 0 ? options.tolerance : oxCompareOptions::DefaultTolerance * size;
    out.reach = std::max(oxCompareOptions::ReachTolerances * out.tolerance, oxCompareOptions::ReachOfSize * size);
    const int count = std::max(options.samplesPerFace, 1);
    const std::atomic<bool>* cancel = options.cancel;
    // A stage cut short measured part of the faces: nothing of it counts.
    const auto cancelled = [&]
    {
        if (!isSet(cancel))
            return false;
        out = oxCompareResult();
        error = "the comparison was cancelled";
        return true;
    };
    Part oldPart(oldScene), newPart(newScene);
    samplePart(oldPart, count, cancel);
    samplePart(newPart, count, cancel);
    if (cancelled() || (options.align && !alignParts(newPart, oldScene, out, error)))
        return false;
    osg::Matrix back = out.alignment;
    back.invert();
    out.newToOld = measure(newPart, out.alignment, oldPart, count, out.tolerance, out.reach, cancel);
    if (cancelled())
        return false;
    out.oldToNew = measure(oldPart, back, newPart, count, out.tolerance, out.reach, cancel);
    if (cancelled())
        return false;
    out.oldFaces = classify(oldPart, newPart, out.tolerance, oxFaceChange::Removed);
    out.newFaces = classify(newPart, oldPart, out.tolerance, oxFaceChange::Added);
    return true;
}
