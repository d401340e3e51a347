#include "oxDeviationCorners.h"

#include "oxDeviation.h"

#include <tbb/parallel_for.h>

#include <mutex>

std::shared_ptr<const oxDeviationCorners> oxDeviationCorners::of(const std::shared_ptr<const oxDeviationField>& field,
                                                                 const oxRenderScene& scene)
{
    if (!field)
        return nullptr;
    static std::mutex mutex;
    static std::weak_ptr<const oxDeviationField> lastField;
    static const oxRenderScene* lastScene = nullptr;
    static std::vector<const oxRenderMesh*> lastMeshes;
    static std::shared_ptr<const oxDeviationCorners> last;
    std::vector<const oxRenderMesh*> meshes;
    for (size_t m = 0; m < scene.meshCount(); ++m)
        meshes.push_back(&scene.mesh(m));
    const std::lock_guard<std::mutex> lock(mutex);
    if (last && lastField.lock() == field && lastScene == &scene && lastMeshes == meshes)
        return last;
    auto made = std::make_shared<oxDeviationCorners>();
    made->_corners.resize(meshes.size());
    for (size_t m = 0; m < meshes.size() && m < field->distance.size(); ++m)
    {
        const std::vector<float>& d = field->distance[m];
        const std::vector<osg::UInt32>& indices = meshes[m]->indices;
        if (d.size() != meshes[m]->vertexCount())
            continue;
        oxShadingArray& out = made->_corners[m];
        if (scene.points(m))
        {
            out.assign(d.begin(), d.end()); // one per point
            continue;
        }
        out.resize(indices.size());
        tbb::parallel_for(size_t(0), indices.size(), size_t(1 << 16),
                          [&](size_t start)
                          {
                              for (size_t i = start; i < std::min(indices.size(), start + (1 << 16)); ++i)
                                  out[i] = d[indices[i]];
                          });
    }
    lastField = field;
    lastScene = &scene;
    lastMeshes = std::move(meshes);
    last = made;
    return made;
}
