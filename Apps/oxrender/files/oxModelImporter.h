#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxMeshImporter.h"

#include <string>
#include <vector>

// Any model file the host opens. Which reader takes it is asked here alone, once per file: CAD
// files (STEP, IGES, B-rep) go to oxCadImporter, point clouds (oxPointImporter::isPointFile) to
// oxPointImporter, the rest to oxMeshImporter (Assimp would take a STEP file for IFC).
class oxModelImporter
{
public:
    // On failure meshes is left as it was and error names the file and the cause.
    static bool load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                     const oxMeshOptions& options = oxMeshOptions());
    // The file's node (see oxMeshImporter::makeNode), or null with error set; nothing is built on
    // failure, so a caller that adds the node on success leaves its scene as it was on error.
    static osg::NodePtr loadNode(const std::string& path, std::string& error, float creaseAngleDegrees = 30.f,
                                 const oxCadOptions& cadOptions = oxCadOptions());
    // loadNode in two stages, so that a window can read on a thread and keep the scene graph on
    // its own: read touches no scene graph, oxMeshImporter::makeNode builds the node of what read
    // found. cadOptions.strict refuses a damaged mesh file too. A model too far out to be traced
    // is refused, one that single precision holds coarsely is warned about on standard error.
    static bool read(const std::string& path, oxMeshImporter::File& file, std::string& error,
                     float creaseAngleDegrees = 30.f, const oxCadOptions& cadOptions = oxCadOptions(),
                     oxMeshImporter::Stages* stages = nullptr);
    // Whether Assimp, Open CASCADE or a point reader has a reader for the file's extension.
    static bool isSupported(const std::string& path);
    // Empty when the file exists, else the error read() gives for it: said before anything is
    // started that a missing file would make pointless.
    static std::string missingFileError(const std::string& path);
};
