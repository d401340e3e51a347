#pragma once

#include "OSGFieldContainer.h"

namespace osg
{
// Base of data attached to scene objects; owns field ids 1 and 2.
class Attachment : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        ParentsFieldId = Inherited::NextFieldId,
        InternalFieldId,
        NextFieldId
    };
    static constexpr BitVector ParentsFieldMask = BitVector(1) << ParentsFieldId;
    static constexpr BitVector InternalFieldMask = BitVector(1) << InternalFieldId;

    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    bool getInternal() const { return _internal.getValue(); }
    void setInternal(bool internal) { _internal.setValue(internal); }

protected:
    Attachment() = default;

private:
    MField<UInt32> _parents; // ids of the containers this is attached to
    SField<bool> _internal;
};
} // namespace osg
