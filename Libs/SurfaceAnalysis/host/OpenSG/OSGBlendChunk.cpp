#include "OSGBlendChunk.h"

namespace osg
{
// GL's own defaults: no blending effect.
BlendChunk::BlendChunk() : _srcFactor(GL_ONE_), _destFactor(GL_ZERO_) {}

FCPtr<BlendChunk> BlendChunk::create()
{
    return FCPtr<BlendChunk>(new BlendChunk);
}

Field* BlendChunk::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case SrcFactorFieldId:
        return &_srcFactor;
    case DestFactorFieldId:
        return &_destFactor;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* BlendChunk::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case SrcFactorFieldId:
        return "srcFactor";
    case DestFactorFieldId:
        return "destFactor";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
