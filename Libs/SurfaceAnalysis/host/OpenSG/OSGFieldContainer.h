#pragma once

#include "OSGBaseTypes.h"
#include "OSGField.h"
#include "OSGFieldContainerPtr.h"

namespace osg
{
// Base of every scene-graph object: a numbered, reference-counted set of fields.
// Field ids chain from the base (FooFieldId = Inherited::NextFieldId); masks are 1 << FooFieldId.
class FieldContainer
{
public:
    enum
    {
        NextFieldId = 1
    };

    FieldContainer(const FieldContainer&) = delete;
    FieldContainer& operator=(const FieldContainer&) = delete;

    UInt32 getId() const { return _id; }
    virtual const char* getTypeName() const = 0;

    // The field with this id, or null when the container has no such field.
    virtual Field* getField(UInt32 fieldId);
    // The field's name, or null for an unknown id.
    virtual const char* getFieldName(UInt32 fieldId) const;
    // The id of the field with this name, or 0.
    UInt32 getFieldId(const char* name) const;
    // Highest field id of the container's type.
    virtual UInt32 getNumFields() const { return 0; }

    void addRef() { ++_refCount; }
    void subRef();
    UInt32 getRefCount() const { return _refCount; }

    // Edit brackets; endEdit notifies the container through changed().
    void beginEdit(BitVector whichField);
    void endEdit(BitVector whichField);
    bool isBeingEdited() const { return _editDepth > 0; }
    // How many edits were closed on this container, and the mask of the last one.
    UInt64 getChangeCount() const { return _changeCount; }
    BitVector getLastChangedMask() const { return _lastChangedMask; }

protected:
    FieldContainer();
    virtual ~FieldContainer();
    virtual void changed(BitVector whichField);

private:
    UInt32 _id;
    UInt32 _refCount = 0;
    Int32 _editDepth = 0;
    UInt64 _changeCount = 0;
    BitVector _lastChangedMask = 0;
};

typedef FCPtr<FieldContainer> FieldContainerPtr;

template <class T> void beginEditCP(const FCPtr<T>& p, BitVector whichField = AllFieldsMask)
{
    if (p != NullFC)
        p->beginEdit(whichField);
}
template <class T> void endEditCP(const FCPtr<T>& p, BitVector whichField = AllFieldsMask)
{
    if (p != NullFC)
        p->endEdit(whichField);
}
} // namespace osg
