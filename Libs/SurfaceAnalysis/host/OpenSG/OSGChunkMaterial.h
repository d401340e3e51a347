#pragma once

#include "OSGMaterial.h"
#include "OSGStateChunk.h"

namespace osg
{
// A material made of state chunks. Each chunk sits in a numbered slot of its class.
class ChunkMaterial : public Material
{
public:
    typedef Material Inherited;
    enum
    {
        ChunksFieldId = Inherited::NextFieldId,
        SlotsFieldId,
        NextFieldId
    };
    static const BitVector ChunksFieldMask = BitVector(1) << ChunksFieldId;
    static const BitVector SlotsFieldMask = BitVector(1) << SlotsFieldId;

    // AutoSlot takes the lowest slot free for the chunk's class; AutoSlotReplace takes
    // slot 0, replacing a chunk of the same class that is there.
    enum
    {
        AutoSlot = -1,
        AutoSlotReplace = -2
    };

    static FCPtr<ChunkMaterial> create();
    const char* getTypeName() const override { return "ChunkMaterial"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    // False for a null chunk. A chunk of the same class in the chosen slot is replaced in place.
    bool addChunk(const StateChunkPtr& chunk, Int32 slot = AutoSlotReplace);
    bool subChunk(const StateChunkPtr& chunk);
    const MField<StateChunkPtr>& getChunks() const { return _chunks; }
    const MField<Int32>& getSlots() const { return _slots; }

    // The chunk of class T in that slot, or null.
    template <class T> FCPtr<T> find(Int32 slot = 0) const
    {
        for (UInt32 i = 0; i < _chunks.size(); ++i)
        {
            FCPtr<T> chunk = FCPtr<T>::dcast(_chunks[i]);
            if (chunk != NullFC && _slots[i] == slot)
                return chunk;
        }
        return FCPtr<T>();
    }

protected:
    ChunkMaterial() = default;

private:
    Int32 findSlot(const StateChunkPtr& chunk, Int32 slot) const;

    MField<StateChunkPtr> _chunks;
    MField<Int32> _slots;
};

typedef FCPtr<ChunkMaterial> ChunkMaterialPtr;
} // namespace osg
