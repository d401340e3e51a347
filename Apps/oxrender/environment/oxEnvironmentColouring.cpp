#include "oxEnvironmentColouring.h"

#include "oxColouringInput.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderMath.h"
#include "oxShadingMath.h"

#include <algorithm>
#include <cmath>

namespace
{
[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::EnvironmentActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.EnvironmentActive)
                              return nullptr;
                          return std::make_unique<oxEnvironmentColouring>(in);
                      });

// The map a frame reflects: the image where it is chosen and readable, else the built-in, the
// softbox studio standing in for an image that cannot be read.
std::shared_ptr<const oxEnvironmentMap> chosenMap(const oxHostAnalysisSettings& h, bool& imageMissing)
{
    const unsigned which =
        oxHostAnalysisRows::EnvironmentMap.domain.within(h.EnvironmentMap, oxHostAnalysisSettings().EnvironmentMap);
    imageMissing = false;
    if (which != oxEnvironmentImage)
        return oxEnvironmentMap::builtIn(which);
    std::shared_ptr<const oxEnvironmentMap> map = oxEnvironmentMap::image(h.EnvironmentImage);
    imageMissing = !map;
    return map ? map : oxEnvironmentMap::builtIn(0);
}
} // namespace

oxEnvironmentColouring::oxEnvironmentColouring(const oxColouringInput& in)
    : m_lighting(oxAnalysisShader::lightingOnly(in.settings))
{
    namespace R = oxHostAnalysisRows;
    const oxHostAnalysisSettings &h = in.host, defaults;
    m_map = chosenMap(h, m_imageMissing);
    osg::Vec3f x(1.f, 0.f, 0.f), y(0.f, 1.f, 0.f), z(0.f, 0.f, 1.f);
    if (h.EnvironmentFollowsView)
    {
        // Following the view, the map's +X lies towards the viewer and its up is the view's.
        const oxRenderMath::ViewAxes view = oxRenderMath::viewAxes(in.camera.from, in.camera.at, in.camera.up);
        x = -view.forward;
        y = view.right;
        z = view.up;
    }
    const float turn =
        R::EnvironmentTurn.domain.within(h.EnvironmentTurn, defaults.EnvironmentTurn) * float(osg::Pi / 180.0);
    // Turning the environment by a turns each of its directions by a about its up.
    m_x = x * std::cos(turn) + y * std::sin(turn);
    m_y = y * std::cos(turn) - x * std::sin(turn);
    m_z = z;
    m_blend = R::EnvironmentBlend.domain.within(h.EnvironmentBlend, defaults.EnvironmentBlend);
    m_base = in.settings.BaseColor;
}

osg::Vec3f oxEnvironmentColouring::colourAt(const osg::Vec3f& r, float footprint) const
{
    return m_map->colour(osg::Vec3f(r.dot(m_x), r.dot(m_y), r.dot(m_z)), footprint);
}

void oxEnvironmentColouring::reflections(const oxShadingBatch& b, oxShadingBatch::Lanes& r) const
{
    const float xx = m_x[0], xy = m_x[1], xz = m_x[2], yx = m_y[0], yy = m_y[1], yz = m_y[2];
    const float zx = m_z[0], zy = m_z[1], zz = m_z[2];
    OX_SIMD_LOOP
    for (int i = 0; i < b.count; ++i)
    {
        const float nx = b.n.x[i], ny = b.n.y[i], nz = b.n.z[i];
        const float dx = b.d.x[i], dy = b.d.y[i], dz = b.d.z[i];
        const float k = 2.f * (dx * nx + dy * ny + dz * nz);
        const float rx = dx - k * nx, ry = dy - k * ny, rz = dz - k * nz;
        r.x[i] = rx * xx + ry * xy + rz * xz;
        r.y[i] = rx * yx + ry * yy + rz * yz;
        r.z[i] = rx * zx + ry * zy + rz * zz;
    }
}

void oxEnvironmentColouring::footprints(const oxShadingBatch& b, const oxShadingBatch::Lanes& r, float* footprint) const
{
    // The chord between two unit directions; near enough their angle where it matters.
    auto change = [&](int i, int j)
    {
        const float dx = r.x[j] - r.x[i], dy = r.y[j] - r.y[i], dz = r.z[j] - r.z[i];
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    };
    oxShadingMath::neighbourFootprints<oxShadingBatch::Capacity>(b.pixel, b.count, b.stride, change, footprint);
}

void oxEnvironmentColouring::shade(oxShadingBatch& b) const
{
    oxShadingBatch::Lanes r;
    alignas(32) float footprint[oxShadingBatch::Capacity];
    reflections(b, r);
    footprints(b, r, footprint);
    // The map's coordinates over the whole batch first (SIMD), then the texel reads.
    alignas(32) float u[oxShadingBatch::Capacity], v[oxShadingBatch::Capacity], level[oxShadingBatch::Capacity];
    m_map->coordinates(r.x, r.y, r.z, footprint, b.count, u, v, level);
    const float blend = m_blend;
    for (int i = 0; i < b.count; ++i)
    {
        const osg::Vec3f c = m_map->sample(u[i], v[i], level[i]);
        b.p.x[i] = m_base[0] + (c[0] - m_base[0]) * blend;
        b.p.y[i] = m_base[1] + (c[1] - m_base[1]) * blend;
        b.p.z[i] = m_base[2] + (c[2] - m_base[2]) * blend;
        b.cover[i] = 0.f;
    }
    m_lighting.light(b, &b.p);
}
