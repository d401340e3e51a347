#pragma once

// Wall-clock timing of the benchmarks' steps.

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

inline double seconds(const std::function<void()>& fn)
{
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median seconds of a and of b over runs each, their runs taking turns so that both see the same
// machine; one untimed run of each first.
inline std::pair<double, double> alternate(const std::function<void()>& a, const std::function<void()>& b, int runs)
{
    a();
    b();
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i)
    {
        ta.push_back(seconds(a));
        tb.push_back(seconds(b));
    }
    return {median(ta), median(tb)};
}
