#pragma once

#include "OSGStateChunk.h"

namespace osg
{
const UInt32 GL_ZERO_ = 0;
const UInt32 GL_ONE_ = 1;

// Framebuffer blending: source and destination factors (GL enumerants).
class BlendChunk : public StateChunk
{
public:
    typedef StateChunk Inherited;
    enum
    {
        SrcFactorFieldId = Inherited::NextFieldId,
        DestFactorFieldId,
        NextFieldId
    };
    static const BitVector SrcFactorFieldMask = BitVector(1) << SrcFactorFieldId;
    static const BitVector DestFactorFieldMask = BitVector(1) << DestFactorFieldId;

    static FCPtr<BlendChunk> create();
    const char* getTypeName() const override { return "BlendChunk"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    UInt32 getSrcFactor() const { return _srcFactor.getValue(); }
    void setSrcFactor(UInt32 factor) { _srcFactor.setValue(factor); }
    UInt32 getDestFactor() const { return _destFactor.getValue(); }
    void setDestFactor(UInt32 factor) { _destFactor.setValue(factor); }

protected:
    BlendChunk();

private:
    SField<UInt32> _srcFactor;
    SField<UInt32> _destFactor;
};

typedef FCPtr<BlendChunk> BlendChunkPtr;
} // namespace osg
