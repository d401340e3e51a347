#pragma once

#include "OSGFieldContainerFactory.h"
#include "OSGGeometry.h"

#include <map>
#include <memory>
#include <mutex>

// Data of ours that stays beside a geometry core while that lives (a CAD mesh's exact data, a
// point cloud's points), found again by the core. Container ids are never reused, so an entry
// whose container is gone is dropped.
template <class T> class oxGeometryData
{
public:
    static void attach(const osg::GeometryPtr& geometry, std::shared_ptr<const T> data)
    {
        if (geometry == osg::NullFC)
            return;
        std::lock_guard<std::mutex> lock(mutex());
        auto& map = byGeometry();
        for (auto it = map.begin(); it != map.end();)
            if (osg::FieldContainerFactory::the()->getContainer(it->first) == osg::NullFC)
                it = map.erase(it);
            else
                ++it;
        map[geometry->getId()] = std::move(data);
    }

    static std::shared_ptr<const T> of(const osg::Geometry& geometry)
    {
        std::lock_guard<std::mutex> lock(mutex());
        const auto it = byGeometry().find(geometry.getId());
        return it == byGeometry().end() ? nullptr : it->second;
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::map<osg::UInt32, std::shared_ptr<const T>>& byGeometry()
    {
        static std::map<osg::UInt32, std::shared_ptr<const T>> m;
        return m;
    }
};
