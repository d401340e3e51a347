#include "OSGAttachment.h"

namespace osg
{
Field* Attachment::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case ParentsFieldId:
        return &_parents;
    case InternalFieldId:
        return &_internal;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* Attachment::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case ParentsFieldId:
        return "parents";
    case InternalFieldId:
        return "internal";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
