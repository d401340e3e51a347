#include "oxRaytracer.h"

#include "oxAnalysisShading.h"
#include "oxRenderMath.h"

#include <embree3/rtcore.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

namespace
{
const float Infinity = std::numeric_limits<float>::infinity();

// Runs fn(tile, x0, y0, x1, y1) for every tile of the image, tiles handed out to TBB's threads (Embree's
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
                              fn(tile, x0, y0, std::min(x0 + oxRaytracer::TileSize, width),
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

// Lane k of a packet: the ray from o along d; -1 (valid) for a wanted, traceable ray. An
// untraceable ray stays out of the packet and its pixel is a miss.
int setLane(RTCRayHit8& packet, int k, bool wanted, osg::Pnt3f o, osg::Vec3f d)
{
    const int valid = wanted && oxRenderMath::traceable(o, d) ? -1 : 0;
    if (!valid)
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
    return valid;
}

// Traces a packet of rays in world units through a BVH at 2^-exponent of them (see
// oxRenderScene::traceExponent); the origins, distances and geometric normals come back in world units.
void intersect8(const int* valid, RTCScene scene, int exponent, RTCIntersectContext& context, RTCRayHit8& packet)
{
    if (exponent == 0)
    {
        rtcIntersect8(valid, scene, &context, &packet);
        return;
    }
    float* origin[3] = {packet.ray.org_x, packet.ray.org_y, packet.ray.org_z};
    float world[3][8];
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 8; ++k)
        {
            world[c][k] = origin[c][k];
            origin[c][k] = std::ldexp(origin[c][k], -exponent);
        }
    rtcIntersect8(valid, scene, &context, &packet);
    for (int k = 0; k < 8; ++k)
    {
        for (int c = 0; c < 3; ++c)
            origin[c][k] = world[c][k];
        packet.ray.tfar[k] = std::ldexp(packet.ray.tfar[k], exponent);
        for (float* ng : {packet.hit.Ng_x, packet.hit.Ng_y, packet.hit.Ng_z})
            ng[k] = std::ldexp(ng[k], 2 * exponent);
    }
}

template <class Fn>
void traceTile(RTCScene scene, int exponent, const oxRenderCamera& camera, int x0, int y0, int x1, int y1, int sample,
               int samples, Fn&& fn)
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
                inTile[k] = x < x1 && y < y1;
                valid[k] = setLane(packet, k, inTile[k], o, d);
            }
            intersect8(valid, scene, exponent, context, packet);
            for (int k = 0; k < 8; ++k)
                if (inTile[k])
                    fn(bx + (k & 3), by + (k >> 2), packet, k);
        }
}

// The same for a list of the tile's pixels (y * TileSize + x within it), eight at a time.
template <class Fn>
void tracePixels(RTCScene scene, int exponent, const oxRenderCamera& camera, int x0, int y0, const std::uint8_t* list,
                 int n, Fn&& fn)
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    alignas(32) RTCRayHit8 packet;
    alignas(32) int valid[8];
    for (int base = 0; base < n; base += 8)
    {
        const int lanes = std::min(8, n - base);
        for (int k = 0; k < 8; ++k)
        {
            const int p = list[base + std::min(k, lanes - 1)];
            osg::Pnt3f o;
            osg::Vec3f d;
            camera.ray(float(x0 + p % oxRaytracer::TileSize) + 0.5f, float(y0 + p / oxRaytracer::TileSize) + 0.5f, o,
                       d);
            valid[k] = setLane(packet, k, k < lanes, o, d);
        }
        intersect8(valid, scene, exponent, context, packet);
        for (int k = 0; k < lanes; ++k)
        {
            const int p = list[base + k];
            fn(x0 + p % oxRaytracer::TileSize, y0 + p / oxRaytracer::TileSize, packet, k);
        }
    }
}

// Which of a tile's pixels a pass traces: all, those with even x and y (a frame at half the size
// out of the full one's rays), or the rest of them.
enum class Pixels
{
    All,
    Even,
    Rest
};

