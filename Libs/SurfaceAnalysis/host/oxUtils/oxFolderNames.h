#pragma once

#include <string>
#include <vector>

// The names in the folder open as the descriptor folder, but . and ..; empty when it cannot be
// read. For work relative to a folder held open, which a listing by path could not match.
std::vector<std::string> oxFolderNames(int folder);
