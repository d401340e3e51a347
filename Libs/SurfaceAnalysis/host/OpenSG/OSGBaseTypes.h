#pragma once

#include <cstddef>
#include <cstdint>

namespace osg
{
typedef int8_t Int8;
typedef uint8_t UInt8;
typedef int16_t Int16;
typedef uint16_t UInt16;
typedef int32_t Int32;
typedef uint32_t UInt32;
typedef int64_t Int64;
typedef uint64_t UInt64;
typedef float Real32;
typedef double Real64;
typedef UInt64 BitVector;

const BitVector AllFieldsMask = ~BitVector(0);

// Tolerance used wherever a position or angle decides whether something moved.
const Real32 Eps = 1e-6f;

const Real64 Pi = 3.14159265358979323846;

inline Real64 deg2rad(Real64 d)
{
    return d * Pi / 180.0;
}
inline Real64 rad2deg(Real64 r)
{
    return r * 180.0 / Pi;
}

// OpenGL enumerants the scene graph stores; the stand-in has no GL headers.
enum GLConstants : UInt32
{
    GL_POINTS_ = 0x0000,
    GL_LINES_ = 0x0001,
    GL_LINE_STRIP_ = 0x0003,
    GL_TRIANGLES_ = 0x0004,
    GL_TRIANGLE_STRIP_ = 0x0005,
    GL_SRC_ALPHA_ = 770,
    GL_ONE_MINUS_SRC_ALPHA_ = 771,
};
} // namespace osg
