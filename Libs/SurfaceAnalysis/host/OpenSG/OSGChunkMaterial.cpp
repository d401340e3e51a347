#include "OSGChunkMaterial.h"

#include <cstring>

namespace osg
{
FCPtr<ChunkMaterial> ChunkMaterial::create()
{
    return FCPtr<ChunkMaterial>(new ChunkMaterial);
}

Field* ChunkMaterial::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case ChunksFieldId:
        return &_chunks;
    case SlotsFieldId:
        return &_slots;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* ChunkMaterial::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case ChunksFieldId:
        return "chunks";
    case SlotsFieldId:
        return "slots";
    default:
        return Inherited::getFieldName(fieldId);
    }
}

Int32 ChunkMaterial::findSlot(const StateChunkPtr& chunk, Int32 slot) const
{
    if (slot >= 0)
        return slot;
    if (slot != AutoSlot)
        return 0;
    for (Int32 candidate = 0;; ++candidate)
    {
        bool taken = false;
        for (UInt32 i = 0; i < _chunks.size() && !taken; ++i)
            taken = _slots[i] == candidate && std::strcmp(_chunks[i]->getClassName(), chunk->getClassName()) == 0;
        if (!taken)
            return candidate;
    }
}

bool ChunkMaterial::addChunk(const StateChunkPtr& chunk, Int32 slot)
{
    if (chunk == NullFC)
        return false;
    const Int32 target = findSlot(chunk, slot);
    for (UInt32 i = 0; i < _chunks.size(); ++i)
        if (_slots[i] == target && std::strcmp(_chunks[i]->getClassName(), chunk->getClassName()) == 0)
        {
            _chunks[i] = chunk;
            return true;
        }
    _chunks.push_back(chunk);
    _slots.push_back(target);
    return true;
}

bool ChunkMaterial::subChunk(const StateChunkPtr& chunk)
{
    for (UInt32 i = 0; i < _chunks.size(); ++i)
        if (_chunks[i] == chunk)
        {
            _chunks.getValues().erase(_chunks.begin() + i);
            _slots.getValues().erase(_slots.begin() + i);
            return true;
        }
    return false;
}
} // namespace osg
