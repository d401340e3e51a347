#include "oxRaytracer.h"

#include "oxDeviationCorners.h"
#include "oxRenderMath.h"

#include <embree3/rtcore.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace
{
const float Infinity = std::numeric_limits<float>::infinity();

// Runs fn(x0, y0, x1, y1) for every tile of the image, tiles handed out to TBB's threads (Embree's
// own) in turn; threads > 0 caps their number.
template <class Fn> void forEachTile(int width, int height, int threads, const Fn& fn)
{
    const int tilesX = (width + oxRaytracer::TileSize - 1) / oxRaytracer::TileSize;
    const int tilesY = (height + oxRaytracer::TileSize - 1) / oxRaytracer::TileSize;
    auto work = [&]
    {
        tbb::parallel_for(0, tilesX * tilesY,
                          [&](int tile)
                          {
                              const int x0 = (tile % tilesX) * oxRaytracer::TileSize;
                              const int y0 = (tile / tilesX) * oxRaytracer::TileSize;
                              fn(x0, y0, std::min(x0 + oxRaytracer::TileSize, width),
                                 std::min(y0 + oxRaytracer::TileSize, height));
                          });
    };
    if (threads > 0)
        tbb::task_arena(threads).execute(work);
    else
        work();
}

// Traces the pixels of one tile in packets of 8 (4 x 2) and hands each pixel's ray and hit to fn.
// Where in its pixel a ray goes: the centre for one sample; otherwise a point jittered within cell
// sample of a samples x samples grid over the pixel, the same for the same pixel in every frame.
// The jitter keeps the regular grid's own pattern out of fine stripes.
inline void samplePoint(int x, int y, int sample, int samples, float& px, float& py)
{
    if (samples == 1)
    {
        px = float(x) + 0.5f;
        py = float(y) + 0.5f;
        return;
    }
    std::uint32_t h =
        std::uint32_t(x) * 0x8da6b343u ^ std::uint32_t(y) * 0xd8163841u ^ std::uint32_t(sample) * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    const float jx = float(h & 0xffffu) / 65536.f, jy = float(h >> 16) / 65536.f;
    const float cell = 1.f / float(samples);
    px = float(x) + (float(sample % samples) + jx) * cell;
    py = float(y) + (float(sample / samples) + jy) * cell;
}

template <class Fn>
void traceTile(RTCScene scene, const oxRenderCamera& camera, int x0, int y0, int x1, int y1, int sample, int samples,
               Fn&& fn)
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    alignas(32) RTCRayHit8 packet;
    alignas(32) int valid[8];
    bool inTile[8];
    for (int by = y0; by < y1; by += 2)
        for (int bx = x0; bx < x1; bx += 4)
        {
            for (int k = 0; k < 8; ++k)
            {
                const int x = bx + (k & 3), y = by + (k >> 2);
                osg::Pnt3f o;
                osg::Vec3f d;
                float px, py;
                samplePoint(x, y, sample, samples, px, py);
                camera.ray(px, py, o, d);
                // An untraceable ray stays out of the packet and its pixel is a miss.
                inTile[k] = x < x1 && y < y1;
                valid[k] = inTile[k] && oxRenderMath::traceable(o, d) ? -1 : 0;
                if (!valid[k])
                {
                    o = osg::Pnt3f(0.f, 0.f, 0.f);
                    d = osg::Vec3f(0.f, 0.f, 1.f);
                }
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
                if (inTile[k])
                    fn(bx + (k & 3), by + (k >> 2), packet, k);
        }
}

QRgb toRgb(const osg::Color3f& c)
{
    auto channel = [](float v) { return int(std::clamp(v, 0.f, 1.f) * 255.f + 0.5f); };
    return qRgb(channel(c[0]), channel(c[1]), channel(c[2]));
}

using oxRenderMath::unit;

// The background's colour per row: a vertical gradient.
std::vector<QRgb> backgroundRows(int height)
{
    std::vector<QRgb> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
    {
        const float t = height > 1 ? float(y) / float(height - 1) : 0.f;
        rows[size_t(y)] = toRgb(osg::Color3f(0.33f, 0.35f, 0.40f) * (1.f - t) + osg::Color3f(0.17f, 0.18f, 0.21f) * t);
    }
    return rows;
}
// CAD faces: the exact surface where the ray meets it, found from the (u, v) interpolated over
// the triangle, so that stripes follow the surface, not its tessellation. False where the scene
// has no exact data for the hit or the surface cannot be evaluated there.
bool exactHit(const oxRenderScene& scene, unsigned geomID, unsigned primID, float u, float v, bool curvature,
              oxShadingBatch& batch, int i)
{
    const oxCadMesh* cad = scene.cad(geomID);
    if (!cad)
        return false;
    const float w = 1.f - u - v;
    const double* c = scene.cornerUV(geomID) + 6 * size_t(primID);
    const double su = c[0] * w + c[2] * u + c[4] * v, sv = c[1] * w + c[3] * u + c[5] * v;
    const float hit[3] = {batch.p.x[i], batch.p.y[i], batch.p.z[i]};
    const float d[3] = {batch.d.x[i], batch.d.y[i], batch.d.z[i]};
    float n[3], q[3];
    const osg::UInt32 face = scene.triangleFaces(geomID)[primID];
    if (!cad->model->rayHit(face, su, sv, hit, d, q, n, curvature ? &batch.kMax[i] : nullptr, &batch.kMin[i],
                            scene.faceCurvatureBounds(geomID)[face]))
        return false;
    batch.p.set(i, osg::Vec3f(q[0], q[1], q[2]));
    // Seen from behind, a surface shows its other side.
    const float sign = n[0] * d[0] + n[1] * d[1] + n[2] * d[2] > 0.f ? -1.f : 1.f;
    batch.n.set(i, osg::Vec3f(n[0], n[1], n[2]) * sign);
    batch.side[i] = sign;
    return true;
}

// What every tile of one frame reads: set up once per frame, then shared by the threads.
struct FramePass
{
    const oxRenderScene& scene;
    const oxRenderCamera& camera;
    const oxAnalysisShader& shader;
    RTCScene handle;
    int width, samples;
    bool curvature, exact;
    const oxDeviationCorners* deviation; // null unless the shader colours by it
    osg::Vec3f forward;
    float* depthOut;                  // null when no depth is wanted
    float* valueOut;                  // the shader's values, null unless wanted
    std::vector<QRgb> backgroundRows; // the background's colour per row

    // Where a traced ray hit a triangle, kept until the tile's shading batch is full.
    struct Hit
    {
        int x, y;
        unsigned geomID, primID;
        float u, v;
        float ng[3]; // plain floats: a tile's worth of hits is not cleared first
    };

    // One pass over a tile, each pixel's ray through its point of this sample; put(x, y, colour)
    // receives each pixel's colour.
    template <class Put> void shadeTile(int x0, int y0, int x1, int y1, int sample, Put&& put) const
    {
        Hit hits[oxRaytracer::TileSize * oxRaytracer::TileSize];
        oxShadingBatch batch;
        collectHits(x0, y0, x1, y1, sample, hits, batch, put);
        for (int i = 0; i < batch.count; ++i)
            if (!(exact && exactHit(scene, hits[i].geomID, hits[i].primID, hits[i].u, hits[i].v, curvature, batch, i)))
                interpolate(hits[i], batch, i);
        if (deviation)
            for (int i = 0; i < batch.count; ++i)
                batch.value[i] = distance(hits[i]);
        shader.shade(batch);
        for (int i = 0; i < batch.count; ++i)
            put(hits[i].x, hits[i].y, QRgb(batch.colour[i]));
        if (valueOut)
            for (int i = 0; i < batch.count; ++i)
                valueOut[size_t(hits[i].y) * size_t(width) + size_t(hits[i].x)] = batch.value[i];
    }

    // The distance interpolated over the hit's triangle; NaN where there is none for the mesh.
    float distance(const Hit& h) const
    {
        const float* c = deviation->corners(h.geomID);
        if (!c)
            return std::numeric_limits<float>::quiet_NaN();
        c += 3 * size_t(h.primID);
        return c[0] * (1.f - h.u - h.v) + c[1] * h.u + c[2] * h.v;
    }

    // Traces the whole tile first and asks for each hit's triangle data at once, so that the
    // memory fetches overlap instead of stalling one pixel after another; misses get the
    // background straight away.
    template <class Put>
    void collectHits(int x0, int y0, int x1, int y1, int sample, Hit* hits, oxShadingBatch& batch, Put& put) const
    {
        int& count = batch.count;
        traceTile(handle, camera, x0, y0, x1, y1, sample, samples,
                  [&](int x, int y, const RTCRayHit8& p, int k)
                  {
                      const unsigned geomID = p.hit.geomID[k];
                      if (geomID == RTC_INVALID_GEOMETRY_ID || geomID >= scene.meshCount())
                      {
                          put(x, y, backgroundRows[size_t(y)]);
                          if (valueOut)
                              valueOut[size_t(y) * size_t(width) + size_t(x)] = std::numeric_limits<float>::quiet_NaN();
                          return;
                      }
                      Hit& h = hits[count];
                      h.x = x;
                      h.y = y;
                      h.geomID = geomID;
                      h.primID = p.hit.primID[k];
                      h.u = p.hit.u[k];
                      h.v = p.hit.v[k];
                      h.ng[0] = p.hit.Ng_x[k];
                      h.ng[1] = p.hit.Ng_y[k];
                      h.ng[2] = p.hit.Ng_z[k];
                      const float t = p.ray.tfar[k];
                      const osg::Vec3f d(p.ray.dir_x[k], p.ray.dir_y[k], p.ray.dir_z[k]);
                      batch.d.set(count, d);
                      batch.p.set(count, osg::Vec3f(p.ray.org_x[k], p.ray.org_y[k], p.ray.org_z[k]) + d * t);
                      if (depthOut)
                      {
                          float& z = depthOut[size_t(y) * size_t(width) + size_t(x)];
                          z = std::min(z, t * d.dot(forward));
                      }
                      prefetch(h);
                      ++count;
                  });
    }

    void prefetch(const Hit& h) const
    {
        const float* cn = scene.cornerNormals(h.geomID) + 9 * size_t(h.primID);
        __builtin_prefetch(cn);
        __builtin_prefetch(cn + 8);
        if (curvature)
        {
            const float* cc = scene.cornerCurvatures(h.geomID) + 6 * size_t(h.primID);
            __builtin_prefetch(cc);
            __builtin_prefetch(cc + 5);
        }
        if (deviation)
            if (const float* c = deviation->corners(h.geomID))
                __builtin_prefetch(c + 3 * size_t(h.primID));
    }

    // The hit's normal (and curvatures) interpolated over its triangle's corners; the geometric
    // normal where the corners' normals cancel.
    void interpolate(const Hit& h, oxShadingBatch& batch, int i) const
    {
        const float* cn = scene.cornerNormals(h.geomID) + 9 * size_t(h.primID);
        const float u = h.u, v = h.v, w = 1.f - u - v;
        osg::Vec3f n(cn[0] * w + cn[3] * u + cn[6] * v, cn[1] * w + cn[4] * u + cn[7] * v,
                     cn[2] * w + cn[5] * u + cn[8] * v);
        const float len = n.length();
        if (len > 1e-12f)
            n *= 1.f / len;
        else
            n = unit(osg::Vec3f(h.ng[0], h.ng[1], h.ng[2]));
        // Seen from behind, a surface shows its other side.
        const bool behind = n[0] * batch.d.x[i] + n[1] * batch.d.y[i] + n[2] * batch.d.z[i] > 0.f;
        batch.n.set(i, behind ? -n : n);
        batch.side[i] = behind ? -1.f : 1.f;
        if (curvature)
        {
            const float* cc = scene.cornerCurvatures(h.geomID) + 6 * size_t(h.primID);
            batch.kMax[i] = cc[0] * w + cc[2] * u + cc[4] * v;
            batch.kMin[i] = cc[1] * w + cc[3] * u + cc[5] * v;
        }
    }
};

// Writes one tile of the frame: the background without a scene, else one shaded ray per pixel,
// or the average of samples x samples rays.
void renderTile(const FramePass& pass, QRgb* pixels, size_t stride, int x0, int y0, int x1, int y1)
{
    constexpr int TileSize = oxRaytracer::TileSize;
    if (!pass.handle)
    {
        for (int y = y0; y < y1; ++y)
            std::fill(pixels + size_t(y) * stride + size_t(x0), pixels + size_t(y) * stride + size_t(x1),
                      pass.backgroundRows[size_t(y)]);
        return;
    }
    if (pass.samples == 1)
    {
        pass.shadeTile(x0, y0, x1, y1, 0, [&](int x, int y, QRgb c) { pixels[size_t(y) * stride + size_t(x)] = c; });
        return;
    }
    // Stratified: one ray through each of samples x samples cells of the pixel, every one shaded
    // on its own, and the colours averaged.
    float sum[TileSize * TileSize][3] = {};
    auto add = [&](int x, int y, QRgb c)
    {
        float* s = sum[(y - y0) * TileSize + (x - x0)];
        s[0] += float(qRed(c));
        s[1] += float(qGreen(c));
        s[2] += float(qBlue(c));
    };
    for (int sample = 0; sample < pass.samples * pass.samples; ++sample)
        pass.shadeTile(x0, y0, x1, y1, sample, add);
    const float scale = 1.f / float(pass.samples * pass.samples);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
        {
            const float* s = sum[(y - y0) * TileSize + (x - x0)];
            pixels[size_t(y) * stride + size_t(x)] =
                qRgb(int(s[0] * scale + 0.5f), int(s[1] * scale + 0.5f), int(s[2] * scale + 0.5f));
        }
}
} // namespace

