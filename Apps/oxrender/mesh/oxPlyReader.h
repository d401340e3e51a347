#pragma once

#include "oxRenderMesh.h"

#include <cstddef>
#include <string>

// PLY files of one vertex and one face element read straight into positions and triangles:
// Assimp's reader takes most of a large PLY's load. Taken: ASCII and binary little-endian,
// vertices with x, y, z as float or double (other scalar properties skipped, but no normals,
// which Assimp keeps), faces with one int or uint index list (polygons fanned) and scalar
// properties beside it. Anything else is left to Assimp, so that every file it reads still loads.
class oxPlyReader
{
public:
    enum Outcome
    {
        Read,       // mesh holds the file's positions (no normals) and triangles
        NotHandled, // a layout this reader leaves to Assimp; mesh untouched
        Failed      // a malformed file; cause says why, mesh untouched
    };
    static Outcome read(const std::string& path, oxRenderMesh& mesh, std::string& cause);
    // The same on the file's bytes.
    static Outcome parse(const char* data, size_t size, oxRenderMesh& mesh, std::string& cause);
};
