#include "OSGMaterial.h"

namespace osg
{
Field* Material::getField(UInt32 fieldId)
{
    return fieldId == SortKeyFieldId ? &_sortKey : Inherited::getField(fieldId);
}

const char* Material::getFieldName(UInt32 fieldId) const
{
    return fieldId == SortKeyFieldId ? "sortKey" : Inherited::getFieldName(fieldId);
}
} // namespace osg
