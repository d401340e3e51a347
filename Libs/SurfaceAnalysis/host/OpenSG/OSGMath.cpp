#include "OSGMatrix.h"
#include "OSGQuaternion.h"

#include <algorithm>
#include <cmath>

namespace osg
{
const Quaternion& Quaternion::identity()
{
    static const Quaternion q;
    return q;
}

void Quaternion::setValueAsAxisRad(const Vec3f& axis, Real32 angleRad)
{
    Vec3f a = axis;
    const Real32 len = a.length();
    if (len < Eps)
    {
        *this = Quaternion();
        return;
    }
    a *= 1.f / len;
    const Real64 s = std::sin(Real64(angleRad) * 0.5);
    _q[0] = Real32(a[0] * s);
    _q[1] = Real32(a[1] * s);
    _q[2] = Real32(a[2] * s);
    _q[3] = Real32(std::cos(Real64(angleRad) * 0.5));
}

void Quaternion::setValueAsAxisDeg(const Vec3f& axis, Real32 angleDeg)
{
    setValueAsAxisRad(axis, Real32(deg2rad(angleDeg)));
}

void Quaternion::getValueAsAxisRad(Vec3f& axis, Real32& angleRad) const
{
    const Real64 w = std::clamp<Real64>(_q[3], -1.0, 1.0);
    angleRad = Real32(2.0 * std::acos(w));
    const Real64 s = std::sqrt(std::max(0.0, 1.0 - w * w));
    if (s < 1e-7)
        axis.setValues(1.f, 0.f, 0.f);
    else
        axis.setValues(Real32(_q[0] / s), Real32(_q[1] / s), Real32(_q[2] / s));
}

void Quaternion::getValue(Matrix& m) const
{
    const Real64 x = _q[0], y = _q[1], z = _q[2], w = _q[3];
    m.setIdentity();
    m.setElement(0, 0, Real32(w * w + x * x - y * y - z * z));
    m.setElement(1, 0, Real32(2 * (x * y + z * w)));
    m.setElement(2, 0, Real32(2 * (x * z - y * w)));
    m.setElement(0, 1, Real32(2 * (x * y - z * w)));
    m.setElement(1, 1, Real32(w * w - x * x + y * y - z * z));
    m.setElement(2, 1, Real32(2 * (y * z + x * w)));
    m.setElement(0, 2, Real32(2 * (x * z + y * w)));
    m.setElement(1, 2, Real32(2 * (y * z - x * w)));
    m.setElement(2, 2, Real32(w * w - x * x - y * y + z * z));
}

void Quaternion::setValue(const Matrix& m)
{
    // Shepperd's method: pick the largest diagonal term for stability.
    const Real64 m00 = m.element(0, 0), m11 = m.element(1, 1), m22 = m.element(2, 2);
    const Real64 trace = m00 + m11 + m22;
    Real64 x, y, z, w;
    if (trace > 0)
    {
        const Real64 s = 0.5 / std::sqrt(trace + 1.0);
        w = 0.25 / s;
        x = (m.element(2, 1) - m.element(1, 2)) * s;
        y = (m.element(0, 2) - m.element(2, 0)) * s;
        z = (m.element(1, 0) - m.element(0, 1)) * s;
    }
    else if (m00 > m11 && m00 > m22)
    {
        const Real64 s = 2.0 * std::sqrt(1.0 + m00 - m11 - m22);
        w = (m.element(2, 1) - m.element(1, 2)) / s;
        x = 0.25 * s;
        y = (m.element(0, 1) + m.element(1, 0)) / s;
        z = (m.element(0, 2) + m.element(2, 0)) / s;
    }
    else if (m11 > m22)
    {
        const Real64 s = 2.0 * std::sqrt(1.0 + m11 - m00 - m22);
        w = (m.element(0, 2) - m.element(2, 0)) / s;
        x = (m.element(0, 1) + m.element(1, 0)) / s;
        y = 0.25 * s;
        z = (m.element(1, 2) + m.element(2, 1)) / s;
    }
    else
    {
        const Real64 s = 2.0 * std::sqrt(1.0 + m22 - m00 - m11);
        w = (m.element(1, 0) - m.element(0, 1)) / s;
        x = (m.element(0, 2) + m.element(2, 0)) / s;
        y = (m.element(1, 2) + m.element(2, 1)) / s;
        z = 0.25 * s;
    }
    setValueAsQuat(Real32(x), Real32(y), Real32(z), Real32(w));
    normalize();
}

Real32 Quaternion::length() const
{
    return std::sqrt(_q[0] * _q[0] + _q[1] * _q[1] + _q[2] * _q[2] + _q[3] * _q[3]);
}

void Quaternion::normalize()
{
    const Real32 len = length();
    if (len < Eps)
    {
        *this = Quaternion();
        return;
    }
    for (Real32& c : _q)
        c /= len;
}

void Quaternion::mult(const Quaternion& o)
{
    const Real64 x1 = _q[0], y1 = _q[1], z1 = _q[2], w1 = _q[3];
    const Real64 x2 = o._q[0], y2 = o._q[1], z2 = o._q[2], w2 = o._q[3];
    _q[0] = Real32(w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2);
    _q[1] = Real32(w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2);
    _q[2] = Real32(w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2);
    _q[3] = Real32(w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2);
}

void Quaternion::multVec(const Vec3f& src, Vec3f& dst) const
{
    Matrix m;
    getValue(m);
    m.multMatrixVec(src, dst);
}

bool Quaternion::equals(const Quaternion& o, Real32 tolerance) const
{
    for (int i = 0; i < 4; ++i)
        if (std::fabs(_q[i] - o._q[i]) > tolerance)
            return false;
    return true;
}

std::ostream& operator<<(std::ostream& os, const Quaternion& q)
{
    return os << q.x() << ", " << q.y() << ", " << q.z() << ", " << q.w();
}

void Matrix::setIdentity()
{
    for (int i = 0; i < 16; ++i)
        _m[i] = (i % 5 == 0) ? 1.f : 0.f;
}

void Matrix::setTranslate(const Vec3f& t)
{
    _m[12] = t[0];
    _m[13] = t[1];
    _m[14] = t[2];
}

void Matrix::setRotate(const Quaternion& q)
{
    Matrix r;
    q.getValue(r);
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            setElement(row, c, r.element(row, c));
}

void Matrix::setScale(const Vec3f& s)
{
    _m[0] = s[0];
    _m[5] = s[1];
    _m[10] = s[2];
}

void Matrix::setTransform(const Vec3f& translation, const Quaternion& rotation, const Vec3f& scale)
{
    Matrix r;
    rotation.getValue(r);
    setIdentity();
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            setElement(row, c, r.element(row, c) * scale[c]);
    setTranslate(translation);
}

void Matrix::mult(const Matrix& m)
{
    Real32 r[16];
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
        {
            Real64 sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += Real64(element(row, k)) * m.element(k, c);
            r[c * 4 + row] = Real32(sum);
        }
    std::copy(r, r + 16, _m);
}

void Matrix::multMatrixVec(const Vec3f& src, Vec3f& dst) const
{
    Vec3f r;
    for (int row = 0; row < 3; ++row)
        r[row] = element(row, 0) * src[0] + element(row, 1) * src[1] + element(row, 2) * src[2];
    dst = r;
}

void Matrix::multMatrixPnt(const Pnt3f& src, Pnt3f& dst) const
{
    Pnt3f r;
    for (int row = 0; row < 3; ++row)
        r[row] = element(row, 0) * src[0] + element(row, 1) * src[1] + element(row, 2) * src[2] + element(row, 3);
    dst = r;
}

bool Matrix::invert()
{
    // Gauss-Jordan on a copy, in double precision.
    Real64 a[4][8];
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 4; ++c)
        {
            a[row][c] = element(row, c);
            a[row][c + 4] = row == c ? 1.0 : 0.0;
        }
    for (int c = 0; c < 4; ++c)
    {
        int pivot = c;
        for (int row = c + 1; row < 4; ++row)
            if (std::fabs(a[row][c]) > std::fabs(a[pivot][c]))
                pivot = row;
        if (std::fabs(a[pivot][c]) < 1e-12)
            return false;
        std::swap(a[c], a[pivot]);
        const Real64 inv = 1.0 / a[c][c];
        for (Real64& v : a[c])
            v *= inv;
        for (int row = 0; row < 4; ++row)
            if (row != c)
            {
                const Real64 f = a[row][c];
                for (int k = 0; k < 8; ++k)
                    a[row][k] -= f * a[c][k];
            }
    }
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 4; ++c)
            setElement(row, c, Real32(a[row][c + 4]));
    return true;
}

bool Matrix::equals(const Matrix& o, Real32 tolerance) const
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(_m[i] - o._m[i]) > tolerance)
            return false;
    return true;
}
} // namespace osg
