#pragma once

#include "OSGQuaternion.h"
#include "OSGVector.h"

namespace osg
{
// 4 x 4, stored column-major: column c holds the image of the c-th unit vector.
class Matrix
{
public:
    Matrix() { setIdentity(); }

    void setIdentity();
    Real32* operator[](int column) { return &_m[column * 4]; }
    const Real32* operator[](int column) const { return &_m[column * 4]; }
    Real32 element(int row, int column) const { return _m[column * 4 + row]; }
    void setElement(int row, int column, Real32 value) { _m[column * 4 + row] = value; }
    const Real32* getValues() const { return _m; }
    Vec3f getColumn3(int column) const { return Vec3f(_m[column * 4], _m[column * 4 + 1], _m[column * 4 + 2]); }

    void setTranslate(const Vec3f& t);
    void setRotate(const Quaternion& q);
    void setScale(const Vec3f& s);
    // T * R * S: scale first, then rotate, then translate.
    void setTransform(const Vec3f& translation, const Quaternion& rotation, const Vec3f& scale);

    // this := this * m
    void mult(const Matrix& m);
    Matrix operator*(const Matrix& m) const
    {
        Matrix r(*this);
        r.mult(m);
        return r;
    }
    void multMatrixVec(const Vec3f& src, Vec3f& dst) const;
    void multMatrixPnt(const Pnt3f& src, Pnt3f& dst) const;
    bool invert();
    bool equals(const Matrix& o, Real32 tolerance) const;

private:
    Real32 _m[16];
};
} // namespace osg
