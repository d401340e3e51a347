#pragma once

#include "OSGVector.h"

#include <algorithm>
#include <cmath>

// Vector and view helpers of the renderer and the viewer. Inline: the shading loops use them.
namespace oxRenderMath
{
// v at unit length; a vector too short to have a direction is returned as it is.
inline osg::Vec3f unit(osg::Vec3f v)
{
    const float len = v.length();
    return len > 1e-12f ? v * (1.f / len) : v;
}

// v at unit length, or fallback where v has no direction (too short, or not finite).
inline osg::Vec3f unitOr(const osg::Vec3f& v, const osg::Vec3f& fallback)
{
    const float len = v.length();
    return len > 1e-12f && std::isfinite(len) ? v * (1.f / len) : fallback;
}

// The unit vector along v, false where v has none (zero, or not finite). In double: the squared
// length of a float vector overflows from about 1.8e19 and vanishes below about 1e-19.
inline bool direction(const osg::Vec3f& v, double unit[3])
{
    const double x = v[0], y = v[1], z = v[2];
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length))
        return false;
    unit[0] = x / length;
    unit[1] = y / length;
    unit[2] = z / length;
    return true;
}

inline bool direction(const osg::Vec3f& v, osg::Vec3f& unit)
{
    double u[3];
    if (!direction(v, u))
        return false;
    unit.setValues(float(u[0]), float(u[1]), float(u[2]));
    return true;
}

// A view's axes in the world, right-handed and of unit length.
struct ViewAxes
{
    osg::Vec3f right{1.f, 0.f, 0.f}, up{0.f, 1.f, 0.f}, forward{0.f, 0.f, -1.f};
};

// The axes of a view from an eye to a target; an up vector along the view is replaced by Y or Z.
inline ViewAxes viewAxes(const osg::Pnt3f& from, const osg::Pnt3f& at, const osg::Vec3f& up)
{
    ViewAxes axes;
    axes.forward = unitOr(at - from, osg::Vec3f(0.f, 0.f, -1.f));
    osg::Vec3f right = axes.forward.cross(up);
    if (right.length() < 1e-6f)
        right = axes.forward.cross(std::fabs(axes.forward[1]) < 0.9f ? osg::Vec3f(0.f, 1.f, 0.f)
                                                                     : osg::Vec3f(0.f, 0.f, 1.f));
    axes.right = unitOr(right, osg::Vec3f(1.f, 0.f, 0.f));
    axes.up = axes.right.cross(axes.forward);
    return axes;
}

// Embree asserts (or, in a release build, misbehaves) on a ray whose origin or direction has a
// component that is not finite or of magnitude 1.844e18 (its FLT_LARGE) or more; such a ray is
// not traced but taken as a miss.
inline bool traceable(const osg::Pnt3f& origin, const osg::Vec3f& direction)
{
    const float large = 1e18f; // NaN fails every comparison
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(origin[i]) < large) || !(std::fabs(direction[i]) < large))
            return false;
    return true;
}

// The largest coordinate a model may have. Framing puts the eye a few model sizes away (about
// 3 for a 45 degree view) and rays must start within 1e18 (see traceable), so 1e15 leaves room to
// zoom out or narrow the view by a factor of several hundred; single-precision positions still
// resolve a model of that size to 1e-7 of it.
const float MaxCoordinate = 1e15f;

// Twice the triangle's area along its normal, in double: a float cross product's squares overflow
// once edges pass about 3e9, far inside MaxCoordinate.
struct TriangleNormal
{
    double n[3];
    // Of corners given as points or as vectors from the origin.
    template <class P> TriangleNormal(const P& a, const P& b, const P& c)
    {
        const double e1[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double e2[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        n[0] = e1[1] * e2[2] - e1[2] * e2[1];
        n[1] = e1[2] * e2[0] - e1[0] * e2[2];
        n[2] = e1[0] * e2[1] - e1[1] * e2[0];
    }
    double length() const { return std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]); }
    double area() const { return 0.5 * length(); }
    // Of unit length; zero for a degenerate triangle.
    osg::Vec3f unit() const
    {
        const double l = length();
        return l > 0 && std::isfinite(l) ? osg::Vec3f(float(n[0] / l), float(n[1] / l), float(n[2] / l)) : osg::Vec3f();
    }
    double dot(const osg::Vec3f& v) const { return n[0] * v[0] + n[1] * v[1] + n[2] * v[2]; }
};

// p through a placement's rows of [rotation | translation]: a point with w = 1, a vector with w = 0.
// In double whatever p is, so a far placement does not round the result twice.
template <class T> void transform(const double m[3][4], const T p[3], float out[3], double w)
{
    for (int i = 0; i < 3; ++i)
        out[i] = float(m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3] * w);
}

// The world size of one pixel at a distance from the eye of a perspective view viewHeight pixels high.
inline double pixelSize(double distance, double fovDegrees, int viewHeight)
{
    return 2.0 * distance * std::tan(fovDegrees * M_PI / 360.0) / std::max(1, viewHeight);
}
} // namespace oxRenderMath
