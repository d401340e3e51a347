#include "oxCadMesh.h"

#include "OSGFieldContainerFactory.h"

#include <map>
#include <mutex>

namespace
{
// Geometry container ids are never reused, so an entry whose container is gone is dropped.
struct Registry
{
    std::mutex mutex;
    std::map<osg::UInt32, std::shared_ptr<const oxCadMesh>> byGeometry;

    void prune()
    {
        for (auto it = byGeometry.begin(); it != byGeometry.end();)
            if (osg::FieldContainerFactory::the()->getContainer(it->first) == osg::NullFC)
                it = byGeometry.erase(it);
            else
                ++it;
    }
};

Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace

void oxCadMesh::attach(const osg::GeometryPtr& geometry, std::shared_ptr<const oxCadMesh> cad)
{
    if (geometry == osg::NullFC)
        return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.prune();
    r.byGeometry[geometry->getId()] = std::move(cad);
}

std::shared_ptr<const oxCadMesh> oxCadMesh::of(const osg::Geometry& geometry)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.byGeometry.find(geometry.getId());
    return it == r.byGeometry.end() ? nullptr : it->second;
}
