#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxRenderMesh.h"

#include <string>
#include <vector>

// Mesh files through Assimp (OBJ, STL, PLY, glTF, FBX, 3DS, Collada, ...): every mesh of the
// file's node tree in the file's world space, triangulated. Normals come from the file where it
// has vertex normals; otherwise (and for STL, whose normals are per facet) they are computed
// smooth with a crease angle. CAD files (STEP, IGES, B-rep) go to oxCadImporter.
class oxMeshImporter
{
public:
    // On failure meshes is left as it was and error names the file and the cause.
    static bool load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                     float creaseAngleDegrees = 30.f);
    // The file's meshes as geometry nodes under one group node named after the file, or null
    // with error set; nothing is built on failure, so a caller that adds the node on success
    // leaves its scene as it was on error.
    // A CAD file gives one geometry node with its exact data attached (see oxCadMesh).
    static osg::NodePtr loadNode(const std::string& path, std::string& error, float creaseAngleDegrees = 30.f,
                                 const oxCadOptions& cadOptions = oxCadOptions());
    // Whether Assimp or Open CASCADE has a reader for the file's extension.
    static bool isSupported(const std::string& path);
};
