#include "oxHostCad.h"

#include "OSGFieldContainerFactory.h"
#include "oxAtomicFile.h"
#include "oxHostResults.h"
#include "oxRenderer.h"
#include "oxScenegraph.h"

#include <QFile>

#include <utility>

namespace
{
struct Source
{
    osg::UInt32 node;
    std::string path;
    size_t lostTriangles;
};

std::vector<Source>& sources()
{
    static std::vector<Source> list;
    return list;
}

bool inModel(osg::UInt32 id)
{
    const osg::NodePtr root = oxScenegraph::getRoot();
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        if (root->getChild(i)->getId() == id)
            return true;
    return false;
}
} // namespace

void oxHostCad::recordSource(const osg::NodePtr& node, const std::string& path, size_t lostTriangles)
{
    if (node != osg::NullFC)
        sources().push_back({node->getId(), path, lostTriangles});
}

oxHostCad::ModelInfo oxHostCad::modelInfo()
{
    oxRenderer::the().syncScene();
    ModelInfo info = sceneInfo(oxRenderer::the().scene());
    for (const Source& source : sources())
        if (inModel(source.node))
        {
            info.sources.push_back(source.path);
            info.lostTriangles += source.lostTriangles;
        }
    return info;
}

oxHostCad::ModelInfo oxHostCad::sceneInfo(const oxRenderScene& scene)
{
    ModelInfo info;
    info.meshes = scene.meshCount();
    for (size_t i = 0; i < scene.meshCount(); ++i)
    {
        info.triangles += scene.mesh(i).triangleCount();
        info.vertices += scene.mesh(i).vertexCount();
        // The counts do not depend on where the model sits.
        if (const oxCadMesh* cad = scene.placedCad(i))
        {
            info.faces += cad->model->faceCount();
            info.edges += cad->model->sharedEdgeCount();
            info.freeEdges += cad->model->freeEdgeCount();
            info.lostEntities += cad->lostEntities;
        }
    }
    info.hasBounds = scene.bounds(info.min, info.max);
    return info;
}

std::vector<oxEdgeContinuity> oxHostCad::continuity(const oxContinuityTolerances& tolerances)
{
    oxRenderer::the().syncScene();
    const oxRenderScene& scene = oxRenderer::the().scene();
    std::vector<oxEdgeContinuity> all;
    size_t faceOffset = 0;
    bool anyCad = false;
    for (size_t i = 0; i < scene.meshCount(); ++i)
    {
        // Gaps, angles and lengths do not change with the placement either.
        const oxCadMesh* cad = scene.placedCad(i);
        if (!cad)
            continue;
        anyCad = true;
        for (oxEdgeContinuity& edge : cad->model->continuity(tolerances))
        {
            edge.edge = all.size();
            edge.faces[0] += faceOffset;
            edge.faces[1] += faceOffset;
            all.push_back(std::move(edge));
        }
        faceOffset += cad->model->faceCount();
    }
    static bool told = false;
    if (!anyCad && !told)
    {
        told = true;
        std::fprintf(stderr, "oxhost: continuity: the model has no CAD faces; meshes have no edges to check "
                             "(load a STEP, IGES or B-rep file)\n");
    }
    return all;
}

void oxHostCad::printTable(const std::vector<oxEdgeContinuity>& edges, std::FILE* out)
{
    std::fprintf(out, "%6s %13s %12s %12s %10s %10s %12s %10s  %s\n", "edge", "faces", "length", "gap (G0)",
                 "angle (G1)", "curv (G2)", "|1/R1-1/R2|", "rate (G3)", "class");
    size_t count[5] = {0, 0, 0, 0, 0};
    for (const oxEdgeContinuity& e : edges)
    {
        const std::string faces = std::to_string(e.faces[0]) + "-" + std::to_string(e.faces[1]);
        std::fprintf(out, "%6zu %13s %12.6g %12.3g %10.4f %10.4f %12.4g %10.4f  %s\n", e.edge, faces.c_str(), e.length,
                     e.g0, e.g1, e.g2, e.g2abs, e.g3, oxEdgeContinuity::className(e.continuity));
        ++count[e.continuity];
    }
    std::fprintf(out, "%zu shared edges: %zu G3, %zu G2, %zu G1, %zu G0, %zu open\n", edges.size(), count[0], count[1],
                 count[2], count[3], count[4]);
}

bool oxHostCad::writeCsv(const std::vector<oxEdgeContinuity>& edges, const std::string& path, std::string& error)
{
    std::string text = oxResultFields::csvHeader(oxHostResults::continuity());
    for (const oxEdgeContinuity& e : edges)
        text += oxResultFields::csvLine(oxHostResults::continuity(), e);
    std::string why;
    if (!oxAtomicFile::save(path, text, why))
    {
        error = "cannot write the continuity table \"" + path + "\": " + why;
        return false;
    }
    return true;
}
