#include "oxStripesColouring.h"

#include "oxColouringInput.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"
#include "oxShadingMath.h"

#include <algorithm>
#include <cmath>

namespace
{
using oxShadingMath::fastAtan2;
using oxShadingMath::Pi;

// The stripes' tones: the light ones from LightTone at grazing to white facing the viewer.
const float DarkTone = 0.06f, LightTone = 0.75f;
// The tubes' density around the tunnel goes as 1 + FrontWeight cos(angle from the viewer): faces
// that face the viewer, planes above all, reflect the wall in front, and rims the wall behind,
// where the reflection turns fast anyway.
const float FrontWeight = 0.8f;
// From this footprint (in stripes) on, every second dark stripe fades out; from twice it, every
// second of the rest: crowded stripes thin out before they turn grey.
const float Crowded = 0.25f;

// The turn (0 .. 1) about the axis at which the ray from q (start and side components qs, qc, about
// the axis) along r (rs, rc) meets the cylinder of square radius r2, the tubes weighted to the front
// by front = FrontWeight / radius; at infinity, r's own turn.
inline float turnAt(float qs, float qc, float rs, float rc, float r2, float front, bool atInfinity)
{
    // The root s > 0 of |q + s r|^2 = r2, in the form that stays finite as r runs along the axis.
    const float a = rs * rs + rc * rc, b = qs * rs + qc * rc, c = qs * qs + qc * qc - r2;
    const float s = -c / std::max(b + std::sqrt(std::max(b * b - a * c, 0.f)), 1e-30f);
    const float hs = atInfinity ? rs : qs + s * rs, hc = atInfinity ? rc : qc + s * rc;
    // On the wall hc / radius is the sine of the angle: the weighting costs no second atan2.
    const float turn = (fastAtan2(hc, hs) + front * hc) * (0.5f / Pi);
    return turn < 0.f ? turn + 1.f : turn;
}

// The integral of the stripe pattern (1 on [0, width) of each period) from 0 to x.
inline float integral(float x, float width)
{
    const float whole = std::floor(x);
    return whole * width + std::min(x - whole, width);
}

// The dark share of a pixel at t (dark stripes centred on whole t) whose box spans f stripes.
inline float boxed(float t, float f, float width)
{
    const float u = t + 0.5f * width;
    return std::clamp((integral(u + 0.5f * f, width) - integral(u - 0.5f * f, width)) / f, 0.f, 1.f);
}

osg::Vec3f worldAxis(unsigned axis, const osg::Vec3f& vector, const oxRenderMath::ViewAxes& view)
{
    switch (axis)
    {
    case 0:
        return osg::Vec3f(1.f, 0.f, 0.f);
    case 1:
        return osg::Vec3f(0.f, 1.f, 0.f);
    case 2:
        return osg::Vec3f(0.f, 0.f, 1.f);
    case 3:
        return view.up;
    case 4:
        return view.right;
    default:
        return oxRenderMath::unitOr(vector, osg::Vec3f(0.f, 0.f, 1.f));
    }
}

[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::StripesActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.StripesActive)
                              return nullptr;
                          return std::make_unique<oxStripesColouring>(in);
                      });
} // namespace

oxStripesColouring::oxStripesColouring(const oxColouringInput& in)
{
    namespace R = oxHostAnalysisRows;
    const oxHostAnalysisSettings &h = in.host, defaults;
    _locked = h.StripesLocked;
    // Locked, the view's axes are those of the frozen view, upright to the model's Z.
    const osg::Vec3f towardsViewer = _locked
                                         ? oxRenderMath::unitOr(h.StripesView, oxRenderMath::unit(defaults.StripesView))
                                         : -oxRenderMath::viewAxes(in.camera.from, in.camera.at, in.camera.up).forward;
    const oxRenderMath::ViewAxes view =
        _locked
            ? oxRenderMath::viewAxes(osg::Pnt3f(towardsViewer), osg::Pnt3f(0.f, 0.f, 0.f), osg::Vec3f(0.f, 0.f, 1.f))
            : oxRenderMath::viewAxes(in.camera.from, in.camera.at, in.camera.up);
    _lockedRay = -towardsViewer;
    _axis = worldAxis(R::StripesAxis.domain.within(h.StripesAxis, defaults.StripesAxis), h.StripesVector, view);
    // The angle starts towards the viewer; a view along the axis starts from the view's up.
    osg::Vec3f start = towardsViewer - _axis * towardsViewer.dot(_axis);
    if (start.length() < 1e-3f)
        start = view.up - _axis * view.up.dot(_axis);
    if (start.length() < 1e-3f)
        start = view.right - _axis * view.right.dot(_axis);
    _start = oxRenderMath::unit(start);
    _side = _axis.cross(_start);
    const unsigned count = R::StripesCount.domain.within(h.StripesCount, defaults.StripesCount);
    _count = float(count);
    // Merged stripes must close up round the tunnel.
    _merges = count % 4 == 0 ? 2 : count % 2 == 0 ? 1 : 0;
    _width = R::StripesWidth.domain.within(h.StripesWidth, defaults.StripesWidth);
    const float sharpness = R::StripesSharpness.domain.within(h.StripesSharpness, defaults.StripesSharpness);
    _softness = (1.f - sharpness) * std::min(_width, 1.f - _width);
    osg::Pnt3f min, max;
    if (in.scene && in.scene->bounds(min, max))
    {
        _centre = min + (max - min) * 0.5f;
        const float distance = R::StripesDistance.domain.within(h.StripesDistance, defaults.StripesDistance);
        // Round the box's corners, as tight as the tunnel can be: the closer its wall, the more
        // stripes a flat face crosses. A point model still gets a tunnel of some size.
        float widest = 1e-6f;
        for (int corner = 0; corner < 8; ++corner)
        {
            const osg::Vec3f q((corner & 1 ? max : min)[0] - _centre[0], (corner & 2 ? max : min)[1] - _centre[1],
                               (corner & 4 ? max : min)[2] - _centre[2]);
            widest = std::max(widest, (q - _axis * q.dot(_axis)).length());
        }
        _radius = distance * widest;
        _front = FrontWeight / _radius;
    }
}

