#include "OSGSurfaceAnalysisAttachment.h"

namespace osg
{
#define OSG_SA_FIELD_INIT(Name, Type, Default) , _sf##Name(Default)
SurfaceAnalysisAttachmentBase::SurfaceAnalysisAttachmentBase() : Attachment() OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_INIT)
{
}
#undef OSG_SA_FIELD_INIT

Field* SurfaceAnalysisAttachmentBase::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
#define OSG_SA_FIELD_CASE(Name, Type, Default)                                                                         \
    case Name##FieldId:                                                                                                \
        return &_sf##Name;
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_CASE)
#undef OSG_SA_FIELD_CASE
    default:
        return Inherited::getField(fieldId);
    }
}

const char* SurfaceAnalysisAttachmentBase::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
#define OSG_SA_FIELD_CASE(Name, Type, Default)                                                                         \
    case Name##FieldId:                                                                                                \
        return #Name;
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_CASE)
#undef OSG_SA_FIELD_CASE
    default:
        return Inherited::getFieldName(fieldId);
    }
}

FCPtr<SurfaceAnalysisAttachment> SurfaceAnalysisAttachment::create()
{
    return FCPtr<SurfaceAnalysisAttachment>(new SurfaceAnalysisAttachment);
}
} // namespace osg
