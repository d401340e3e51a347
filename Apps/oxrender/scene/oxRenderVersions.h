#pragma once

#include <string>
#include <utility>
#include <vector>

// The third-party libraries the renderer reads and traces with, and their versions, for an About
// box: (name, version) pairs. Here in cad/ because only cad/ may include Open CASCADE's headers.
std::vector<std::pair<std::string, std::string>> oxRenderVersions();
