#pragma once

#include "OSGNode.h"
#include "OSGVector.h"
#include "oxCadModel.h"

#include <cstdio>
#include <string>
#include <vector>

// The reference host's view of its CAD input: which files were read, what the model holds, and
// the continuity of the shared edges of all CAD faces in the scene.
class oxHostCad
{
public:
    // Remembers that node came from path, for modelInfo's sources, and the triangles of a damaged
    // mesh file that its reader left out.
    static void recordSource(const osg::NodePtr& node, const std::string& path, size_t lostTriangles = 0);

    struct ModelInfo
    {
        size_t triangles = 0, vertices = 0, meshes = 0, faces = 0, edges = 0, freeEdges = 0, lostEntities = 0,
               lostTriangles = 0;
        bool hasBounds = false;
        osg::Pnt3f min, max;
        std::vector<std::string> sources; // files whose nodes are still in the model
    };
    static ModelInfo modelInfo();
    // What a scene holds, without sources.
    static ModelInfo sceneInfo(const class oxRenderScene& scene);

    // Shared edges of every CAD mesh in the scene, numbered across the meshes in scene order, and
    // faces likewise. Empty for a model without CAD faces; the first time that happens, says why on
    // standard error.
    static std::vector<oxEdgeContinuity> continuity(const oxContinuityTolerances& tolerances);

    static void printTable(const std::vector<oxEdgeContinuity>& edges, std::FILE* out);
    // One line per edge after a header; false with error naming the file when it cannot be written.
    static bool writeCsv(const std::vector<oxEdgeContinuity>& edges, const std::string& path, std::string& error);
};
