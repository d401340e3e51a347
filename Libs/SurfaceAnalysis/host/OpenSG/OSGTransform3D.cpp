#include "OSGTransform3D.h"

#include <algorithm>
#include <cmath>

namespace osg
{
Transform3D::Transform3D() : _scale(Vec3f(1.f, 1.f, 1.f)) {}

FCPtr<Transform3D> Transform3D::create()
{
    return FCPtr<Transform3D>(new Transform3D);
}

Field* Transform3D::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case TranslationFieldId:
        return &_translation;
    case RotationFieldId:
        return &_rotation;
    case ScaleFieldId:
        return &_scale;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* Transform3D::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case TranslationFieldId:
        return "translation";
    case RotationFieldId:
        return "rotation";
    case ScaleFieldId:
        return "scale";
    default:
        return Inherited::getFieldName(fieldId);
    }
}

void Transform3D::setRotationAsQuaternion(const Quaternion& q)
{
    _rotation.setValue(q);
    _euler = quaternionToEuler(q);
}

void Transform3D::setRotationAsEuler(const Vec3f& eulerDeg)
{
    _rotation.setValue(eulerToQuaternion(eulerDeg));
    _euler = eulerDeg;
}

Matrix Transform3D::getMatrix() const
{
    Matrix m;
    m.setTransform(getTranslation(), getRotation(), getScale());
    return m;
}

void Transform3D::accumulateMatrix(Matrix& result) const
{
    result.mult(getMatrix());
}

Quaternion Transform3D::eulerToQuaternion(const Vec3f& e)
{
    const Real64 ha = deg2rad(e[0]) * 0.5, hb = deg2rad(e[1]) * 0.5, hc = deg2rad(e[2]) * 0.5;
    const Real64 ca = std::cos(ha), sa = std::sin(ha);
    const Real64 cb = std::cos(hb), sb = std::sin(hb);
    const Real64 cc = std::cos(hc), sc = std::sin(hc);
    // qz(c) * qy(b) * qx(a)
    return Quaternion(Real32(sa * cb * cc - ca * sb * sc), Real32(ca * sb * cc + sa * cb * sc),
                      Real32(ca * cb * sc - sa * sb * cc), Real32(ca * cb * cc + sa * sb * sc));
}

Vec3f Transform3D::quaternionToEuler(const Quaternion& rotation)
{
    Quaternion q = rotation;
    q.normalize();
    const Real64 x = q.x(), y = q.y(), z = q.z(), w = q.w();
    const Real64 m00 = 1 - 2 * (y * y + z * z), m10 = 2 * (x * y + z * w), m20 = 2 * (x * z - y * w);
    const Real64 m21 = 2 * (y * z + x * w), m22 = 1 - 2 * (x * x + y * y);
    const Real64 m11 = 1 - 2 * (x * x + z * z), m12 = 2 * (y * z - x * w);
    const Real64 sb = std::clamp(-m20, -1.0, 1.0);
    Real64 a, b, c;
    if (std::fabs(sb) < 1.0 - 1e-7)
    {
        b = std::asin(sb);
        a = std::atan2(m21, m22);
        c = std::atan2(m10, m00);
    }
    else
    {
        // Gimbal lock: only a - c (or a + c) is defined; put it all in a.
        b = sb > 0 ? Pi / 2 : -Pi / 2;
        a = std::atan2(-m12, m11);
        c = 0;
    }
    return Vec3f(Real32(rad2deg(a)), Real32(rad2deg(b)), Real32(rad2deg(c)));
}
} // namespace osg