oxRaytracer::oxRaytracer(int threads) : _threads(std::max(0, threads)) {}

QImage oxRaytracer::render(const oxRenderScene& scene, oxRenderCamera camera, const oxAnalysisShader& shader, int width,
                           int height, std::vector<float>* depth, int samples, std::vector<float>* values) const
{
    static_assert(TileSize * TileSize <= oxShadingBatch::Capacity, "a tile's hits fit one shading batch");
    width = std::max(1, width);
    height = std::max(1, height);
    samples = std::clamp(samples, 1, MaxSamples);
    camera.setup(width, height);
    // The last frame's buffer when nobody else holds it any more: a fresh 4 MB image costs its
    // page faults every frame.
    if (_frame.width() != width || _frame.height() != height || !_frame.isDetached())
        _frame = QImage(width, height, QImage::Format_RGB32);
    if (depth)
        depth->assign(size_t(width) * size_t(height), Infinity);
    const bool valued = values && shader.kind() == oxAnalysisShader::Draft;
    if (values)
    {
        // Every pixel's value is written as its ray is traced; only a frame without a scene is filled here.
        const size_t count = valued ? size_t(width) * size_t(height) : 0;
        if (valued && scene.handle())
            values->resize(count);
        else
            values->assign(count, std::numeric_limits<float>::quiet_NaN());
    }
    const bool curvature = shader.needsCurvature();
    const bool exact = scene.exactShading();
    if (curvature)
        scene.prepareCurvatures();
    const FramePass pass{scene,
                         camera,
                         shader,
                         scene.handle(),
                         width,
                         samples,
                         curvature,
                         exact,
                         shader.deviation(),
                         camera.forward(),
                         depth ? depth->data() : nullptr,
                         valued ? values->data() : nullptr,
                         backgroundRows(height)};
    QRgb* pixels = reinterpret_cast<QRgb*>(_frame.bits());
    const size_t stride = size_t(_frame.bytesPerLine() / 4);
    forEachTile(width, height, _threads,
                [&](int x0, int y0, int x1, int y1) { renderTile(pass, pixels, stride, x0, y0, x1, y1); });
    return _frame;
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
                    traceTile(handle, camera, x0, y0, x1, y1, 0, 1,
                              [&](int x, int y, const RTCRayHit8& p, int k)
                              {
                                  if (p.hit.geomID[k] != RTC_INVALID_GEOMETRY_ID)
                                      out[size_t(y) * size_t(width) + size_t(x)] =
                                          p.ray.tfar[k] * (p.ray.dir_x[k] * forward[0] + p.ray.dir_y[k] * forward[1] +
                                                           p.ray.dir_z[k] * forward[2]);
                              });
                });
}
