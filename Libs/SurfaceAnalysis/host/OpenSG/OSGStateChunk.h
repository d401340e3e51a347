#pragma once

#include "OSGFieldContainer.h"

namespace osg
{
// One piece of render state a ChunkMaterial applies. Chunks of the same class
// compete for the same slot, so the class name identifies the slot.
class StateChunk : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        NextFieldId = Inherited::NextFieldId
    };

    const char* getClassName() const { return getTypeName(); }

protected:
    StateChunk() = default;
};

typedef FCPtr<StateChunk> StateChunkPtr;
} // namespace osg
