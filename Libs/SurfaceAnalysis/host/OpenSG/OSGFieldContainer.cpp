#include "OSGFieldContainer.h"
#include "OSGFieldContainerFactory.h"

#include <cassert>
#include <cstring>

namespace osg
{
FieldContainer::FieldContainer() : _id(FieldContainerFactory::the()->registerContainer(this)) {}

FieldContainer::~FieldContainer()
{
    FieldContainerFactory::the()->unregisterContainer(_id);
}

void FieldContainer::subRef()
{
    assert(_refCount > 0);
    if (--_refCount == 0)
    {
        // Leave the registry first, so no lookup can revive a dying container.
        FieldContainerFactory::the()->unregisterContainer(_id);
        delete this;
    }
}

Field* FieldContainer::getField(UInt32)
{
    return nullptr;
}

const char* FieldContainer::getFieldName(UInt32) const
{
    return nullptr;
}

UInt32 FieldContainer::getFieldId(const char* name) const
{
    for (UInt32 id = 1; id <= getNumFields(); ++id)
    {
        const char* n = getFieldName(id);
        if (n && std::strcmp(n, name) == 0)
            return id;
    }
    return 0;
}

void FieldContainer::beginEdit(BitVector)
{
    ++_editDepth;
}

void FieldContainer::endEdit(BitVector whichField)
{
    if (_editDepth > 0)
        --_editDepth;
    ++_changeCount;
    _lastChangedMask = whichField;
    ++FieldContainerFactory::the()->_changeCount;
    changed(whichField);
}

void FieldContainer::changed(BitVector) {}

FieldContainerFactory* FieldContainerFactory::the()
{
    static FieldContainerFactory* factory = new FieldContainerFactory;
    return factory;
}

FieldContainerPtr FieldContainerFactory::getContainer(UInt32 id) const
{
    auto it = _containers.find(id);
    return it == _containers.end() ? FieldContainerPtr() : FieldContainerPtr(it->second);
}

UInt32 FieldContainerFactory::registerContainer(FieldContainer* fc)
{
    const UInt32 id = _nextId++;
    _containers.emplace(id, fc);
    return id;
}

void FieldContainerFactory::unregisterContainer(UInt32 id)
{
    _containers.erase(id);
}
} // namespace osg
