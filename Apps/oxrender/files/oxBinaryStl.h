#pragma once

#include "oxRenderMesh.h"

#include <string>

// Binary STL files read straight into positions: Assimp's reader takes about ten times as long,
// most of it on per-corner facet normals (which the importer drops) and a copy of every corner.
class oxBinaryStl
{
public:
    // Whether the file is a binary STL, decided as Assimp does: 84 bytes of header and facet
    // count, then 50 bytes for each of at least one facet, and nothing more.
    static bool isBinary(const std::string& path);
    // Three positions per facet and the indices 0, 1, 2, ... (no normals); false with the cause.
    static bool read(const std::string& path, oxRenderMesh& mesh, std::string& cause);
};
