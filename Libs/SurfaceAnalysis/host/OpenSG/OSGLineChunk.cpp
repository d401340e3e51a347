#include "OSGLineChunk.h"

namespace osg
{
LineChunk::LineChunk() : _width(1.f), _smooth(false) {}

FCPtr<LineChunk> LineChunk::create()
{
    return FCPtr<LineChunk>(new LineChunk);
}

Field* LineChunk::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case WidthFieldId:
        return &_width;
    case SmoothFieldId:
        return &_smooth;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* LineChunk::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case WidthFieldId:
        return "width";
    case SmoothFieldId:
        return "smooth";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
