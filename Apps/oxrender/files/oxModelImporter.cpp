#include "oxModelImporter.h"

#include "oxCadImporter.h"
#include "oxPointImporter.h"
#include "oxRenderUtil.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
// What the file is called in messages: "CAD file", "point cloud" or "mesh".
std::string kindOf(const std::string& path)
{
    if (oxCadImporter::isCadFile(path))
        return "CAD file";
    return oxPointImporter::isPointFile(path) ? "point cloud" : "mesh";
}

std::string cannotRead(const std::string& path, const std::string& why)
{
    return "cannot read " + kindOf(path) + " " + oxRenderUtil::quoted(path) + ": " + why;
}

// A cloud too far out to be traced is refused, one that single precision holds coarsely warned about.
bool checkReach(const std::string& path, const oxPointCloud& cloud, std::string& error)
{
    osg::Pnt3f low, high;
    if (!cloud.bounds(low, high))
        return true;
    float reach = 0.f;
    for (int c = 0; c < 3; ++c)
        reach = std::max({reach, std::fabs(low[c]), std::fabs(high[c])});
    const std::string far = oxMeshImporter::reachRefusal(reach);
    if (!far.empty())
    {
        error = cannotRead(path, far);
        return false;
    }
    const std::string coarse = oxMeshImporter::precisionWarning(low, high);
    if (!coarse.empty())
        std::fprintf(stderr, "warning: point cloud \"%s\": %s\n", path.c_str(), coarse.c_str());
    return true;
}
} // namespace

bool oxModelImporter::load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                           const oxMeshOptions& options)
{
    if (oxPointImporter::isPointFile(path))
    {
        error = cannotRead(path, "it holds points, not the triangles of a mesh");
        return false;
    }
    if (!oxCadImporter::isCadFile(path))
        return oxMeshImporter::load(path, meshes, error, options);
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    oxCadOptions cadOptions;
    cadOptions.strict = options.strict;
    if (!oxCadImporter::load(path, cadOptions, mesh, cad, error))
        return false;
    meshes.push_back(std::move(mesh));
    return true;
}

osg::NodePtr oxModelImporter::loadNode(const std::string& path, std::string& error, float creaseAngleDegrees,
                                       const oxCadOptions& cadOptions)
{
    oxMeshImporter::File file;
    return read(path, file, error, creaseAngleDegrees, cadOptions) ? oxMeshImporter::makeNode(file) : osg::NodePtr();
}

bool oxModelImporter::read(const std::string& path, oxMeshImporter::File& file, std::string& error,
                           float creaseAngleDegrees, const oxCadOptions& cadOptions, oxMeshImporter::Stages* stages)
{
    oxMeshImporter::File read;
    read.path = path;
    if (oxPointImporter::isPointFile(path))
    {
        std::shared_ptr<oxPointCloud> cloud;
        if (!oxPointImporter::read(path, cloud, error) || !checkReach(path, *cloud, error))
            return false;
        read.points = std::move(cloud);
        file = std::move(read);
        return true;
    }
    const bool isCad = oxCadImporter::isCadFile(path);
    if (isCad)
    {
        read.meshes.emplace_back();
        if (!oxCadImporter::load(path, cadOptions, read.meshes.back(), read.cad, error))
            return false;
    }
    else
    {
        oxMeshOptions options;
        options.creaseAngleDegrees = creaseAngleDegrees;
        options.strict = cadOptions.strict;
        if (!oxMeshImporter::readFile(path, options, read, error, stages))
            return false;
    }
    const std::string far = oxMeshImporter::reachRefusal(read.meshes);
    if (!far.empty())
    {
        error = cannotRead(path, far);
        return false;
    }
    const std::string coarse = oxMeshImporter::precisionWarning(read.meshes);
    if (!coarse.empty())
        std::fprintf(stderr, "warning: %s \"%s\": %s\n", isCad ? "CAD file" : "mesh", path.c_str(), coarse.c_str());
    file = std::move(read);
    return true;
}

bool oxModelImporter::isSupported(const std::string& path)
{
    return oxCadImporter::isCadFile(path) || oxPointImporter::isPointFile(path) || oxMeshImporter::isSupported(path);
}

std::string oxModelImporter::missingFileError(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path)) ? std::string() : cannotRead(path, "no such file");
}
