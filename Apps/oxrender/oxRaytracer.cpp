#include "oxRaytracer.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace
{
const float Infinity = std::numeric_limits<float>::infinity();

// Runs fn(x0, y0, x1, y1) for every tile of the image, tiles handed out to threads in turn.
template <class Fn> void forEachTile(int width, int height, int threads, const Fn& fn)
{
    const int tilesX = (width + oxRaytracer::TileSize - 1) / oxRaytracer::TileSize;
    const int tilesY = (height + oxRaytracer::TileSize - 1) / oxRaytracer::TileSize;
    const int tiles = tilesX * tilesY;
    std::atomic<int> next{0};
    auto work = [&] {
        for (int tile = next++; tile < tiles; tile = next++)
        {
            const int x0 = (tile % tilesX) * oxRaytracer::TileSize, y0 = (tile / tilesX) * oxRaytracer::TileSize;
            fn(x0, y0, std::min(x0 + oxRaytracer::TileSize, width), std::min(y0 + oxRaytracer::TileSize, height));
        }
    };
    const int helpers = std::max(0, std::min(threads, tiles) - 1);
    std::vector<std::thread> pool;
    pool.reserve(size_t(helpers));
    for (int i = 0; i < helpers; ++i)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
}

// Traces the pixels of one tile in packets of 8 (4 x 2) and hands each pixel's ray and hit to fn.
template <class Fn> void traceTile(RTCScene scene, const oxRenderCamera& camera, int x0, int y0, int x1, int y1, Fn&& fn)
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    alignas(32) RTCRayHit8 packet;
    alignas(32) int valid[8];
    for (int by = y0; by < y1; by += 2)
        for (int bx = x0; bx < x1; bx += 4)
        {
            for (int k = 0; k < 8; ++k)
            {
                const int x = bx + (k & 3), y = by + (k >> 2);
                valid[k] = x < x1 && y < y1 ? -1 : 0;
                osg::Pnt3f o;
                osg::Vec3f d;
                camera.ray(float(x) + 0.5f, float(y) + 0.5f, o, d);
                packet.ray.org_x[k] = o[0];
                packet.ray.org_y[k] = o[1];
                packet.ray.org_z[k] = o[2];
                packet.ray.dir_x[k] = d[0];
                packet.ray.dir_y[k] = d[1];
                packet.ray.dir_z[k] = d[2];
                packet.ray.tnear[k] = 0.f;
                packet.ray.tfar[k] = Infinity;
                packet.ray.time[k] = 0.f;
                packet.ray.mask[k] = ~0u;
                packet.ray.id[k] = unsigned(k);
                packet.ray.flags[k] = 0;
                packet.hit.geomID[k] = RTC_INVALID_GEOMETRY_ID;
                packet.hit.instID[0][k] = RTC_INVALID_GEOMETRY_ID;
            }
            rtcIntersect8(valid, scene, &context, &packet);
            for (int k = 0; k < 8; ++k)
                if (valid[k])
                    fn(bx + (k & 3), by + (k >> 2), packet, k);
        }
}

QRgb toRgb(const osg::Color3f& c)
{
    auto channel = [](float v) { return int(std::lround(std::clamp(std::isfinite(v) ? v : 0.f, 0.f, 1.f) * 255.f)); };
    return qRgb(channel(c[0]), channel(c[1]), channel(c[2]));
}

QRgb background(int y, int height)
{
    const float t = height > 1 ? float(y) / float(height - 1) : 0.f;
    return toRgb(osg::Color3f(0.33f, 0.35f, 0.40f) * (1.f - t) + osg::Color3f(0.17f, 0.18f, 0.21f) * t);
}
} // namespace

oxRaytracer::oxRaytracer(int threads)
    : _threads(threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency())))
{
}

