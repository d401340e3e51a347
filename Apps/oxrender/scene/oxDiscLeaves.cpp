#include "oxDiscLeaves.h"

#include <embree3/rtcore.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>

#include <algorithm>
#include <functional>

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

void bounds(const RTCBoundsFunctionArguments* args)
{
    const Cloud& cloud = *static_cast<const Cloud*>(args->geometryUserPtr);
    size_t begin, end;
    span(cloud, args->primID, begin, end);
    float low[3] = {cloud.discs[4 * begin], cloud.discs[4 * begin + 1], cloud.discs[4 * begin + 2]};
    float high[3] = {low[0], low[1], low[2]};
    for (size_t p = begin; p < end; ++p)
        for (int c = 0; c < 3; ++c)
        {
            low[c] = std::min(low[c], cloud.discs[4 * p + size_t(c)] - cloud.discs[4 * p + 3]);
            high[c] = std::max(high[c], cloud.discs[4 * p + size_t(c)] + cloud.discs[4 * p + 3]);
        }
    RTCBounds& b = *args->bounds_o;
    b.lower_x = low[0], b.lower_y = low[1], b.lower_z = low[2];
    b.upper_x = high[0], b.upper_y = high[1], b.upper_z = high[2];
}

// Ray i of the packet against the primitive's discs: the nearest within [tnear, tfar] wins.
void intersectRay(const Cloud& cloud, const RTCIntersectFunctionNArguments* args, unsigned i)
{
    const unsigned n = args->N;
    RTCRayN* ray = RTCRayHitN_RayN(args->rayhit, n);
    RTCHitN* hit = RTCRayHitN_HitN(args->rayhit, n);
    const float o[3] = {RTCRayN_org_x(ray, n, i), RTCRayN_org_y(ray, n, i), RTCRayN_org_z(ray, n, i)};
    const float d[3] = {RTCRayN_dir_x(ray, n, i), RTCRayN_dir_y(ray, n, i), RTCRayN_dir_z(ray, n, i)};
    const float tnear = RTCRayN_tnear(ray, n, i);
    size_t begin, end;
    span(cloud, args->primID, begin, end);
    for (size_t p = begin; p < end; ++p)
    {
        const float* disc = cloud.discs + 4 * p;
        const float* normal = cloud.normals + 3 * p;
        const float c0[3] = {disc[0] - o[0], disc[1] - o[1], disc[2] - o[2]};
        const float facing = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
        const float t = (c0[0] * normal[0] + c0[1] * normal[1] + c0[2] * normal[2]) / facing;
        if (!(tnear <= t && t <= RTCRayN_tfar(ray, n, i)))
            continue; // also a disc seen edge on (no finite t)
        const float off[3] = {c0[0] - t * d[0], c0[1] - t * d[1], c0[2] - t * d[2]};
        if (!(off[0] * off[0] + off[1] * off[1] + off[2] * off[2] <= disc[3] * disc[3]))
            continue;
        RTCRayN_tfar(ray, n, i) = t;
        RTCHitN_Ng_x(hit, n, i) = normal[0];
        RTCHitN_Ng_y(hit, n, i) = normal[1];
        RTCHitN_Ng_z(hit, n, i) = normal[2];
        RTCHitN_u(hit, n, i) = 0.f;
        RTCHitN_v(hit, n, i) = 0.f;
        RTCHitN_primID(hit, n, i) = unsigned(p);
        RTCHitN_geomID(hit, n, i) = args->geomID;
        RTCHitN_instID(hit, n, i, 0) = args->context->instID[0];
    }
}

void intersect(const RTCIntersectFunctionNArguments* args)
{
    const Cloud& cloud = *static_cast<const Cloud*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i)
        if (args->valid[i])
            intersectRay(cloud, args, i);
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
