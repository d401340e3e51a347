#pragma once

#include "OSGVector.h"

namespace osg
{
class Matrix;

// A rotation, stored x, y, z, w (w is the scalar part).
class Quaternion
{
public:
    Quaternion() : _q{0.f, 0.f, 0.f, 1.f} {}
    Quaternion(Real32 x, Real32 y, Real32 z, Real32 w) : _q{x, y, z, w} {}
    Quaternion(const Vec3f& axis, Real32 angleRad) { setValueAsAxisRad(axis, angleRad); }

    static const Quaternion& identity();

    Real32 x() const { return _q[0]; }
    Real32 y() const { return _q[1]; }
    Real32 z() const { return _q[2]; }
    Real32 w() const { return _q[3]; }
    const Real32* getValues() const { return _q; }
    void setValueAsQuat(Real32 x, Real32 y, Real32 z, Real32 w)
    {
        _q[0] = x;
        _q[1] = y;
        _q[2] = z;
        _q[3] = w;
    }
    void setValueAsAxisRad(const Vec3f& axis, Real32 angleRad);
    void setValueAsAxisDeg(const Vec3f& axis, Real32 angleDeg);
    void getValueAsAxisRad(Vec3f& axis, Real32& angleRad) const;
    void setValue(const Matrix& m);
    void getValue(Matrix& m) const;

    Real32 length() const;
    void normalize();
    Quaternion inverse() const { return Quaternion(-_q[0], -_q[1], -_q[2], _q[3]); }
    // this := this * o (o is applied first).
    void mult(const Quaternion& o);
    Quaternion operator*(const Quaternion& o) const
    {
        Quaternion r(*this);
        r.mult(o);
        return r;
    }
    void multVec(const Vec3f& src, Vec3f& dst) const;
    Vec3f rotate(const Vec3f& v) const
    {
        Vec3f r;
        multVec(v, r);
        return r;
    }

    bool equals(const Quaternion& o, Real32 tolerance) const;
    bool operator==(const Quaternion& o) const
    {
        return _q[0] == o._q[0] && _q[1] == o._q[1] && _q[2] == o._q[2] && _q[3] == o._q[3];
    }
    bool operator!=(const Quaternion& o) const { return !(*this == o); }

private:
    Real32 _q[4];
};

std::ostream& operator<<(std::ostream& os, const Quaternion& q);
} // namespace osg
