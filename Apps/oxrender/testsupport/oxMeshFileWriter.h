#pragma once

#include "oxRenderMesh.h"

#include <string>

// Meshes as the binary files that scanners and CAD exports write, for the import tests and the
// load benchmark: PLY with shared vertices, STL with three corners per facet.
class oxMeshFileWriter
{
public:
    // Little-endian PLY: x, y, z (and nx, ny, nz with normals) per vertex, a uchar-counted int
    // list per face. False when the file cannot be written.
    static bool writePly(const oxRenderMesh& mesh, const std::string& path, bool normals = false);
    // Binary STL with each facet's unit normal.
    static bool writeStl(const oxRenderMesh& mesh, const std::string& path);
};
