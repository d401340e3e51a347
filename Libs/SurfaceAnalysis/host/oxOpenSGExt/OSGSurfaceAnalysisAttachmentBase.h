#pragma once

#include "OSGAttachment.h"
#include "OSGSurfaceAnalysisAttachmentFields.h"
#include "OSGSurfaceAnalysisModes.h"
#include "OSGVector.h"

namespace osg
{
// All of the record's values at once, each at its default until set: a snapshot for readers that
// must not hold the record (the raytracer's threads).
struct SurfaceAnalysisValues
{
#define OSG_SA_VALUE(Name, Type, Default) Type Name = Default;
    OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_VALUE)
#undef OSG_SA_VALUE
};

// Generated-style field access of the analysis settings record.
class SurfaceAnalysisAttachmentBase : public Attachment
{
public:
    typedef Attachment Inherited;

#define OSG_SA_FIELD_ID(Name, Type, Default) Name##FieldId,
    enum
    {
        FirstOwnFieldId = Inherited::NextFieldId - 1,
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_ID) NextFieldId
    };
#undef OSG_SA_FIELD_ID

#define OSG_SA_FIELD_MASK(Name, Type, Default)                                                                         \
    static constexpr BitVector Name##FieldMask = BitVector(1) << Name##FieldId;
    OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_MASK)
#undef OSG_SA_FIELD_MASK

#define OSG_SA_FIELD_ACCESS(Name, Type, Default)                                                                       \
    SField<Type>* getSF##Name()                                                                                        \
    {                                                                                                                  \
        return &_sf##Name;                                                                                             \
    }                                                                                                                  \
    Type& get##Name()                                                                                                  \
    {                                                                                                                  \
        return _sf##Name.getValue();                                                                                   \
    }                                                                                                                  \
    const Type& get##Name() const                                                                                      \
    {                                                                                                                  \
        return _sf##Name.getValue();                                                                                   \
    }                                                                                                                  \
    void set##Name(const Type& value)                                                                                  \
    {                                                                                                                  \
        _sf##Name.setValue(value);                                                                                     \
    }
    OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_ACCESS)
#undef OSG_SA_FIELD_ACCESS

    SurfaceAnalysisValues getValues() const
    {
        SurfaceAnalysisValues values;
#define OSG_SA_GET_VALUE(Name, Type, Default) values.Name = get##Name();
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_GET_VALUE)
#undef OSG_SA_GET_VALUE
        return values;
    }
    // Writes every field, without edit brackets: the caller brackets the whole record.
    void setValues(const SurfaceAnalysisValues& values)
    {
#define OSG_SA_SET_VALUE(Name, Type, Default) set##Name(values.Name);
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_SET_VALUE)
#undef OSG_SA_SET_VALUE
    }

    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override
    {
        return NextFieldId - 1;
    }

protected:
    SurfaceAnalysisAttachmentBase();

private:
#define OSG_SA_FIELD_MEMBER(Name, Type, Default) SField<Type> _sf##Name;
    OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_FIELD_MEMBER)
#undef OSG_SA_FIELD_MEMBER
};

// Calls visit with the member of values (SurfaceAnalysisValues, const or not) that holds the field
// fieldId; false, and no call, for an id that is not one of the record's own fields.
template <class Values, class Visit> bool visitSurfaceAnalysisValue(Values& values, UInt32 fieldId, Visit&& visit)
{
    switch (fieldId)
    {
#define OSG_SA_VISIT_CASE(Name, Type, Default)                                                                         \
    case SurfaceAnalysisAttachmentBase::Name##FieldId:                                                                 \
        visit(values.Name);                                                                                            \
        return true;
        OSG_SURFACE_ANALYSIS_FIELDS(OSG_SA_VISIT_CASE)
#undef OSG_SA_VISIT_CASE
    default:
        return false;
    }
}
} // namespace osg
