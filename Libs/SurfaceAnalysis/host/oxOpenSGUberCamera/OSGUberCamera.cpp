#include "OSGUberCamera.h"

namespace osg
{
UberCamera::UberCamera() : _orthographic(false), _nearPlaneDiagonal(1.f), _referenceLength(100.f) {}

FCPtr<UberCamera> UberCamera::create()
{
    return FCPtr<UberCamera>(new UberCamera);
}

Field* UberCamera::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case OrthographicFieldId:
        return &_orthographic;
    case NearPlaneDiagonalFieldId:
        return &_nearPlaneDiagonal;
    case ReferenceLengthFieldId:
        return &_referenceLength;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* UberCamera::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case OrthographicFieldId:
        return "orthographic";
    case NearPlaneDiagonalFieldId:
        return "nearPlaneDiagonal";
    case ReferenceLengthFieldId:
        return "referenceLength";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
