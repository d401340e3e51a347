#pragma once

#include <chrono>
#include <cmath>
#include <string>

// Small helpers that the importers, the estimates and the host share: one definition each.
namespace oxRenderUtil
{
// s between double quotes, as our messages name files and keys. Inline: the host's project
// reader uses it without linking the renderer.
inline std::string quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

// s with its ASCII letters in lower case; other bytes as they are.
std::string lower(std::string s);

// Whether the three components of a vector or point are finite.
template <class V> bool finite(const V& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Wall-clock seconds from start until now.
double secondsSince(std::chrono::steady_clock::time_point start);

// Why the file at path cannot be read at all (missing, a directory, no permission, empty), or ""
// when it can; what its format allows is the reader's to check.
std::string unreadable(const std::string& path);
} // namespace oxRenderUtil
