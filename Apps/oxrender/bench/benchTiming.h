#pragma once

// Wall-clock timing of the benchmarks' steps.

#include <algorithm>
#include <chrono>
#include <functional>
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