QImage oxRaytracer::render(const oxRenderScene& scene, oxRenderCamera camera, const oxAnalysisShader& shader,
                           int width, int height, std::vector<float>* depth) const
{
    width = std::max(1, width);
    height = std::max(1, height);
    camera.setup(width, height);
    QImage image(width, height, QImage::Format_RGB32);
    if (depth)
        depth->assign(size_t(width) * size_t(height), Infinity);
    if (shader.needsCurvature())
        scene.prepareCurvatures();
    QRgb* pixels = reinterpret_cast<QRgb*>(image.bits());
    const size_t stride = size_t(image.bytesPerLine() / 4);
    float* depthOut = depth ? depth->data() : nullptr;
    const osg::Vec3f forward = camera.forward();
    const bool curvature = shader.needsCurvature();
    RTCScene handle = scene.handle();

    forEachTile(width, height, _threads, [&](int x0, int y0, int x1, int y1) {
        if (!handle)
        {
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    pixels[size_t(y) * stride + size_t(x)] = background(y, height);
            return;
        }
        traceTile(handle, camera, x0, y0, x1, y1, [&](int x, int y, const RTCRayHit8& p, int k) {
            QRgb& out = pixels[size_t(y) * stride + size_t(x)];
            const unsigned geomID = p.hit.geomID[k];
            if (geomID == RTC_INVALID_GEOMETRY_ID || geomID >= scene.meshCount())
            {
                out = background(y, height);
                return;
            }
            const osg::Vec3f d(p.ray.dir_x[k], p.ray.dir_y[k], p.ray.dir_z[k]);
            const float t = p.ray.tfar[k];
            const osg::Vec3f hit = osg::Vec3f(p.ray.org_x[k], p.ray.org_y[k], p.ray.org_z[k]) + d * t;
            if (depthOut)
                depthOut[size_t(y) * size_t(width) + size_t(x)] = t * d.dot(forward);

            const oxRenderMesh& mesh = scene.mesh(geomID);
            const size_t tri = p.hit.primID[k];
            const osg::UInt32 i0 = mesh.indices[3 * tri], i1 = mesh.indices[3 * tri + 1],
                              i2 = mesh.indices[3 * tri + 2];
            const float u = p.hit.u[k], v = p.hit.v[k], w = 1.f - u - v;
            osg::Vec3f n = mesh.normals[i0] * w + mesh.normals[i1] * u + mesh.normals[i2] * v;
            const float len = n.length();
            n = len > 1e-12f ? n * (1.f / len) : osg::Vec3f(p.hit.Ng_x[k], p.hit.Ng_y[k], p.hit.Ng_z[k]);
            n.normalize();
            // Seen from behind, a surface shows its other side.
            if (n.dot(d) > 0.f)
                n = -n;
            float kMax = 0.f, kMin = 0.f;
            if (curvature)
            {
                const oxPrincipalCurvatures& c = scene.curvatures(geomID);
                kMax = c.kMax[i0] * w + c.kMax[i1] * u + c.kMax[i2] * v;
                kMin = c.kMin[i0] * w + c.kMin[i1] * u + c.kMin[i2] * v;
            }
            out = toRgb(shader.shade(hit, n, d, kMax, kMin));
        });
    });
    return image;
}

void oxRaytracer::castPrimaryRays(const oxRenderScene& scene, oxRenderCamera camera, int width, int height,
                                  std::vector<float>& depth) const
{
    width = std::max(1, width);
    height = std::max(1, height);
    camera.setup(width, height);
    depth.assign(size_t(width) * size_t(height), Infinity);
    RTCScene handle = scene.handle();
    if (!handle)
        return;
    const osg::Vec3f forward = camera.forward();
    float* out = depth.data();
    forEachTile(width, height, _threads, [&](int x0, int y0, int x1, int y1) {
        traceTile(handle, camera, x0, y0, x1, y1, [&](int x, int y, const RTCRayHit8& p, int k) {
            if (p.hit.geomID[k] != RTC_INVALID_GEOMETRY_ID)
                out[size_t(y) * size_t(width) + size_t(x)] =
                    p.ray.tfar[k] * (p.ray.dir_x[k] * forward[0] + p.ray.dir_y[k] * forward[1] +
                                     p.ray.dir_z[k] * forward[2]);
        });
    });
}
