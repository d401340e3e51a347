#pragma once

#include <cstddef>
#include <memory>

struct RTCDeviceTy;
struct RTCGeometryTy;

// A cloud's oriented discs as Embree user primitives of Size neighbouring points each. Embree's own
// disc points go through its hair builder, which took some 6 s of CPU for 10 million points; eight
// points to a primitive build in a seventh of that and trace about as fast. Each disc is hit as
// Embree hits one: the hit's primitive is the point, its geometric normal the disc's.
namespace oxDiscLeaves
{
constexpr size_t Size = 8;

// Whether the points, in their order, lie in compact runs of Size: a scan's lines do; shuffled
// points do not, and are better left to Embree's disc points. discs: x, y, z, radius per point.
bool compact(const float* discs, size_t count, float radius);

// The geometry, not yet committed, of count discs (as above) with normals (three floats per point),
// both read, not copied; what it reads besides lives as long as owner, which must outlive the scene.
RTCGeometryTy* make(RTCDeviceTy* device, const float* discs, const float* normals, size_t count,
                    std::shared_ptr<const void>& owner);
} // namespace oxDiscLeaves
