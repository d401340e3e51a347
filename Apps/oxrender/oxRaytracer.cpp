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
    auto work = [&]
    {
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
template <class Fn>
void traceTile(RTCScene scene, const oxRenderCamera& camera, int x0, int y0, int x1, int y1, Fn&& fn)
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
    // NaN fails both comparisons and becomes 0.
    auto channel = [](float v) { return int((v > 0.f ? (v < 1.f ? v : 1.f) : 0.f) * 255.f + 0.5f); };
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

QImage oxRaytracer::render(const oxRenderScene& scene, oxRenderCamera camera, const oxAnalysisShader& shader, int width,
                           int height, std::vector<float>* depth) const
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
    std::vector<QRgb> backgroundRows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        backgroundRows[size_t(y)] = background(y, height);

    forEachTile(width, height, _threads,
                [&](int x0, int y0, int x1, int y1)
                {
                    if (!handle)
                    {
                        for (int y = y0; y < y1; ++y)
                            for (int x = x0; x < x1; ++x)
                                pixels[size_t(y) * stride + size_t(x)] = backgroundRows[size_t(y)];
                        return;
                    }
                    // Trace the whole tile first and ask for each hit's triangle data at once, so that the
                    // memory fetches overlap instead of stalling one pixel after another; then shade.
                    struct Hit
                    {
                        int x, y;
                        unsigned geomID, primID;
                        float u, v, t;
                        osg::Vec3f d, origin, ng;
                    };
                    Hit hits[TileSize * TileSize];
                    int count = 0;
                    traceTile(handle, camera, x0, y0, x1, y1,
                              [&](int x, int y, const RTCRayHit8& p, int k)
                              {
                                  const unsigned geomID = p.hit.geomID[k];
                                  if (geomID == RTC_INVALID_GEOMETRY_ID || geomID >= scene.meshCount())
                                  {
                                      pixels[size_t(y) * stride + size_t(x)] = backgroundRows[size_t(y)];
                                      return;
                                  }
                                  Hit& h = hits[count++];
                                  h.x = x;
                                  h.y = y;
                                  h.geomID = geomID;
                                  h.primID = p.hit.primID[k];
                                  h.u = p.hit.u[k];
                                  h.v = p.hit.v[k];
                                  h.t = p.ray.tfar[k];
                                  h.d = osg::Vec3f(p.ray.dir_x[k], p.ray.dir_y[k], p.ray.dir_z[k]);
                                  h.origin = osg::Vec3f(p.ray.org_x[k], p.ray.org_y[k], p.ray.org_z[k]);
                                  h.ng = osg::Vec3f(p.hit.Ng_x[k], p.hit.Ng_y[k], p.hit.Ng_z[k]);
                                  const float* cn = scene.cornerNormals(geomID) + 9 * size_t(h.primID);
                                  __builtin_prefetch(cn);
                                  __builtin_prefetch(cn + 8);
                                  if (curvature)
                                  {
                                      const float* cc = scene.cornerCurvatures(geomID) + 6 * size_t(h.primID);
                                      __builtin_prefetch(cc);
                                      __builtin_prefetch(cc + 5);
                                  }
                              });
                    for (int i = 0; i < count; ++i)
                    {
                        const Hit& h = hits[i];
                        if (depthOut)
                            depthOut[size_t(h.y) * size_t(width) + size_t(h.x)] = h.t * h.d.dot(forward);
                        const float* cn = scene.cornerNormals(h.geomID) + 9 * size_t(h.primID);
                        const float u = h.u, v = h.v, w = 1.f - u - v;
                        osg::Vec3f n(cn[0] * w + cn[3] * u + cn[6] * v, cn[1] * w + cn[4] * u + cn[7] * v,
                                     cn[2] * w + cn[5] * u + cn[8] * v);
                        const float len = n.length();
                        n = len > 1e-12f ? n * (1.f / len) : h.ng;
                        if (!(len > 1e-12f))
                            n.normalize();
                        // Seen from behind, a surface shows its other side.
                        if (n.dot(h.d) > 0.f)
                            n = -n;
                        float kMax = 0.f, kMin = 0.f;
                        if (curvature)
                        {
                            const float* cc = scene.cornerCurvatures(h.geomID) + 6 * size_t(h.primID);
                            kMax = cc[0] * w + cc[2] * u + cc[4] * v;
                            kMin = cc[1] * w + cc[3] * u + cc[5] * v;
                        }
                        pixels[size_t(h.y) * stride + size_t(h.x)] =
                            toRgb(shader.shade(h.origin + h.d * h.t, n, h.d, kMax, kMin));
                    }
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
    forEachTile(width, height, _threads,
                [&](int x0, int y0, int x1, int y1)
                {
                    traceTile(handle, camera, x0, y0, x1, y1,
                              [&](int x, int y, const RTCRayHit8& p, int k)
                              {
                                  if (p.hit.geomID[k] != RTC_INVALID_GEOMETRY_ID)
                                      out[size_t(y) * size_t(width) + size_t(x)] =
                                          p.ray.tfar[k] * (p.ray.dir_x[k] * forward[0] + p.ray.dir_y[k] * forward[1] +
                                                           p.ray.dir_z[k] * forward[2]);
                              });
                });
}
