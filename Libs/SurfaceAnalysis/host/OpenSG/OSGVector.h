#pragma once

#include "OSGBaseTypes.h"

#include <cmath>
#include <ostream>

namespace osg
{
// Three 32-bit floats: directions, colours, Euler triples.
class Vec3f
{
public:
    Vec3f() : _v{0.f, 0.f, 0.f} {}
    Vec3f(Real32 x, Real32 y, Real32 z) : _v{x, y, z} {}

    Real32& operator[](int i) { return _v[i]; }
    const Real32& operator[](int i) const { return _v[i]; }
    Real32 x() const { return _v[0]; }
    Real32 y() const { return _v[1]; }
    Real32 z() const { return _v[2]; }
    const Real32* getValues() const { return _v; }
    Real32* getValues() { return _v; }
    void setValues(Real32 x, Real32 y, Real32 z)
    {
        _v[0] = x;
        _v[1] = y;
        _v[2] = z;
    }

    Real32 dot(const Vec3f& o) const { return _v[0] * o._v[0] + _v[1] * o._v[1] + _v[2] * o._v[2]; }
    Vec3f cross(const Vec3f& o) const
    {
        return Vec3f(_v[1] * o._v[2] - _v[2] * o._v[1], _v[2] * o._v[0] - _v[0] * o._v[2],
                     _v[0] * o._v[1] - _v[1] * o._v[0]);
    }
    Real32 squareLength() const { return dot(*this); }
    Real32 length() const { return std::sqrt(squareLength()); }
    // Guarded: a vector shorter than Eps is left as it is.
    void normalize()
    {
        const Real32 len = length();
        if (std::fabs(len) < Eps)
            return;
        const Real32 f = 1.f / len;
        _v[0] *= f;
        _v[1] *= f;
        _v[2] *= f;
    }
    bool equals(const Vec3f& o, Real32 tolerance) const
    {
        return std::fabs(_v[0] - o._v[0]) <= tolerance && std::fabs(_v[1] - o._v[1]) <= tolerance &&
               std::fabs(_v[2] - o._v[2]) <= tolerance;
    }

    Vec3f operator+(const Vec3f& o) const { return Vec3f(_v[0] + o._v[0], _v[1] + o._v[1], _v[2] + o._v[2]); }
    Vec3f operator-(const Vec3f& o) const { return Vec3f(_v[0] - o._v[0], _v[1] - o._v[1], _v[2] - o._v[2]); }
    Vec3f operator-() const { return Vec3f(-_v[0], -_v[1], -_v[2]); }
    Vec3f operator*(Real32 s) const { return Vec3f(_v[0] * s, _v[1] * s, _v[2] * s); }
    Vec3f& operator+=(const Vec3f& o) { return *this = *this + o; }
    Vec3f& operator-=(const Vec3f& o) { return *this = *this - o; }
    Vec3f& operator*=(Real32 s) { return *this = *this * s; }
    // Exact comparison, as OpenSG's: bit-for-bit equal components.
    bool operator==(const Vec3f& o) const { return _v[0] == o._v[0] && _v[1] == o._v[1] && _v[2] == o._v[2]; }
    bool operator!=(const Vec3f& o) const { return !(*this == o); }

private:
    Real32 _v[3];
};

inline Vec3f operator*(Real32 s, const Vec3f& v)
{
    return v * s;
}

// A position; the difference of two points is a vector.
class Pnt3f
{
public:
    Pnt3f() : _v{0.f, 0.f, 0.f} {}
    Pnt3f(Real32 x, Real32 y, Real32 z) : _v{x, y, z} {}
    explicit Pnt3f(const Vec3f& v) : _v{v[0], v[1], v[2]} {}

    Real32& operator[](int i) { return _v[i]; }
    const Real32& operator[](int i) const { return _v[i]; }
    Real32 x() const { return _v[0]; }
    Real32 y() const { return _v[1]; }
    Real32 z() const { return _v[2]; }
    const Real32* getValues() const { return _v; }
    Vec3f subZero() const { return Vec3f(_v[0], _v[1], _v[2]); }
    Real32 dist(const Pnt3f& o) const { return (*this - o).length(); }

    Vec3f operator-(const Pnt3f& o) const { return Vec3f(_v[0] - o._v[0], _v[1] - o._v[1], _v[2] - o._v[2]); }
    Pnt3f operator+(const Vec3f& o) const { return Pnt3f(_v[0] + o[0], _v[1] + o[1], _v[2] + o[2]); }
    Pnt3f operator-(const Vec3f& o) const { return Pnt3f(_v[0] - o[0], _v[1] - o[1], _v[2] - o[2]); }
    bool operator==(const Pnt3f& o) const { return _v[0] == o._v[0] && _v[1] == o._v[1] && _v[2] == o._v[2]; }
    bool operator!=(const Pnt3f& o) const { return !(*this == o); }

private:
    Real32 _v[3];
};

typedef Vec3f Color3f;

inline std::ostream& operator<<(std::ostream& os, const Vec3f& v)
{
    return os << v[0] << ", " << v[1] << ", " << v[2];
}
inline std::ostream& operator<<(std::ostream& os, const Pnt3f& p)
{
    return os << p[0] << ", " << p[1] << ", " << p[2];
}
} // namespace osg