osg::Vec3f oxStripesColouring::reflected(const osg::Vec3f& n, const osg::Vec3f& d) const
{
    const osg::Vec3f ray = _locked ? _lockedRay : d;
    return ray - n * (2.f * ray.dot(n));
}

float oxStripesColouring::stripeAt(const osg::Pnt3f& point, const osg::Vec3f& r) const
{
    const osg::Vec3f q = point - _centre;
    const bool atInfinity = !std::isfinite(_radius);
    return turnAt(q.dot(_start), q.dot(_side), r.dot(_start), r.dot(_side), atInfinity ? 0.f : _radius * _radius,
                  _front, atInfinity) *
           _count;
}

float oxStripesColouring::cover(float t, float footprint) const
{
    // The dark stripe is centred on each whole t; the box filter spans the footprint and the
    // softness of the edges. Crowded, the pattern of twice and four times the period takes over.
    const float f = std::max(footprint + _softness, 1e-4f);
    float c = boxed(t, f, _width);
    // Most pixels are not crowded: they skip the coarser patterns.
    if (_merges >= 1 && footprint > Crowded)
        c += (boxed(0.5f * t, 0.5f * f, _width) - c) * std::min(footprint / Crowded - 1.f, 1.f);
    if (_merges >= 2 && footprint > 2.f * Crowded)
        c += (boxed(0.25f * t, 0.25f * f, _width) - c) * std::min(footprint / (2.f * Crowded) - 1.f, 1.f);
    return c;
}

void oxStripesColouring::coordinates(const oxShadingBatch& b, float* t) const
{
    const bool locked = _locked;
    const float lx = _lockedRay[0], ly = _lockedRay[1], lz = _lockedRay[2];
    const float sx = _start[0], sy = _start[1], sz = _start[2], cx = _side[0], cy = _side[1], cz = _side[2];
    const float count = _count, ox = _centre[0], oy = _centre[1], oz = _centre[2];
    const bool atInfinity = !std::isfinite(_radius);
    const float r2 = atInfinity ? 0.f : _radius * _radius, front = _front;
    OX_SIMD_LOOP
    for (int i = 0; i < b.count; ++i)
    {
        // Locked, the outward normal: the stripes then do not depend on which side is seen.
        const float turn = locked ? b.side[i] : 1.f;
        const float nx = b.n.x[i] * turn, ny = b.n.y[i] * turn, nz = b.n.z[i] * turn;
        const float dx = locked ? lx : b.d.x[i], dy = locked ? ly : b.d.y[i], dz = locked ? lz : b.d.z[i];
        const float k = 2.f * (dx * nx + dy * ny + dz * nz);
        const float rx = dx - k * nx, ry = dy - k * ny, rz = dz - k * nz;
        const float qx = b.p.x[i] - ox, qy = b.p.y[i] - oy, qz = b.p.z[i] - oz;
        t[i] = turnAt(qx * sx + qy * sy + qz * sz, qx * cx + qy * cy + qz * cz, rx * sx + ry * sy + rz * sz,
                      rx * cx + ry * cy + rz * cz, r2, front, atInfinity) *
               count;
    }
}

void oxStripesColouring::footprints(const oxShadingBatch& b, const float* t, float* footprint) const
{
    const float count = _count;
    // The change of the stripe coordinate, the shorter way round the cylinder.
    auto change = [&](int i, int j)
    {
        const float d = t[j] - t[i];
        return std::fabs(d - count * std::nearbyint(d / count));
    };
    oxShadingMath::neighbourFootprints<oxShadingBatch::Capacity>(b.pixel, b.count, b.stride, change, footprint);
}

void oxStripesColouring::shade(oxShadingBatch& b) const
{
    alignas(32) float t[oxShadingBatch::Capacity];
    alignas(32) float footprint[oxShadingBatch::Capacity];
    coordinates(b, t);
    footprints(b, t, footprint);
    // A mirror's stripes are not lit: only a touch of the headlight keeps the part's form readable.
    for (int i = 0; i < b.count; ++i)
    {
        const float c = cover(t[i], footprint[i]);
        const float facing = std::min(1.f, std::fabs(b.n.x[i] * b.d.x[i] + b.n.y[i] * b.d.y[i] + b.n.z[i] * b.d.z[i]));
        const float light = LightTone + (1.f - LightTone) * facing;
        const auto grey = osg::UInt32(std::lround(255.f * (light + (DarkTone - light) * c)));
        b.cover[i] = c;
        b.colour[i] = 0xff000000u | grey << 16 | grey << 8 | grey;
    }
}
