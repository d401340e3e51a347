#pragma once

#include "OSGFieldContainer.h"

#include <unordered_map>

namespace osg
{
// Finds live containers by id. Ids are never reused, so a stale id finds nothing.
class FieldContainerFactory
{
public:
    // Lives until the process ends: containers may die during static destruction.
    static FieldContainerFactory* the();

    FieldContainerPtr getContainer(UInt32 id) const;
    UInt32 getNumContainers() const { return UInt32(_containers.size()); }
    // Edits closed on any container since start; lets tests see that nothing was written.
    UInt64 getChangeCount() const { return _changeCount; }

private:
    friend class FieldContainer;
    FieldContainerFactory() = default;
    UInt32 registerContainer(FieldContainer* fc);
    void unregisterContainer(UInt32 id);

    std::unordered_map<UInt32, FieldContainer*> _containers;
    UInt32 _nextId = 1;
    UInt64 _changeCount = 0;
};
} // namespace osg
