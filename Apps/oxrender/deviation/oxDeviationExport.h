#pragma once

#include <string>

class oxRenderScene;
struct oxDeviationField;

// Per-vertex distances to a reference in a file: PLY (binary little-endian, faces kept, the
// vertex properties x y z d rx ry rz; no face element for a point cloud) for a ".ply" suffix, CSV (x,y,z,d,rx,ry,rz)
// for ".csv"; r is the reference's closest point. Written atomically: on failure the old file stays.
class oxDeviationExport
{
public:
    // False with error naming the file.
    static bool write(const oxRenderScene& model, const oxDeviationField& field, const std::string& path,
                      std::string& error);
};
