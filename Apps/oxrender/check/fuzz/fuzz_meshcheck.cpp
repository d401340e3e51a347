// Bytes as a small triangle mesh on a coarse grid, so that corners coincide and triangles touch,
// lie in one plane and cross. A mesh naming a missing vertex must be refused; any other must check,
// its findings within the mesh, and give the same counts as its triangle soup (every corner a
// vertex of its own), which the welding must bring back together.
#include "fuzzinput.h"
#include "oxCheck.h"
#include "oxRenderMesh.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace
{
float coordinate(uint8_t b)
{
    switch (b)
    {
    case 255:
        return std::numeric_limits<float>::quiet_NaN();
    case 254:
        return std::numeric_limits<float>::infinity();
    case 253:
        return -0.f;
    default:
        return float(int(b % 8) - 4) * 0.5f;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t vertices = data[0] % 16 + 1, floats = 3 * vertices;
    if (size < 1 + floats)
        return 0;
    oxRenderMesh mesh, soup;
    for (size_t v = 0; v < vertices; ++v)
        mesh.positions.emplace_back(coordinate(data[1 + 3 * v]), coordinate(data[2 + 3 * v]),
                                    coordinate(data[3 + 3 * v]));
    bool missing = false;
    for (size_t i = 1 + floats; i + 3 <= size; i += 3)
        for (size_t k = 0; k < 3; ++k)
        {
            const osg::UInt32 index = data[i + k] % (vertices + 1);
            missing = missing || index >= vertices;
            mesh.indices.push_back(index);
            if (index < vertices)
                soup.positions.push_back(mesh.positions[index]);
            soup.indices.push_back(osg::UInt32(soup.indices.size()));
        }
    oxCheckProfile profile = oxCheckProfile::standard();
    profile.findingsPerCriterion = 3;
    const oxCheckResult r = oxCheck::runMesh(mesh, profile, 7);
    fuzzRequire(missing == (r.verdict == oxCheckResult::Error),
                "a mesh is refused exactly when it names a missing vertex");
    if (missing)
        return 0;
    const size_t triangles = mesh.triangleCount();
    for (const oxCheckFinding& f : r.findings)
    {
        const size_t perTriangle = f.entity == "edge" ? 3 : 1;
        fuzzRequire(f.index >= 7 * perTriangle && f.index < (7 + triangles) * perTriangle &&
                        oxCheckCriteria::onMeshes(f.criterion),
                    "findings lie within the mesh and are of mesh criteria");
    }
    fuzzRequire(oxCheck::runMesh(soup, profile, 7).counts == r.counts, "the triangle soup gives the same counts");
    return 0;
}
