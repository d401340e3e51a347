#include "oxModelImporter.h"

#include "oxCadImporter.h"
#include "oxRenderUtil.h"

#include <QFileInfo>

#include <cstdio>

namespace
{
std::string cannotRead(bool isCad, const std::string& path, const std::string& why)
{
    return std::string(isCad ? "cannot read CAD file " : "cannot read mesh ") + oxRenderUtil::quoted(path) + ": " + why;
}
} // namespace

bool oxModelImporter::load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                           const oxMeshOptions& options)
{
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
        error = cannotRead(isCad, path, far);
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
    return oxCadImporter::isCadFile(path) || oxMeshImporter::isSupported(path);
}

std::string oxModelImporter::missingFileError(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path))
               ? std::string()
               : cannotRead(oxCadImporter::isCadFile(path), path, "no such file");
}