// A tile pixel's place in the order a whole tile is traced (4 x 2 blocks, row by row).
inline int traceOrder(int p)
{
    const int x = p % oxRaytracer::TileSize, y = p / oxRaytracer::TileSize;
    return ((y >> 1) * (oxRaytracer::TileSize / 4) + (x >> 2)) * 8 + (y & 1) * 4 + (x & 3);
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
using Segment = oxSurfaceBuffer::Segment;
constexpr int TilePixels = oxRaytracer::TileSize * oxRaytracer::TileSize;

// One sample's hits over one tile for frames traced without a buffer to keep them in.
struct TileScratch
{
    int count = 0;
    std::uint8_t pixel[TilePixels];
    alignas(32) float p[3][TilePixels], n[3][TilePixels], d[3][TilePixels];
    alignas(32) float side[TilePixels], kMax[TilePixels], kMin[TilePixels], u[TilePixels], v[TilePixels];
    std::uint32_t geomID[TilePixels], primID[TilePixels];
    Segment segment()
    {
        return Segment{&count, pixel, p[0], p[1], p[2], n[0], n[1], n[2],   d[0],
                       d[1],   d[2],  side, kMax, kMin, u,    v,    geomID, primID};
    }
};

// CAD faces: the exact surface where the ray meets it, found from the (u, v) interpolated over
// the triangle, so that stripes follow the surface, not its tessellation. False where the scene
// has no exact data for the hit or the surface cannot be evaluated there.
bool exactHit(const oxRenderScene& scene, const Segment& s, int i, bool curvature)
{
    const unsigned geomID = s.geomID[i], primID = s.primID[i];
    if (!scene.placedCad(geomID))
        return false;
    const float u = s.u[i], v = s.v[i], w = 1.f - u - v;
    const double* c = scene.cornerUV(geomID) + 6 * size_t(primID);
    const double su = c[0] * w + c[2] * u + c[4] * v, sv = c[1] * w + c[3] * u + c[5] * v;
    const float hit[3] = {s.px[i], s.py[i], s.pz[i]};
    const float d[3] = {s.dx[i], s.dy[i], s.dz[i]};
    float n[3], q[3], kMin;
    size_t face = scene.triangleFaces(geomID)[primID];
    oxCadRayOptions options;
    options.curvatureBound = scene.faceCurvatureBounds(geomID)[face];
    options.nearEdge = scene.triangleNearEdge(geomID)[primID] != 0;
    if (!scene.rayHit(geomID, face, su, sv, hit, d, q, n, curvature ? &s.kMax[i] : nullptr,
                      curvature ? &s.kMin[i] : &kMin, options))
        return false;
    s.px[i] = q[0];
    s.py[i] = q[1];
    s.pz[i] = q[2];
    // Seen from behind, a surface shows its other side.
    const float sign = n[0] * d[0] + n[1] * d[1] + n[2] * d[2] > 0.f ? -1.f : 1.f;
    const osg::Vec3f turned = osg::Vec3f(n[0], n[1], n[2]) * sign;
    s.nx[i] = turned[0];
    s.ny[i] = turned[1];
    s.nz[i] = turned[2];
    s.side[i] = sign;
    return true;
}

// What every tile of one frame reads: set up once per frame, then shared by the threads.
struct FramePass
{
    FramePass(const oxRenderScene& scene, const oxRenderCamera& camera, const oxColouring& colouring)
        : scene(scene), camera(camera), colouring(colouring)
    {
    }
    const oxRenderScene& scene;
    const oxRenderCamera& camera;
    const oxColouring& colouring;
    RTCScene handle = nullptr;
    int width = 1, samples = 1;
    bool curvature = false, exact = false;
    const oxCornerScalars* cornerValues = nullptr; // null unless the colouring wants them interpolated
    osg::Vec3f forward;
    float* depthOut = nullptr;        // null when no depth is wanted
    float* valueOut = nullptr;        // the colouring's values, null unless kept
    std::vector<QRgb> backgroundRows; // the background's colour per row of the image
    // 1 for an image at half the size from the even pixels, else 0.
    int shift = 0;
    int halfWidth = 0, halfHeight = 0;

    // Whether pixel (x, y) of the traced view is one of the even pixels a half-size image shows.
    bool even(int x, int y) const { return !(x & 1) && !(y & 1) && (x >> 1) < halfWidth && (y >> 1) < halfHeight; }

    // Traces one sample's rays over a tile into s: each hit's point, direction and normal. The rest
    // of the pixels are added to the even ones, and the hits put in the order of a whole trace.
    void traceSegment(int x0, int y0, int x1, int y1, int sample, const Segment& s, Pixels pixels = Pixels::All) const
    {
        int& count = *s.count;
        if (pixels != Pixels::Rest)
            count = 0;
        if (!handle)
            return;
        const int first = count;
        float ng[TilePixels][3];
        collectHits(x0, y0, x1, y1, sample, s, ng, pixels);
        for (int i = first; i < count; ++i)
            if (!(exact && exactHit(scene, s, i, curvature)))
                interpolate(s, i, ng[i - first]);
        if (pixels == Pixels::Rest)
            inTraceOrder(s);
    }

    // Sorts a segment's hits into the order a whole tile's trace gives them, so that its shading
    // batches are those of a whole trace.
    void inTraceOrder(const Segment& s) const
    {
        int at[TilePixels];
        std::fill(std::begin(at), std::end(at), -1);
        const int count = *s.count;
        for (int i = 0; i < count; ++i)
            at[traceOrder(s.pixel[i])] = i;
        int order[TilePixels];
        int n = 0;
        for (int k = 0; k < TilePixels; ++k)
            if (at[k] >= 0)
                order[n++] = at[k];
        auto permute = [&](auto* a)
        {
            if (!a)
                return;
            std::remove_pointer_t<decltype(a)> copy[TilePixels];
            for (int i = 0; i < count; ++i)
                copy[i] = a[order[i]];
            std::copy(copy, copy + count, a);
        };
        permute(s.pixel);
        for (float* a : {s.px, s.py, s.pz, s.nx, s.ny, s.nz, s.dx, s.dy, s.dz, s.side, s.kMax, s.kMin, s.u, s.v})
            permute(a);
        permute(s.geomID);
        permute(s.primID);
    }

    // Colours one sample's hits over a tile; put(x, y, colour) receives each pixel's colour,
    // the background where the sample hit nothing.
    template <class Put> void shadeSegment(int x0, int y0, int x1, int y1, const Segment& s, Put&& put) const
    {
        if (shift)
            return shadeEvenPixels(x0, y0, x1, y1, s, put);
        oxShadingBatch batch;
        const int count = batch.count = *s.count;
        bool hit[TilePixels] = {};
        for (int i = 0; i < count; ++i)
            hit[s.pixel[i]] = true;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (!hit[(y - y0) * oxRaytracer::TileSize + (x - x0)])
                {
                    put(x, y, backgroundRows[size_t(y)]);
                    if (valueOut)
                        valueOut[size_t(y) * size_t(width) + size_t(x)] = std::numeric_limits<float>::quiet_NaN();
                }
        const size_t bytes = size_t(count) * sizeof(float);
        std::memcpy(batch.p.x, s.px, bytes);
        std::memcpy(batch.p.y, s.py, bytes);
        std::memcpy(batch.p.z, s.pz, bytes);
        std::memcpy(batch.n.x, s.nx, bytes);
        std::memcpy(batch.n.y, s.ny, bytes);
        std::memcpy(batch.n.z, s.nz, bytes);
        std::memcpy(batch.d.x, s.dx, bytes);
        std::memcpy(batch.d.y, s.dy, bytes);
        std::memcpy(batch.d.z, s.dz, bytes);
        std::memcpy(batch.side, s.side, bytes);
        std::copy(s.pixel, s.pixel + count, batch.pixel);
        batch.stride = oxRaytracer::TileSize;
        if (curvature)
        {
            std::memcpy(batch.kMax, s.kMax, bytes);
            std::memcpy(batch.kMin, s.kMin, bytes);
        }
        if (cornerValues)
            for (int i = 0; i < count; ++i)
                batch.value[i] = cornerValue(s, i);
        colouring.shade(batch);
        for (int i = 0; i < count; ++i)
        {
            const int x = x0 + s.pixel[i] % oxRaytracer::TileSize, y = y0 + s.pixel[i] / oxRaytracer::TileSize;
            put(x, y, QRgb(batch.colour[i]));
            if (valueOut)
                valueOut[size_t(y) * size_t(width) + size_t(x)] = batch.value[i];
        }
    }

    // The image at half the size: each even pixel's hit shaded into pixel (x / 2, y / 2).
    template <class Put> void shadeEvenPixels(int x0, int y0, int x1, int y1, const Segment& s, Put&& put) const
    {
        oxShadingBatch batch;
        int picked[TilePixels];
        bool hit[TilePixels] = {};
        int& n = batch.count;
        batch.stride = oxRaytracer::TileSize;
        for (int i = 0; i < *s.count; ++i)
            if (even(x0 + s.pixel[i] % oxRaytracer::TileSize, y0 + s.pixel[i] / oxRaytracer::TileSize))
            {
                hit[s.pixel[i]] = true;
                picked[n] = i;
                batch.p.set(n, osg::Vec3f(s.px[i], s.py[i], s.pz[i]));
                batch.n.set(n, osg::Vec3f(s.nx[i], s.ny[i], s.nz[i]));
                batch.d.set(n, osg::Vec3f(s.dx[i], s.dy[i], s.dz[i]));
                batch.side[n] = s.side[i];
                batch.pixel[n] = s.pixel[i];
                if (curvature)
                {
                    batch.kMax[n] = s.kMax[i];
                    batch.kMin[n] = s.kMin[i];
                }
                if (cornerValues)
                    batch.value[n] = cornerValue(s, i);
                ++n;
            }
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (even(x, y) && !hit[(y - y0) * oxRaytracer::TileSize + (x - x0)])
                    write(x >> 1, y >> 1, backgroundRows[size_t(y >> 1)], std::numeric_limits<float>::quiet_NaN(), put);
        colouring.shade(batch);
        for (int j = 0; j < n; ++j)
        {
            const int p = s.pixel[picked[j]];
            write((x0 + p % oxRaytracer::TileSize) >> 1, (y0 + p / oxRaytracer::TileSize) >> 1, QRgb(batch.colour[j]),
                  batch.value[j], put);
        }
    }

    template <class Put> void write(int x, int y, QRgb colour, float value, Put& put) const
    {
        put(x, y, colour);
        if (valueOut)
            valueOut[size_t(y) * size_t(halfWidth) + size_t(x)] = value;
    }

    // The corner values interpolated over the hit's triangle; NaN where the mesh has none.
    float cornerValue(const Segment& s, int i) const
    {
        const float* c = cornerValues->corners(s.geomID[i]);
        if (!c)
            return std::numeric_limits<float>::quiet_NaN();
        if (scene.points(s.geomID[i]))
            return c[s.primID[i]];
        c += 3 * size_t(s.primID[i]);
        return c[0] * (1.f - s.u[i] - s.v[i]) + c[1] * s.u[i] + c[2] * s.v[i];
    }

    // Traces the whole tile first and asks for each hit's triangle data at once, so that the
    // memory fetches overlap instead of stalling one pixel after another.
    void collectHits(int x0, int y0, int x1, int y1, int sample, const Segment& s, float (*ng)[3], Pixels pixels) const
    {
        int& count = *s.count;
        auto hit = [&](int x, int y, const RTCRayHit8& p, int k)
        {
            const unsigned geomID = p.hit.geomID[k];
            if (geomID == RTC_INVALID_GEOMETRY_ID || geomID >= scene.meshCount())
                return;
            const int i = count;
            s.pixel[i] = std::uint8_t((y - y0) * oxRaytracer::TileSize + (x - x0));
            s.geomID[i] = geomID;
            s.primID[i] = p.hit.primID[k];
            s.u[i] = p.hit.u[k];
            s.v[i] = p.hit.v[k];
            ng[i][0] = p.hit.Ng_x[k];
            ng[i][1] = p.hit.Ng_y[k];
            ng[i][2] = p.hit.Ng_z[k];
            const float t = p.ray.tfar[k];
            const osg::Vec3f d(p.ray.dir_x[k], p.ray.dir_y[k], p.ray.dir_z[k]);
            const osg::Vec3f at = osg::Vec3f(p.ray.org_x[k], p.ray.org_y[k], p.ray.org_z[k]) + d * t;
            s.dx[i] = d[0];
            s.dy[i] = d[1];
            s.dz[i] = d[2];
            s.px[i] = at[0];
            s.py[i] = at[1];
            s.pz[i] = at[2];
            if (depthOut)
            {
                float& z = depthOut[size_t(y) * size_t(width) + size_t(x)];
                z = std::min(z, t * d.dot(forward));
            }
            prefetch(geomID, s.primID[i]);
            ++count;
        };
        if (pixels == Pixels::All)
            return traceTile(handle, scene.traceExponent(), camera, x0, y0, x1, y1, sample, samples, hit);
        // The even pixels row by row; the rest in the order of a whole trace.
        std::uint8_t list[TilePixels];
        int n = 0;
        if (pixels == Pixels::Even)
        {
            for (int y = y0; y < y1; y += 2)
                for (int x = x0; x < x1; x += 2)
                    if (even(x, y))
                        list[n++] = std::uint8_t((y - y0) * oxRaytracer::TileSize + (x - x0));
        }
        else
        {
            std::uint8_t byOrder[TilePixels];
            bool used[TilePixels] = {};
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    if (!even(x, y))
                    {
                        const int p = (y - y0) * oxRaytracer::TileSize + (x - x0);
                        byOrder[traceOrder(p)] = std::uint8_t(p);
                        used[traceOrder(p)] = true;
                    }
            for (int k = 0; k < TilePixels; ++k)
                if (used[k])
                    list[n++] = byOrder[k];
        }
        tracePixels(handle, scene.traceExponent(), camera, x0, y0, list, n, hit);
    }

    void prefetch(unsigned geomID, unsigned primID) const
    {
        const float* cn = scene.cornerNormals(geomID) + scene.cornerNormalStride(geomID) * size_t(primID);
        __builtin_prefetch(cn);
        __builtin_prefetch(cn + 8);
        if (curvature)
        {
            const float* cc = scene.cornerCurvatures(geomID) + scene.cornerCurvatureStride(geomID) * size_t(primID);
            __builtin_prefetch(cc);
            __builtin_prefetch(cc + 5);
        }
    }

    // The hit's normal (and curvatures) interpolated over its triangle's corners; the geometric
    // normal where the corners' normals cancel.
    void interpolate(const Segment& s, int i, const float* ng) const
    {
        const size_t stride = scene.cornerNormalStride(s.geomID[i]);
        const float* cn = scene.cornerNormals(s.geomID[i]) + stride * size_t(s.primID[i]);
        // A point has one normal (or none): its corners are all that one.
        const float u = stride == 9 ? s.u[i] : 0.f, v = stride == 9 ? s.v[i] : 0.f, w = 1.f - u - v;
        const float* c1 = stride == 9 ? cn + 3 : cn;
        const float* c2 = stride == 9 ? cn + 6 : cn;
        osg::Vec3f n(cn[0] * w + c1[0] * u + c2[0] * v, cn[1] * w + c1[1] * u + c2[1] * v,
                     cn[2] * w + c1[2] * u + c2[2] * v);
        const float len = n.length();
        if (len > 1e-12f)
            n *= 1.f / len;
        else
            n = unit(osg::Vec3f(ng[0], ng[1], ng[2]));
        // Seen from behind, a surface shows its other side.
        const bool behind = n[0] * s.dx[i] + n[1] * s.dy[i] + n[2] * s.dz[i] > 0.f;
        const osg::Vec3f turned = behind ? -n : n;
        s.nx[i] = turned[0];
        s.ny[i] = turned[1];
        s.nz[i] = turned[2];
        s.side[i] = behind ? -1.f : 1.f;
        if (curvature)
        {
            const float* cc =
                scene.cornerCurvatures(s.geomID[i]) + scene.cornerCurvatureStride(s.geomID[i]) * size_t(s.primID[i]);
            s.kMax[i] = cc[0] * w + cc[2] * u + cc[4] * v;
            s.kMin[i] = cc[1] * w + cc[3] * u + cc[5] * v;
        }
    }
};

// Writes one tile of the frame: each pixel's one sample shaded, or the average of its samples x
// samples. The samples are traced first unless only shade is asked for, into the buffer when
// there is one.
void renderTile(const FramePass& pass, QRgb* pixels, size_t stride, int tile, int x0, int y0, int x1, int y1,
                oxSurfaceBuffer* buffer, bool trace, Pixels traced = Pixels::All)
{
    constexpr int TileSize = oxRaytracer::TileSize;
    TileScratch scratch;
    auto segment = [&](int sample) { return buffer ? buffer->segment(tile, sample) : scratch.segment(); };
    if (pass.samples == 1)
    {
        const Segment s = segment(0);
        if (trace)
            pass.traceSegment(x0, y0, x1, y1, 0, s, traced);
        pass.shadeSegment(x0, y0, x1, y1, s, [&](int x, int y, QRgb c) { pixels[size_t(y) * stride + size_t(x)] = c; });
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
    {
        const Segment s = segment(sample);
        if (trace)
            pass.traceSegment(x0, y0, x1, y1, sample, s);
        pass.shadeSegment(x0, y0, x1, y1, s, add);
    }
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

QImage oxRaytracer::render(const oxRenderScene& scene, oxRenderCamera camera, const oxColouring& colouring, int width,
                           int height, std::vector<float>* depth, int samples, std::vector<float>* values) const
{
    oxSurfaceBuffer::Key key;
    key.camera = camera;
    key.width = width;
    key.height = height;
    key.samples = samples;
    return frame(scene, key, colouring, nullptr, Step::TraceAll, false, depth, values, nullptr);
}

QImage oxRaytracer::render(const oxRenderScene& scene, oxSurfaceBuffer::Key key, const oxColouring& colouring,
                           oxSurfaceBuffer& buffer, std::vector<float>* depth, std::vector<float>* values,
                           const std::atomic<bool>* cancel, Part part) const
{
    key.width = std::max(1, key.width);
    key.height = std::max(1, key.height);
    key.samples = std::clamp(key.samples, 1, MaxSamples);
    key.exact = scene.exactShading();
    key.curvature = colouring.needsCurvature();
    const bool half = part == Part::EvenPixels && key.samples == 1 && key.width > 1 && key.height > 1;
    Step step = Step::Shade;
    if (half ? !buffer.servesEvenPixels(key) : !buffer.serves(key))
        step = half ? Step::TraceEven : buffer.servesEvenPixels(key) ? Step::TraceRest : Step::TraceAll;
    if (step == Step::TraceAll || step == Step::TraceEven)
        buffer.reset(key);
    else if (step == Step::TraceRest)
        buffer.beginRest();
    key.curvature = buffer.key().curvature;
    QImage image = frame(scene, key, colouring, &buffer, step, half, depth, values, cancel);
    if (!image.isNull() && step == Step::TraceEven)
        buffer.setEvenPixels();
    else if (!image.isNull() && step != Step::Shade)
        buffer.setComplete();
    return image;
}

namespace
{
// The buffer's depths for the caller: all of them, or, for a frame at half the size, the even
// pixels' ones, for overlays drawn over that image.
void depthFromBuffer(const oxSurfaceBuffer& buffer, bool half, int width, int outWidth, int outHeight,
                     std::vector<float>& depth)
{
    if (!half)
    {
        depth = buffer.depth();
        return;
    }
    depth.resize(size_t(outWidth) * size_t(outHeight));
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x)
            depth[size_t(y) * size_t(outWidth) + size_t(x)] =
                buffer.depth()[size_t(2 * y) * size_t(width) + size_t(2 * x)];
}

// Where the frame writes its depths and the colouring's values: into the buffer or the caller's
// vectors, sized here; null for what nobody wants.
void outputs(oxSurfaceBuffer* buffer, bool trace, std::vector<float>* depth, std::vector<float>* values,
             const oxColouring& colouring, int tracedPixels, int outPixels, float*& depthOut, float*& valueOut)
{
    if (buffer)
        depthOut = trace ? buffer->depth().data() : nullptr;
    else if (depth)
    {
        depth->assign(size_t(tracedPixels), Infinity);
        depthOut = depth->data();
    }
    if (!values)
        return;
    // Every pixel's value is written as it is shaded.
    if (colouring.keepsValues())
    {
        values->resize(size_t(outPixels));
        valueOut = values->data();
    }
    else
        values->clear();
}
} // namespace

QImage oxRaytracer::frame(const oxRenderScene& scene, oxSurfaceBuffer::Key key, const oxColouring& colouring,
                          oxSurfaceBuffer* buffer, Step step, bool half, std::vector<float>* depth,
                          std::vector<float>* values, const std::atomic<bool>* cancel) const
{
    static_assert(TileSize * TileSize <= oxShadingBatch::Capacity, "a tile's hits fit one shading batch");
    static_assert(TileSize == oxSurfaceBuffer::TileSize, "the buffer keeps the tracer's tiles");
    const int width = std::max(1, key.width), height = std::max(1, key.height);
    const int samples = std::clamp(key.samples, 1, MaxSamples);
    const int shift = half ? 1 : 0;
    const int outWidth = width >> shift, outHeight = height >> shift;
    const bool trace = step != Step::Shade;
    oxRenderCamera& camera = key.camera;
    camera.setup(width, height);
    // The last frame's buffer when nobody else holds it any more: a fresh 4 MB image costs its
    // page faults every frame.
    if (_frame.width() != outWidth || _frame.height() != outHeight || !_frame.isDetached())
        _frame = QImage(outWidth, outHeight, QImage::Format_RGB32);
    float* depthOut = nullptr;
    float* valueOut = nullptr;
    outputs(buffer, trace, depth, values, colouring, width * height, outWidth * outHeight, depthOut, valueOut);
    const bool curvature = buffer ? key.curvature : colouring.needsCurvature();
    if (curvature && trace)
        scene.prepareCurvatures();
    FramePass pass(scene, camera, colouring);
    pass.handle = scene.handle();
    pass.width = width;
    pass.samples = samples;
    pass.curvature = curvature && (trace || colouring.needsCurvature());
    pass.exact = scene.exactShading();
    pass.cornerValues = colouring.cornerValues();
    pass.forward = camera.forward();
    pass.depthOut = depthOut;
    pass.valueOut = valueOut;
    pass.backgroundRows = backgroundRows(outHeight);
    pass.shift = shift;
    pass.halfWidth = width / 2;
    pass.halfHeight = height / 2;
    const Pixels traced = step == Step::TraceEven ? Pixels::Even : step == Step::TraceRest ? Pixels::Rest : Pixels::All;
    QRgb* pixels = reinterpret_cast<QRgb*>(_frame.bits());
    const size_t stride = size_t(_frame.bytesPerLine() / 4);
    std::atomic<bool> cancelled{false};
    forEachTile(width, height, _threads,
                [&](int tile, int x0, int y0, int x1, int y1)
                {
                    if (cancel && cancel->load(std::memory_order_relaxed))
                    {
                        cancelled.store(true, std::memory_order_relaxed);
                        return;
                    }
                    renderTile(pass, pixels, stride, tile, x0, y0, x1, y1, buffer, trace, traced);
                });
    if (cancelled.load())
        return QImage();
    if (buffer && depth)
        depthFromBuffer(*buffer, half, width, outWidth, outHeight, *depth);
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
                [&](int, int x0, int y0, int x1, int y1)
                {
                    traceTile(handle, scene.traceExponent(), camera, x0, y0, x1, y1, 0, 1,
                              [&](int x, int y, const RTCRayHit8& p, int k)
                              {
                                  if (p.hit.geomID[k] != RTC_INVALID_GEOMETRY_ID)
                                      out[size_t(y) * size_t(width) + size_t(x)] =
                                          p.ray.tfar[k] * (p.ray.dir_x[k] * forward[0] + p.ray.dir_y[k] * forward[1] +
                                                           p.ray.dir_z[k] * forward[2]);
                              });
                });
}
