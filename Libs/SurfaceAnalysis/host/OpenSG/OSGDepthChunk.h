#pragma once

#include "OSGStateChunk.h"

namespace osg
{
const UInt32 GL_LEQUAL_ = 0x0203;

// Depth test and depth writes.
class DepthChunk : public StateChunk
{
public:
    typedef StateChunk Inherited;
    enum
    {
        EnableFieldId = Inherited::NextFieldId,
        FuncFieldId,
        ReadOnlyFieldId,
        NextFieldId
    };
    static const BitVector EnableFieldMask = BitVector(1) << EnableFieldId;
    static const BitVector FuncFieldMask = BitVector(1) << FuncFieldId;
    static const BitVector ReadOnlyFieldMask = BitVector(1) << ReadOnlyFieldId;

    static FCPtr<DepthChunk> create();
    const char* getTypeName() const override { return "DepthChunk"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    // Whether the depth test runs.
    bool getEnable() const { return _enable.getValue(); }
    void setEnable(bool enable) { _enable.setValue(enable); }
    UInt32 getFunc() const { return _func.getValue(); }
    void setFunc(UInt32 func) { _func.setValue(func); }
    // Whether depth writes are off.
    bool getReadOnly() const { return _readOnly.getValue(); }
    void setReadOnly(bool readOnly) { _readOnly.setValue(readOnly); }

protected:
    DepthChunk();

private:
    SField<bool> _enable;
    SField<UInt32> _func;
    SField<bool> _readOnly;
};

typedef FCPtr<DepthChunk> DepthChunkPtr;
} // namespace osg
