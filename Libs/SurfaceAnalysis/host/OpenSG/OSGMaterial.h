#pragma once

#include "OSGFieldContainer.h"

namespace osg
{
// What a geometry looks like. The sort key orders transparent drawing: higher keys draw later.
class Material : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        SortKeyFieldId = Inherited::NextFieldId,
        NextFieldId
    };
    static const BitVector SortKeyFieldMask = BitVector(1) << SortKeyFieldId;

    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    Int32 getSortKey() const { return _sortKey.getValue(); }
    void setSortKey(Int32 key) { _sortKey.setValue(key); }

    virtual bool isTransparent() const { return false; }

protected:
    Material() = default;

private:
    SField<Int32> _sortKey;
};

typedef FCPtr<Material> MaterialPtr;
} // namespace osg
