#include "oxDiscLeaves.h"

#include <embree3/rtcore.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>

#include <algorithm>
#include <cmath>
#include <functional>

// A version of the intersector for processors with eight floats to a vector, chosen when loaded.
#if defined(__x86_64__) && defined(__ELF__)
#define OX_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define OX_WIDE_CLONES
#endif

namespace
{
struct Cloud
{
    const float* discs;
    const float* normals;
    size_t count;
};

// The points of one primitive: [begin, end).
void span(const Cloud& cloud, unsigned primitive, size_t& begin, size_t& end)
{
    begin = size_t(primitive) * oxDiscLeaves::Size;
    end = std::min(cloud.count, begin + oxDiscLeaves::Size);
}

// How far a disc reaches from its centre along axis c: r sin(angle of axis and normal), with a
// margin for the rounding of the hit's distance. A scan's discs lie nearly flat on its surface, so
// a leaf's box is as thin as the surface, not as thick as a disc is wide, and a ray slanting across
// the surface passes through fewer of them.
void reach(const float* disc, const float* normal, float (&r)[3])
{
    const float length2 = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
    const float scale = length2 > 0.f ? 1.f / length2 : 0.f;
    for (int c = 0; c < 3; ++c)
    {
        const float sine = std::sqrt(std::max(0.f, 1.f - normal[c] * normal[c] * scale));
        r[c] = disc[3] * (std::min(1.f, sine) + 1e-2f) + std::abs(disc[c]) * 1e-5f;
    }
}

void bounds(const RTCBoundsFunctionArguments* args)
{
    const Cloud& cloud = *static_cast<const Cloud*>(args->geometryUserPtr);
    size_t begin, end;
    span(cloud, args->primID, begin, end);
    float low[3] = {cloud.discs[4 * begin], cloud.discs[4 * begin + 1], cloud.discs[4 * begin + 2]};
    float high[3] = {low[0], low[1], low[2]};
    for (size_t p = begin; p < end; ++p)
    {
        const float* disc = cloud.discs + 4 * p;
        float r[3];
        reach(disc, cloud.normals + 3 * p, r);
        for (int c = 0; c < 3; ++c)
        {
            low[c] = std::min(low[c], disc[c] - r[c]);
            high[c] = std::max(high[c], disc[c] + r[c]);
        }
    }
    RTCBounds& b = *args->bounds_o;
    b.lower_x = low[0], b.lower_y = low[1], b.lower_z = low[2];
    b.upper_x = high[0], b.upper_y = high[1], b.upper_z = high[2];
}

// A primitive's discs, one array per coordinate so that a ray meets all of them in a few vector
// instructions. The last primitive's spare places have a negative squared radius: no ray hits them.
struct Leaf
{
    float x[oxDiscLeaves::Size], y[oxDiscLeaves::Size], z[oxDiscLeaves::Size];
    float nx[oxDiscLeaves::Size], ny[oxDiscLeaves::Size], nz[oxDiscLeaves::Size];
    float radius2[oxDiscLeaves::Size];
};

__attribute__((always_inline)) inline void load(const Cloud& cloud, unsigned primitive, Leaf& leaf)
{
    size_t begin, end;
    span(cloud, primitive, begin, end);
    for (size_t k = 0; k < oxDiscLeaves::Size; ++k)
    {
        const bool real = begin + k < end;
        const float* disc = cloud.discs + 4 * (real ? begin + k : begin);
        const float* normal = cloud.normals + 3 * (real ? begin + k : begin);
        leaf.x[k] = disc[0], leaf.y[k] = disc[1], leaf.z[k] = disc[2];
        leaf.radius2[k] = real ? disc[3] * disc[3] : -1.f;
        leaf.nx[k] = normal[0], leaf.ny[k] = normal[1], leaf.nz[k] = normal[2];
    }
}

// Ray i of the packet against the leaf's discs: the nearest within [tnear, tfar] wins, and of two
// at the same distance the later one, as when the discs were met one after the other.
__attribute__((always_inline)) inline void intersectRay(const Leaf& leaf, const RTCIntersectFunctionNArguments* args,
                                                        unsigned i)
{
    const unsigned n = args->N;
    RTCRayN* ray = RTCRayHitN_RayN(args->rayhit, n);
    const float ox = RTCRayN_org_x(ray, n, i), oy = RTCRayN_org_y(ray, n, i), oz = RTCRayN_org_z(ray, n, i);
    const float dx = RTCRayN_dir_x(ray, n, i), dy = RTCRayN_dir_y(ray, n, i), dz = RTCRayN_dir_z(ray, n, i);
    const float tnear = RTCRayN_tnear(ray, n, i), tfar = RTCRayN_tfar(ray, n, i);
    float t[oxDiscLeaves::Size];
    int hit[oxDiscLeaves::Size];
    for (size_t k = 0; k < oxDiscLeaves::Size; ++k)
    {
        const float cx = leaf.x[k] - ox, cy = leaf.y[k] - oy, cz = leaf.z[k] - oz;
        const float facing = dx * leaf.nx[k] + dy * leaf.ny[k] + dz * leaf.nz[k];
        t[k] = (cx * leaf.nx[k] + cy * leaf.ny[k] + cz * leaf.nz[k]) / facing;
        const float offx = cx - t[k] * dx, offy = cy - t[k] * dy, offz = cz - t[k] * dz;
        // Also false for a disc seen edge on (no finite t).
        hit[k] = (tnear <= t[k]) & (t[k] <= tfar) & (offx * offx + offy * offy + offz * offz <= leaf.radius2[k]);
    }
    int best = -1;
    float nearest = tfar;
    for (size_t k = 0; k < oxDiscLeaves::Size; ++k)
        if (hit[k] && t[k] <= nearest)
            best = int(k), nearest = t[k];
    if (best < 0)
        return;
    RTCHitN* h = RTCRayHitN_HitN(args->rayhit, n);
    RTCRayN_tfar(ray, n, i) = nearest;
    RTCHitN_Ng_x(h, n, i) = leaf.nx[best];
    RTCHitN_Ng_y(h, n, i) = leaf.ny[best];
    RTCHitN_Ng_z(h, n, i) = leaf.nz[best];
    RTCHitN_u(h, n, i) = 0.f;
    RTCHitN_v(h, n, i) = 0.f;
    RTCHitN_primID(h, n, i) = args->primID * unsigned(oxDiscLeaves::Size) + unsigned(best);
    RTCHitN_geomID(h, n, i) = args->geomID;
    RTCHitN_instID(h, n, i, 0) = args->context->instID[0];
}

// The leaf is laid out once for all the packet's rays that reach it (the helpers above are inlined
// into each version of this).
OX_WIDE_CLONES void intersect(const RTCIntersectFunctionNArguments* args)
{
    const Cloud& cloud = *static_cast<const Cloud*>(args->geometryUserPtr);
    Leaf leaf;
    load(cloud, args->primID, leaf);
    for (unsigned i = 0; i < args->N; ++i)
        if (args->valid[i])
            intersectRay(leaf, args, i);
}

} // namespace

