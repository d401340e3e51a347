#include "OSGDepthChunk.h"

namespace osg
{
DepthChunk::DepthChunk() : _enable(true), _func(GL_LEQUAL_), _readOnly(false) {}

FCPtr<DepthChunk> DepthChunk::create()
{
    return FCPtr<DepthChunk>(new DepthChunk);
}

Field* DepthChunk::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case EnableFieldId:
        return &_enable;
    case FuncFieldId:
        return &_func;
    case ReadOnlyFieldId:
        return &_readOnly;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* DepthChunk::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case EnableFieldId:
        return "enable";
    case FuncFieldId:
        return "func";
    case ReadOnlyFieldId:
        return "readOnly";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
