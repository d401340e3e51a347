#include "oxEnvironmentMap.h"

#include "oxHostAnalysisSettings.h"
#include "oxShadingMath.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

namespace
{
using oxShadingMath::fastAtan2;
using oxShadingMath::Pi;

const int BuiltInWidth = 512, MaxWidth = 1024;

// log2 of a positive x to about 0.01 from its exponent and a quadratic in its mantissa: the mip
// level only blends two levels, and the library's log2 cost as much as the rest of a lookup.
inline float fastLog2(float x)
{
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const float exponent = float(int((bits >> 23) & 0xffu) - 127);
    bits = (bits & 0x007fffffu) | 0x3f800000u;
    float m;
    std::memcpy(&m, &bits, sizeof m);
    m -= 1.f;
    return exponent + m * (1.3465553f - 0.3465553f * m);
}

inline float smoothstep(float e0, float e1, float x)
{
    const float t = std::clamp((x - e0) / (e1 - e0), 0.f, 1.f);
    return t * t * (3.f - 2.f * t);
}

// A soft-edged rectangle of light around (azimuth, elevation), both in degrees.
float panel(float azimuth, float elevation, float a0, float e0, float halfWidth, float halfHeight)
{
    float da = std::fabs(azimuth - a0);
    da = std::min(da, 360.f - da);
    const float de = std::fabs(elevation - e0);
    return (1.f - smoothstep(halfWidth - 2.f, halfWidth, da)) * (1.f - smoothstep(halfHeight - 2.f, halfHeight, de));
}

// A dim room on a light grey floor, a large overhead softbox, two tall side strips and a low bounce
// card: long, calm highlights above, and the floor's soft gradient on faces that look down. The
// card lies where a large flat side seen from the default three-quarter view looks (down and
// away from the viewer), so that it catches light instead of the floor's grey alone.
osg::Vec3f softbox(float azimuth, float elevation)
{
    const float wall =
        elevation < 0.f ? 0.55f - 0.2f * std::min(1.f, elevation / -60.f) : 0.1f + 0.08f * elevation / 90.f;
    float light = panel(azimuth, elevation, 0.f, 60.f, 40.f, 18.f);
    light = std::max(light, panel(azimuth, elevation, 110.f, 15.f, 8.f, 35.f));
    light = std::max(light, panel(azimuth, elevation, 250.f, 15.f, 8.f, 35.f));
    light = std::max(light, 0.6f * panel(azimuth, elevation, 180.f, 30.f, 25.f, 10.f));
    light = std::max(light, 0.7f * panel(azimuth, elevation, 225.f, -25.f, 40.f, 20.f));
    const float v = wall + (1.f - wall) * light;
    return osg::Vec3f(v, v, v);
}

// A blue sky over a brown floor with a sharp horizon: the horizon's reflection shows each bend.
osg::Vec3f horizon(float, float elevation)
{
    if (elevation < 0.f)
    {
        const float t = std::min(1.f, -elevation / 30.f);
        return osg::Vec3f(0.42f, 0.36f, 0.3f) * (1.f - t) + osg::Vec3f(0.2f, 0.17f, 0.14f) * t;
    }
    const float t = std::pow(elevation / 90.f, 0.5f);
    return osg::Vec3f(0.95f, 0.96f, 0.98f) * (1.f - t) + osg::Vec3f(0.3f, 0.5f, 0.85f) * t;
}

// Inside a tunnel along X lined with twelve light tubes: parallel highlight lines, dark ends.
osg::Vec3f tunnel(const osg::Vec3f& d)
{
    const float around = fastAtan2(d[2], d[1]) * (6.f / Pi); // twelve tubes around X
    const float off = std::fabs(around - std::nearbyint(around));
    const float tube = 1.f - smoothstep(0.08f, 0.14f, off);
    const float along = std::fabs(d[0]);
    const float depth = 1.f - smoothstep(0.75f, 0.95f, along);
    const float v = 0.05f + 0.95f * tube * depth;
    return osg::Vec3f(v, v, v * 0.95f + 0.05f);
}

osg::Vec3f builtInColour(unsigned which, const osg::Vec3f& d)
{
    const float azimuthTurns = fastAtan2(d[1], d[0]) * (0.5f / Pi);
    const float azimuth = (azimuthTurns < 0.f ? azimuthTurns + 1.f : azimuthTurns) * 360.f;
    const float elevation = std::asin(std::clamp(d[2], -1.f, 1.f)) * oxShadingMath::RadToDeg;
    switch (which)
    {
    case 1:
        return horizon(azimuth, elevation);
    case 2:
        return tunnel(d);
    default:
        return softbox(azimuth, elevation);
    }
}

QImage builtInImage(unsigned which)
{
    QImage image(BuiltInWidth, BuiltInWidth / 2, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const float polar = (float(y) + 0.5f) / float(image.height()) * Pi;
        for (int x = 0; x < image.width(); ++x)
        {
            const float a = (float(x) + 0.5f) / float(image.width()) * 2.f * Pi;
            const osg::Vec3f d(std::sin(polar) * std::cos(a), std::sin(polar) * std::sin(a), std::cos(polar));
            const osg::Vec3f c = builtInColour(which, d);
            row[x] =
                qRgb(int(std::lround(255.f * c[0])), int(std::lround(255.f * c[1])), int(std::lround(255.f * c[2])));
        }
    }
    return image;
}

std::mutex s_mutex;
} // namespace

