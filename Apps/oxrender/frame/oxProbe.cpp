#include "oxProbe.h"

#include "oxCadMesh.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"

#include <embree3/rtcore.h>

#include <cmath>
#include <limits>

namespace
{
// The exact surface at the hit, as the renderer's exact shading finds it.
void probeCadFace(const oxRenderScene& scene, const osg::Pnt3f& origin, const osg::Vec3f& direction, float u, float v,
                  oxProbe& out)
{
    if (!scene.placedCad(out.mesh))
        return;
    size_t face = scene.triangleFaces(out.mesh)[out.triangle];
    long offset = 0;
    for (size_t i = 0; i < out.mesh; ++i)
        if (const oxCadMesh* before = scene.placedCad(i))
            offset += long(before->model->faceCount());
    out.face = offset + long(face);
    if (!scene.exactShading())
        return;
    oxCadRayOptions options;
    options.nearEdge = scene.triangleNearEdge(out.mesh)[out.triangle] != 0;
    const float w = 1.f - u - v;
    const double* c = scene.cornerUV(out.mesh) + 6 * size_t(out.triangle);
    const double su = c[0] * w + c[2] * u + c[4] * v, sv = c[1] * w + c[3] * u + c[5] * v;
    const float hit[3] = {out.point[0], out.point[1], out.point[2]};
    const float d[3] = {direction[0], direction[1], direction[2]};
    float q[3], n[3], kMax = 0.f, kMin = 0.f;
    if (!scene.rayHit(out.mesh, face, su, sv, hit, d, q, n, &kMax, &kMin, options))
        return;
    out.face = offset + long(face);
    out.point = osg::Pnt3f(q[0], q[1], q[2]);
    out.distance = (out.point - origin).length() / direction.length();
    out.normal = osg::Vec3f(n[0], n[1], n[2]);
    out.k1 = std::max(kMax, kMin);
    out.k2 = std::min(kMax, kMin);
    out.exact = true;
}
} // namespace

bool oxProbe::trace(const oxRenderScene& scene, const osg::Pnt3f& origin, const osg::Vec3f& direction, oxProbe& out)
{
    RTCScene handle = scene.handle();
    if (!handle || !(direction.length() > 0.f) || !oxRenderMath::traceable(origin, direction))
        return false;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit rh{};
    rh.ray.org_x = scene.toTrace(origin[0]);
    rh.ray.org_y = scene.toTrace(origin[1]);
    rh.ray.org_z = scene.toTrace(origin[2]);
    rh.ray.dir_x = direction[0];
    rh.ray.dir_y = direction[1];
    rh.ray.dir_z = direction[2];
    rh.ray.tnear = 0.f;
    rh.ray.tfar = std::numeric_limits<float>::infinity();
    rh.ray.mask = ~0u;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(handle, &context, &rh);
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID || rh.hit.geomID >= scene.meshCount())
        return false;

    // The geometric normal only for its direction, which the BVH's scale keeps.
    at(scene, origin, direction, rh.hit.geomID, rh.hit.primID, rh.hit.u, rh.hit.v, scene.fromTrace(rh.ray.tfar),
       osg::Vec3f(rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z), out);
    return true;
}

void oxProbe::at(const oxRenderScene& scene, const osg::Pnt3f& origin, const osg::Vec3f& direction, size_t m,
                 unsigned f, float u, float v, float distance, const osg::Vec3f& ng, oxProbe& out)
{
    const float w = 1.f - u - v;
    out = oxProbe();
    out.mesh = m;
    out.triangle = f;
    out.u = u;
    out.v = v;
    out.distance = distance;
    out.point = origin + direction * distance;
    if (scene.points(m))
        return atPoint(scene, ng, out);

    const float* cn = scene.cornerNormals(m) + 9 * size_t(f);
    osg::Vec3f n(cn[0] * w + cn[3] * u + cn[6] * v, cn[1] * w + cn[4] * u + cn[7] * v,
                 cn[2] * w + cn[5] * u + cn[8] * v);
    if (!(n.length() > 1e-12f))
        n = ng;
    n.normalize();
    out.normal = n;

    const oxPrincipalCurvatures& c = scene.curvatures(m);
    const float* cc = scene.cornerCurvatures(m) + 6 * size_t(f);
    const float kMax = cc[0] * w + cc[2] * u + cc[4] * v, kMin = cc[1] * w + cc[3] * u + cc[5] * v;
    out.k1 = std::max(kMax, kMin);
    out.k2 = std::min(kMax, kMin);
    out.exact = c.exact;

    // Directions have no sign: each corner's is turned to agree with the first before blending.
    const oxRenderMesh& mesh = scene.mesh(m);
    osg::Vec3f d1;
    if (c.dirMax.size() == mesh.positions.size() && 3 * size_t(f) + 2 < mesh.indices.size())
    {
        const float weight[3] = {w, u, v};
        const osg::Vec3f first = c.dirMax[mesh.indices[3 * size_t(f)]];
        for (int k = 0; k < 3; ++k)
        {
            const osg::Vec3f d = c.dirMax[mesh.indices[3 * size_t(f) + size_t(k)]];
            d1 += (d.dot(first) < 0.f ? -d : d) * weight[k];
        }
    }
    probeCadFace(scene, origin, direction, u, v, out);
    setDirections(d1, out);
}

void oxProbe::setDirections(osg::Vec3f d1, oxProbe& out)
{
    const osg::Vec3f n = out.normal;
    d1 -= n * d1.dot(n);
    if (!(d1.length() > 1e-6f))
    {
        // Umbilic or no directions: any tangent will do.
        d1 = std::fabs(n[0]) < 0.9f ? osg::Vec3f(1.f, 0.f, 0.f).cross(n) : osg::Vec3f(0.f, 1.f, 0.f).cross(n);
    }
    d1.normalize();
    out.dir1 = d1;
    out.dir2 = n.cross(d1);
    out.dir2.normalize();
}

void oxProbe::atPoint(const oxRenderScene& scene, const osg::Vec3f& ng, oxProbe& out)
{
    // A cloud's point: where it lies, its own normal where the cloud has them; it bends nowhere.
    const oxRenderMesh& mesh = scene.mesh(out.mesh);
    if (out.triangle < mesh.positions.size())
        out.point = mesh.positions[out.triangle];
    osg::Vec3f n = ng;
    if (scene.cornerNormalStride(out.mesh) == 3)
    {
        const float* cn = scene.cornerNormals(out.mesh) + 3 * size_t(out.triangle);
        n = osg::Vec3f(cn[0], cn[1], cn[2]);
    }
    if (!(n.length() > 1e-12f))
        n = ng;
    n.normalize();
    out.normal = n;
    setDirections(osg::Vec3f(), out);
}
