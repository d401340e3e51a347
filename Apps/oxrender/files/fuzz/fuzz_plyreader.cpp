// Bytes as a PLY file, parsed in this process as the importer's child parses it. Whatever the
// bytes, the reader gives triangles that name its own vertices, no more of them than the bytes
// can hold, or leaves the file to Assimp, or fails with a cause; the mesh stays as it was unless
// it reads. The same bytes as a file of points: a cloud of no more points than the bytes hold.

#include "oxPlyReader.h"
#include "pointFuzzCheck.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkPointParse(oxPointReaders::Format::Ply, data, size, 6);
    oxRenderMesh mesh;
    mesh.name = "kept";
    mesh.normals.resize(1);
    std::string cause;
    const oxPlyReader::Outcome outcome = oxPlyReader::parse(reinterpret_cast<const char*>(data), size, mesh, cause);
    if (outcome != oxPlyReader::Read)
    {
        fuzzRequire(mesh.normals.size() == 1 && mesh.positions.empty() && mesh.indices.empty() &&
                        (outcome == oxPlyReader::Failed) != cause.empty(),
                    "a mesh not read stays as it was; a failure has a cause");
        return 0;
    }
    // A vertex takes at least 12 bytes (or 6 characters), a triangle at least one byte of its face.
    fuzzRequire(mesh.name == "kept" && (mesh.normals.empty() || mesh.normals.size() == mesh.positions.size()) &&
                    mesh.indices.size() % 3 == 0 && mesh.positions.size() <= size / 6 &&
                    mesh.indices.size() / 3 <= size,
                "a mesh read has a normal per vertex or none, and no more than the bytes hold");
    for (osg::UInt32 i : mesh.indices)
        fuzzRequire(i < mesh.positions.size(), "triangles name the mesh's vertices");
    return 0;
}