oxEnvironmentMap::oxEnvironmentMap(const QImage& source)
{
    QImage image = source.width() > MaxWidth
                       ? source.scaled(MaxWidth, std::max(1, source.height() * MaxWidth / source.width()),
                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       : source;
    image = image.convertToFormat(QImage::Format_RGB32);
    Level first;
    first.width = std::max(1, image.width());
    first.height = std::max(1, image.height());
    first.rgb.assign(size_t(first.width) * size_t(first.height) * 3, 0.f);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            float* t = &first.rgb[(size_t(y) * size_t(first.width) + size_t(x)) * 3];
            t[0] = float(qRed(c)) / 255.f;
            t[1] = float(qGreen(c)) / 255.f;
            t[2] = float(qBlue(c)) / 255.f;
        }
    m_levels.push_back(std::move(first));
    m_texelAngle = 2.f * Pi / float(m_levels[0].width);
    buildChain();
}

// Each level the mean of two by two texels of the one before, down to a single texel.
void oxEnvironmentMap::buildChain()
{
    while (m_levels.back().width > 1 || m_levels.back().height > 1)
    {
        const Level& above = m_levels.back();
        Level next;
        next.width = std::max(1, above.width / 2);
        next.height = std::max(1, above.height / 2);
        next.rgb.assign(size_t(next.width) * size_t(next.height) * 3, 0.f);
        const int sx = above.width / next.width, sy = above.height / next.height;
        const float weight = 1.f / float(sx * sy);
        for (int y = 0; y < next.height; ++y)
            for (int x = 0; x < next.width; ++x)
                for (int k = 0; k < sx * sy; ++k)
                {
                    const size_t from = (size_t(y * sy + k / sx) * size_t(above.width) + size_t(x * sx + k % sx)) * 3;
                    const size_t to = (size_t(y) * size_t(next.width) + size_t(x)) * 3;
                    for (int c = 0; c < 3; ++c)
                        next.rgb[to + size_t(c)] += weight * above.rgb[from + size_t(c)];
                }
        m_levels.push_back(std::move(next));
    }
}

std::shared_ptr<const oxEnvironmentMap> oxEnvironmentMap::builtIn(unsigned which)
{
    static std::shared_ptr<const oxEnvironmentMap> made[oxEnvironmentImage];
    which = std::min(which, oxEnvironmentImage - 1);
    std::lock_guard<std::mutex> lock(s_mutex);
    if (!made[which])
        made[which] = std::make_shared<const oxEnvironmentMap>(builtInImage(which));
    return made[which];
}

