#pragma once

#include "oxPointCloud.h"
#include "oxRenderMesh.h"

#include <cstddef>
#include <string>

// PLY files of one vertex and one face element read straight into positions, normals and
// triangles: Assimp's reader takes most of a large PLY's load, and checks no index. Taken: ASCII
// and binary of either byte order, vertices with x, y, z and optionally nx, ny, nz as float or
// double (other scalar properties skipped), faces with one integer index list (polygons fanned)
// and scalar properties beside it. Every index is checked against the vertices. Anything else is
// left to Assimp, so that every file it reads still loads.
class oxPlyReader
{
public:
    enum Outcome
    {
        Read,       // mesh holds the file's positions, its normals (or none) and triangles
        NotHandled, // a layout this reader leaves to Assimp; mesh untouched
        Failed      // a malformed file; cause says why, mesh untouched
    };
    static Outcome read(const std::string& path, oxRenderMesh& mesh, std::string& cause);
    // The same on the file's bytes.
    static Outcome parse(const char* data, size_t size, oxRenderMesh& mesh, std::string& cause);
    // A file of vertices and no faces (none declared, or 0) as a point cloud, with its normals and
    // colours (red, green, blue) where it has them: Read or Failed, never NotHandled. A vertex
    // whose coordinates are no finite number fails, naming its line or byte.
    static Outcome parsePoints(const char* data, size_t size, oxPointCloud& cloud, std::string& cause);
};
