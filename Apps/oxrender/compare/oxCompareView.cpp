#include "oxCompareView.h"

#include "oxRenderScene.h"

#include <algorithm>

namespace
{
// Per mesh of a part, the number of its first face, as oxCompare numbers faces.
std::vector<size_t> firstFaces(const oxRenderScene& part)
{
    std::vector<size_t> first;
    size_t count = 0;
    for (size_t m = 0; m < part.meshCount(); ++m)
    {
        first.push_back(count);
        const oxCadMesh* cad = part.placedCad(m);
        count += cad ? cad->model->faceCount() : 1;
    }
    return first;
}

size_t faceOf(const oxRenderScene& part, const std::vector<size_t>& first, size_t mesh, size_t triangle)
{
    return first[mesh] + (part.placedCad(mesh) ? part.triangleFaces(mesh)[triangle] : 0);
}

// The removed faces' triangles of the old part, in the new part's space (the alignment moved the
// new part onto the old one).
std::shared_ptr<oxRenderScene> removedFaces(const oxCompareResult& result, const oxRenderScene& oldPart)
{
    std::vector<bool> removed;
    for (const oxFaceChange& f : result.oldFaces)
        if (f.change == oxFaceChange::Removed)
        {
            removed.resize(std::max(removed.size(), f.face + 1));
            removed[f.face] = true;
        }
    osg::Matrix back = result.alignment;
    back.invert();
    auto ghost = std::make_shared<oxRenderMesh>();
    const std::vector<size_t> first = firstFaces(oldPart);
    for (size_t m = 0; m < oldPart.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = oldPart.mesh(m);
        for (size_t t = 0; t < mesh.triangleCount(); ++t)
        {
            const size_t face = faceOf(oldPart, first, m, t);
            if (face >= removed.size() || !removed[face])
                continue;
            for (int k = 0; k < 3; ++k)
            {
                osg::Pnt3f p;
                back.multMatrixPnt(mesh.positions[mesh.indices[3 * t + size_t(k)]], p);
                ghost->indices.push_back(osg::UInt32(ghost->positions.size()));
                ghost->positions.push_back(p);
            }
        }
    }
    auto scene = std::make_shared<oxRenderScene>();
    if (ghost->triangleCount() > 0)
        scene->setMeshes({ghost});
    return scene;
}
} // namespace

std::shared_ptr<const oxCompareView> oxCompareView::make(const oxCompareResult& result, const oxRenderScene& oldPart,
                                                         const oxRenderScene& newPart)
{
    std::vector<float> codes;
    std::shared_ptr<oxCompareView> view(new oxCompareView);
    view->_tolerance = float(result.tolerance);
    for (const oxFaceChange& f : result.newFaces)
    {
        codes.resize(std::max(codes.size(), f.face + 1), oxCompareView::UnchangedCode);
        if (f.change == oxFaceChange::Added)
            codes[f.face] = AddedCode;
        else if (f.change == oxFaceChange::Modified)
        {
            codes[f.face] = float(f.largest);
            view->_largest = std::max(view->_largest, float(f.largest));
        }
    }
    const std::vector<size_t> first = firstFaces(newPart);
    for (size_t m = 0; m < newPart.meshCount(); ++m)
    {
        const size_t triangles = newPart.mesh(m).triangleCount();
        view->_triangles.push_back(triangles);
        oxShadingArray corners(3 * triangles, UnchangedCode);
        for (size_t t = 0; t < triangles; ++t)
        {
            const size_t face = faceOf(newPart, first, m, t);
            std::fill_n(corners.begin() + std::ptrdiff_t(3 * t), 3, face < codes.size() ? codes[face] : UnchangedCode);
        }
        view->_corners.push_back(std::move(corners));
    }
    view->_removed = removedFaces(result, oldPart);
    return view;
}

bool oxCompareView::fits(const oxRenderScene& scene) const
{
    if (scene.meshCount() != _triangles.size())
        return false;
    for (size_t m = 0; m < _triangles.size(); ++m)
        if (scene.mesh(m).triangleCount() != _triangles[m])
            return false;
    return true;
}
