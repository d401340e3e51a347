#include "oxHostDeviation.h"

#include "oxDeviationExport.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostPlacementEdit.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxMeshNodes.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"

namespace
{
std::string& referenceSource()
{
    static std::string path;
    return path;
}

size_t& referenceLostTriangles()
{
    static size_t lost = 0;
    return lost;
}

// The distances of the synced model, or null with error.
std::shared_ptr<const oxDeviationField> deviation(const char* what, std::string& error)
{
    oxRenderer& renderer = oxRenderer::the();
    if (!renderer.hasReference())
    {
        error = std::string("cannot ") + what + ": no reference is loaded (oxHost.loadReference or --reference)";
        return nullptr;
    }
    renderer.syncScene();
    auto field = renderer.deviation();
    if (!field)
        error = std::string("cannot ") + what + ": the model is empty";
    return field;
}
} // namespace

bool oxHostDeviation::loadReference(const std::string& path, std::string& error, const oxCadOptions& cad)
{
    oxMeshImporter::File file;
    if (!oxModelImporter::read(path, file, error, oxMeshNodes::DefaultCreaseAngle, cad))
        return false;
    useReference(file);
    return true;
}

void oxHostDeviation::useReference(oxMeshImporter::File& file)
{
    std::vector<std::shared_ptr<const oxRenderMesh>> meshes;
    for (oxRenderMesh& mesh : file.meshes)
        meshes.push_back(std::make_shared<oxRenderMesh>(std::move(mesh)));
    if (file.points && !file.points->positions.empty())
    {
        // A cloud is measured to by its points alone: a mesh of them without triangles.
        auto points = std::make_shared<oxRenderMesh>();
        points->name = file.points->name;
        points->positions = file.points->positions;
        meshes.push_back(std::move(points));
    }
    std::vector<std::shared_ptr<const oxCadMesh>> exact;
    if (file.cad)
        exact.push_back(file.cad);
    oxRenderer::the().setReference(std::move(meshes), std::move(exact));
    referenceSource() = file.path;
    referenceLostTriangles() = file.lostTriangles;
}

void oxHostDeviation::clearReference()
{
    oxRenderer::the().setReference({});
    referenceSource().clear();
    referenceLostTriangles() = 0;
    oxHostAnalysisModel::the()->referenceDropped();
}

oxHostCad::ModelInfo oxHostDeviation::referenceInfo()
{
    oxHostCad::ModelInfo info = oxHostCad::sceneInfo(oxRenderer::the().reference());
    if (oxRenderer::the().hasReference() && !referenceSource().empty())
    {
        info.sources.push_back(referenceSource());
        info.lostTriangles = referenceLostTriangles();
    }
    return info;
}

bool oxHostDeviation::stats(int bins, oxDeviationStats& out, std::string& error)
{
    const auto field = deviation("take deviation statistics", error);
    if (!field)
        return false;
    oxRenderer& renderer = oxRenderer::the();
    const double tolerance = oxDeviation::tolerance(oxHostAnalysisModel::the()->settings(), renderer.reference());
    if (!oxDeviation::stats(renderer.scene(), *field, tolerance, bins, out, error))
    {
        error = "cannot take deviation statistics: " + error;
        return false;
    }
    return true;
}

bool oxHostDeviation::exportDeviation(const std::string& path, std::string& error)
{
    const auto field = deviation(("export the deviation to \"" + path + "\"").c_str(), error);
    return field && oxDeviationExport::write(oxRenderer::the().scene(), *field, path, error);
}

bool oxHostDeviation::alignToReference(int iterations, oxAlignment::Result& out, std::string& error)
{
    oxRenderer& renderer = oxRenderer::the();
    if (!renderer.hasReference())
    {
        error = "cannot align to the reference: no reference is loaded (oxHost.loadReference or --reference)";
        return false;
    }
    renderer.syncScene();
    const oxRenderScene& scene = renderer.scene();
    std::vector<osg::Pnt3f> points;
    for (size_t m = 0; m < scene.meshCount(); ++m)
        points.insert(points.end(), scene.mesh(m).positions.begin(), scene.mesh(m).positions.end());
    if (!oxAlignment::align(points, renderer.reference(), iterations, out, error))
        return false;
    if (!out.moved)
        return true; // nothing to undo
    // The fit moves world points: it goes before the placement the model already has.
    osg::Matrix placement = out.matrix;
    placement.mult(oxHostPlacementEdit::placement());
    oxUndoStack::get(0).add(new oxHostPlacementEdit(placement, "Align to the reference"));
    return true;
}
