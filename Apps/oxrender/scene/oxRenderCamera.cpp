#include "oxRenderCamera.h"

#include "oxRenderMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
double tanHalf(float fovDegrees)
{
    const float fov = std::isfinite(fovDegrees) ? std::clamp(fovDegrees, 0.01f, 179.f) : 45.f;
    return std::tan(osg::deg2rad(fov) / 2);
}
} // namespace

void oxRenderCamera::frame(const osg::Pnt3f& min, const osg::Pnt3f& max, float aspect)
{
    const osg::Vec3f viewDir = oxRenderMath::unitOr(at - from, osg::Vec3f(0.f, 0.f, -1.f));
    const osg::Pnt3f centre((min[0] + max[0]) / 2, (min[1] + max[1]) / 2, (min[2] + max[2]) / 2);
    const double wide = aspect > 0.f && std::isfinite(aspect) ? aspect : 1.0;
    at = centre;
    from = centre - viewDir;
    setup(int(std::lround(1000 * wide)), 1000);

    // The nearest eye position on the view line from which every corner of the box is in view.
    // Margins scale with the box: models come in file units, from a tenth of a millimetre in
    // metres to assemblies of 40 m in millimetres.
    const double tiny = std::max(1e-3 * double((max - min).length()), 1e-12);
    const double t = tanHalf(fovDegrees);
    double distance = 0, halfHeight = 0;
    for (int i = 0; i < 8; ++i)
    {
        const osg::Pnt3f corner(i & 1 ? max[0] : min[0], i & 2 ? max[1] : min[1], i & 4 ? max[2] : min[2]);
        const osg::Vec3f c = corner - centre;
        const double x = std::fabs(c.dot(_right)), y = std::fabs(c.dot(_up)), z = c.dot(_forward);
        distance = std::max({distance, x / (t * wide) - z, y / t - z, -z + tiny});
        halfHeight = std::max({halfHeight, y, x / wide});
    }
    distance = std::max(distance * 1.05, tiny);
    from = centre - viewDir * float(distance);
    if (orthographic)
        orthographicHeight = float(2.1 * std::max(halfHeight, tiny));
}

void oxRenderCamera::setup(int width, int height)
{
    _width = std::max(1, width);
    _height = std::max(1, height);
    const oxRenderMath::ViewAxes axes = oxRenderMath::viewAxes(from, at, up);
    _right = axes.right;
    _up = axes.up;
    _forward = axes.forward;
    if (orthographic)
        _scale = orthographicHeight > 0.f ? orthographicHeight / 2.0 : (at - from).length() * tanHalf(fovDegrees);
    else
        _scale = tanHalf(fovDegrees);
}

void oxRenderCamera::ray(float x, float y, osg::Pnt3f& origin, osg::Vec3f& direction) const
{
    const double sx = (2.0 * x / _width - 1) * _scale * (_width / _height);
    const double sy = (1 - 2.0 * y / _height) * _scale;
    if (orthographic)
    {
        origin = from + _right * float(sx) + _up * float(sy);
        direction = _forward;
        return;
    }
    origin = from;
    direction = oxRenderMath::unitOr(_forward + _right * float(sx) + _up * float(sy), _forward);
}

osg::Vec3f oxRenderCamera::toCamera(const osg::Pnt3f& p) const
{
    const osg::Vec3f v = p - from;
    return osg::Vec3f(v.dot(_right), v.dot(_up), v.dot(_forward));
}

void oxRenderCamera::toImage(const osg::Vec3f& c, double& x, double& y) const
{
    double sx = c[0], sy = c[1];
    if (!orthographic)
    {
        sx /= c[2];
        sy /= c[2];
    }
    x = (sx / (_scale * (_width / _height)) + 1) * _width / 2;
    y = (1 - sy / _scale) * _height / 2;
}

double oxRenderCamera::nearPlane() const
{
    return orthographic ? 0.0 : std::min(1e-3, 1e-3 * double((at - from).length()));
}
