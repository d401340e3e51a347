#pragma once

#include "OSGBaseTypes.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

// The shading runs over a batch of pixels in loops without calls or branches that the compiler
// can turn into SIMD code; per-frame choices are made outside the loops. Sources with such loops
// are compiled as CMakeLists.txt says for shading/oxAnalysisShading.cpp.
#define OX_SIMD_LOOP _Pragma("omp simd")

namespace oxShadingMath
{
const float RadToDeg = float(180.0 / osg::Pi);
const float Pi = float(osg::Pi);

// Polynomial acos after Abramowitz and Stegun 4.4.46 (error below 2e-8 rad): every pixel needs
// one, and the library call costs more than the rest of the shading.
inline float fastAcos(float x)
{
    const bool negative = x < 0.f;
    x = std::min(std::fabs(x), 1.f);
    const float p =
        1.5707963050f +
        x * (-0.2145988016f +
             x * (0.0889789874f +
                  x * (-0.0501743046f +
                       x * (0.0308918810f + x * (-0.0170881256f + x * (0.0066700901f + x * -0.0012624911f))))));
    const float r = std::sqrt(1.f - x) * p;
    return negative ? Pi - r : r;
}

// atan2 to about 1e-5 rad with a polynomial on [0, 1]: one per pixel, and the library call would
// cost more than the rest of the shading.
inline float fastAtan2(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float a = std::min(ax, ay) / std::max(std::max(ax, ay), 1e-30f);
    const float s = a * a;
    float r = ((-0.0464964749f * s + 0.15931422f) * s - 0.327622764f) * s * a + a;
    r = ay > ax ? 0.5f * Pi - r : r;
    r = x < 0.f ? Pi - r : r;
    return y < 0.f ? -r : r;
}

// Per hit of a tile of stride x stride pixels (pixel[i] = y * stride + x), the largest change
// change(i, j) to a neighbouring hit j, each way the least of both sides, so that a neighbour across
// an edge or on another face does not count; the half-size frame's even pixels are two apart.
// 0 where the hits carry no pixel.
template <int Capacity, class Change>
void neighbourFootprints(const int* pixel, int count, int stride, Change&& change, float* footprint)
{
    if (stride <= 0 || stride * stride > Capacity)
    {
        std::fill(footprint, footprint + count, 0.f);
        return;
    }
    int at[Capacity];
    std::fill(at, at + stride * stride, -1);
    for (int i = 0; i < count; ++i)
        at[pixel[i]] = i;
    auto along = [&](int i, int x, int y, int dx, int dy)
    {
        for (int step = 1; step <= 2; ++step)
        {
            float least = -1.f;
            for (int sign : {-1, 1})
            {
                const int nx = x + sign * step * dx, ny = y + sign * step * dy;
                if (nx < 0 || ny < 0 || nx >= stride || ny >= stride)
                    continue;
                const int j = at[ny * stride + nx];
                if (j >= 0)
                    least = least < 0.f ? change(i, j) : std::min(least, change(i, j));
            }
            if (least >= 0.f)
                return least / float(step);
        }
        return 0.f;
    };
    for (int i = 0; i < count; ++i)
    {
        const int x = pixel[i] % stride, y = pixel[i] / stride;
        footprint[i] = std::max(along(i, x, y, 1, 0), along(i, x, y, 0, 1));
    }
}

// Calls fn with the flag as a compile-time constant: the loops inside then carry no test of it,
// which the vectoriser cannot take.
template <class Fn> void withFlag(bool flag, Fn&& fn)
{
    if (flag)
        fn(std::true_type());
    else
        fn(std::false_type());
}
} // namespace oxShadingMath
