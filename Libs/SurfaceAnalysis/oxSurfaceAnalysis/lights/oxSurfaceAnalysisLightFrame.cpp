#include "oxSurfaceAnalysisLightFrame.h"

#include "OSGMatrix.h"
#include "OSGTransform3D.h"

#include <algorithm>
#include <cmath>

namespace oxSurfaceAnalysisLightFrame
{
namespace
{
// Rounding can push the dot product of unit vectors just past ±1, where acos is undefined.
double clampedAcos(double cosine)
{
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

// The quaternion turning by `angle` about `axis`, provided the axis is long enough to name a
// direction; `axisLength` divides it down to unit length.
osg::Quaternion turnAbout(const osg::Vec3f& axis, float axisLength, double angle)
{
    if (!(axisLength > osg::Eps) || !std::isfinite(angle))
        return osg::Quaternion();
    const double s = std::sin(angle / 2) / axisLength;
    return osg::Quaternion(float(axis[0] * s), float(axis[1] * s), float(axis[2] * s), float(std::cos(angle / 2)));
}
} // namespace

osg::Vec3f normalized(const osg::Vec3f& v)
{
    osg::Vec3f r = v;
    r.normalize();
    return r;
}

osg::Vec3f rotatedXAxis(const osg::Quaternion& q)
{
    const float x = q.x(), y = q.y(), z = q.z(), w = q.w();
    return osg::Vec3f(w * w + x * x - y * y - z * z, 2 * (x * y + z * w), 2 * (x * z - y * w));
}

osg::Vec3f rotatedZAxis(const osg::Quaternion& q)
{
    const float x = q.x(), y = q.y(), z = q.z(), w = q.w();
    return osg::Vec3f(2 * (x * z + y * w), 2 * (y * z - x * w), w * w - x * x - y * y + z * z);
}

osg::Quaternion getOrientationFromAxis(const osg::Vec3f& from, const osg::Vec3f& to, osg::Vec3f& euler)
{
    const osg::Vec3f a = normalized(from), b = normalized(to);
    const double angle = clampedAcos(a.dot(b));
    const osg::Vec3f c = normalized(a.cross(b));
    const osg::Quaternion q = turnAbout(c, c.length(), angle);

    osg::Transform3DPtr t = osg::Transform3D::create();
    t->setRotationAsQuaternion(q);
    euler = t->getEulerRotation();
    return q;
}

void getLightPlaneAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& u, osg::Vec3f& v)
{
    osg::Transform3DPtr t = osg::Transform3D::create();
    t->setRotationAsEuler(euler);
    const osg::Matrix m = t->getMatrix();
    u = normalized(m.getColumn3(0));
    v = normalized(m.getColumn3(1));
}

void getLightSphereAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& axis, osg::Vec3f& uTangent)
{
    osg::Transform3DPtr t = osg::Transform3D::create();
    t->setRotationAsEuler(euler);
    const osg::Quaternion q = t->getRotation();
    axis = rotatedXAxis(q);
    uTangent = rotatedZAxis(q);
}

osg::Quaternion directionToHandleRotation(const osg::Vec3f& d)
{
    const osg::Vec3f c(0.f, -d[2], d[1]); // (1, 0, 0) × d
    return turnAbout(c, c.length(), clampedAcos(d[0]));
}

osg::Vec3f handleRotationToDirection(const osg::Quaternion& q)
{
    return normalized(rotatedXAxis(q));
}
} // namespace oxSurfaceAnalysisLightFrame
