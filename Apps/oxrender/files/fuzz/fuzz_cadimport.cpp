// Bytes as a CAD file: the first byte picks the format (STEP, IGES or B-rep), the rest is the
// file. Whatever the readers make of it in their own process, the host gets a mesh with its
// exact data that fit each other, or one error naming the file; the output stays as it was on error.

#include "fuzzinput.h"
#include "oxCadCache.h"
#include "oxCadImporter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const suffixes[] = {"step", "igs", "brep"};
    const std::string path = "/tmp/oxfuzz-cad-" + std::to_string(::getpid()) + "." + suffixes[data[0] % 3];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    // The readers are under test, not the cache, and the inputs must not pile up in it.
    oxCadCache::setEnabled(false);
    oxCadOptions options;
    options.deflection = 0.01; // coarse: the fuzzer wants many inputs, not fine meshes
    options.angleDegrees = 30;
    options.timeoutSeconds = 5;
    oxRenderMesh mesh;
    mesh.name = "kept";
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    const bool ok = oxCadImporter::load(path, options, mesh, cad, error);
    std::remove(path.c_str());
    if (!ok)
    {
        fuzzRequire(mesh.name == "kept" && !cad && error.rfind("cannot read CAD file \"" + path + "\": ", 0) == 0,
                    "a refused file leaves the output and names the file");
        return 0;
    }
    const size_t n = mesh.vertexCount();
    fuzzRequire(cad && cad->model && cad->vertexFace.size() == n && cad->uv.size() == 2 * n &&
                    cad->curvatures.kMax.size() == n && mesh.normals.size() == n && mesh.indices.size() % 3 == 0,
                "the exact data fit the mesh");
    for (osg::UInt32 i : mesh.indices)
        fuzzRequire(i < n, "triangles name the mesh's vertices");
    for (osg::UInt32 f : cad->vertexFace)
        fuzzRequire(f < cad->model->faceCount(), "vertices name the model's faces");
    cad->model->continuity(oxContinuityTolerances(), 4);
    return 0;
}