std::shared_ptr<const oxEnvironmentMap> oxEnvironmentMap::image(const std::string& path, std::string* error)
{
    const QString file = QString::fromStdString(path);
    const QFileInfo info(file);
    // Read again when the file changed, so that an edited image shows without a restart.
    const std::string key =
        path + '\n' + std::to_string(info.size()) + '\n' + std::to_string(info.lastModified().toMSecsSinceEpoch());
    static std::map<std::string, std::shared_ptr<const oxEnvironmentMap>> kept;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        const auto at = kept.find(key);
        if (at != kept.end())
            return at->second;
    }
    QImageReader reader(file);
    const QImage read = reader.read();
    if (read.isNull())
    {
        if (error)
            *error = "cannot read the environment image \"" + path +
                     "\": " + (info.exists() ? reader.errorString().toStdString() : std::string("no such file"));
        return nullptr;
    }
    auto map = std::make_shared<const oxEnvironmentMap>(read);
    std::lock_guard<std::mutex> lock(s_mutex);
    if (kept.size() >= 4)
        kept.clear();
    kept[key] = map;
    return map;
}

osg::Vec3f oxEnvironmentMap::bilinear(const Level& l, float u, float v) const
{
    const float x = u * float(l.width) - 0.5f, y = std::clamp(v * float(l.height) - 0.5f, 0.f, float(l.height - 1));
    const float fx = std::floor(x), fy = std::floor(y);
    const float ax = x - fx, ay = y - fy;
    // u lies in [0, 1] (a tiny negative u wraps to 1): no division is needed to wrap.
    const int x0 = fx < 0.f ? l.width - 1 : std::min(int(fx), l.width - 1), x1 = x0 + 1 < l.width ? x0 + 1 : 0;
    const int y0 = int(fy), y1 = std::min(y0 + 1, l.height - 1);
    auto at = [&](int tx, int ty) { return &l.rgb[(size_t(ty) * size_t(l.width) + size_t(tx)) * 3]; };
    const float *a = at(x0, y0), *b = at(x1, y0), *c = at(x0, y1), *d = at(x1, y1);
    osg::Vec3f out;
    for (int k = 0; k < 3; ++k)
        out[k] = (a[k] * (1.f - ax) + b[k] * ax) * (1.f - ay) + (c[k] * (1.f - ax) + d[k] * ax) * ay;
    return out;
}

osg::Vec3f oxEnvironmentMap::sample(float u, float v, float level) const
{
    u -= std::floor(u);
    level = std::clamp(level, 0.f, float(m_levels.size() - 1));
    const int l0 = int(level);
    const float t = level - float(l0);
    const osg::Vec3f c0 = bilinear(m_levels[size_t(l0)], u, v);
    if (t <= 0.f || size_t(l0) + 1 >= m_levels.size())
        return c0;
    return c0 * (1.f - t) + bilinear(m_levels[size_t(l0) + 1], u, v) * t;
}

osg::Vec3f oxEnvironmentMap::colour(const osg::Vec3f& d, float footprint) const
{
    float u, v, level;
    coordinates(&d[0], &d[1], &d[2], &footprint, 1, &u, &v, &level);
    return sample(u, v, level);
}

void oxEnvironmentMap::coordinates(const float* x, const float* y, const float* z, const float* footprint, int count,
                                   float* u, float* v, float* level) const
{
    const float perTexel = 1.f / m_texelAngle;
    OX_SIMD_LOOP
    for (int i = 0; i < count; ++i)
    {
        const float turn = fastAtan2(y[i], x[i]) * (0.5f / Pi);
        u[i] = turn < 0.f ? turn + 1.f : turn;
        v[i] = fastAtan2(std::sqrt(x[i] * x[i] + y[i] * y[i]), z[i]) * (1.f / Pi);
        const float texels = footprint[i] * perTexel;
        level[i] = texels > 1.f ? fastLog2(texels) : 0.f;
    }
}
