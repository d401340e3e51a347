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
