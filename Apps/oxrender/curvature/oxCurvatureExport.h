#pragma once

#include <string>

class oxRenderScene;

// Per-vertex curvatures of every mesh of the scene in a file: PLY (binary little-endian, faces
// kept) for a ".ply" suffix, CSV for ".csv". Written atomically: on failure the old file stays.
class oxCurvatureExport
{
public:
    // False with error naming the file.
    static bool write(const oxRenderScene& scene, const std::string& path, std::string& error);
};