bool oxDiscLeaves::compact(const float* discs, size_t count, float radius)
{
    // A run's box no wider on average than a tight run of Size discs side by side.
    const size_t runs = (count + Size - 1) / Size;
    const double width = tbb::parallel_reduce(
        tbb::blocked_range<size_t>(0, runs, 1 << 12), 0.0,
        [&](const tbb::blocked_range<size_t>& range, double sum)
        {
            for (size_t r = range.begin(); r < range.end(); ++r)
            {
                float low[3] = {discs[4 * r * Size], discs[4 * r * Size + 1], discs[4 * r * Size + 2]};
                float high[3] = {low[0], low[1], low[2]};
                for (size_t p = r * Size; p < std::min(count, (r + 1) * Size); ++p)
                    for (int c = 0; c < 3; ++c)
                    {
                        low[c] = std::min(low[c], discs[4 * p + size_t(c)]);
                        high[c] = std::max(high[c], discs[4 * p + size_t(c)]);
                    }
                sum += double(std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]}));
            }
            return sum;
        },
        std::plus<double>());
    return runs > 0 && width / double(runs) <= 2.0 * double(Size) * double(radius);
}

RTCGeometryTy* oxDiscLeaves::make(RTCDeviceTy* device, const float* discs, const float* normals, size_t count,
                                  std::shared_ptr<const void>& owner)
{
    auto cloud = std::make_shared<Cloud>(Cloud{discs, normals, count});
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_USER);
    rtcSetGeometryUserPrimitiveCount(geometry, unsigned((count + Size - 1) / Size));
    rtcSetGeometryUserData(geometry, cloud.get());
    owner = std::move(cloud);
    rtcSetGeometryBoundsFunction(geometry, bounds, nullptr);
    rtcSetGeometryIntersectFunction(geometry, intersect);
    return geometry;
}
