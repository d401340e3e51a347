#pragma once

#include "OSGSurfaceAnalysisAttachmentBase.h"

namespace osg
{
// The analysis settings record. The raytracer utilities own it; a new scene brings a new one.
class SurfaceAnalysisAttachment : public SurfaceAnalysisAttachmentBase
{
public:
    typedef SurfaceAnalysisAttachmentBase Inherited;

    static FCPtr<SurfaceAnalysisAttachment> create();
    const char* getTypeName() const override { return "SurfaceAnalysisAttachment"; }

protected:
    SurfaceAnalysisAttachment() = default;
};

typedef FCPtr<SurfaceAnalysisAttachment> SurfaceAnalysisAttachmentPtr;
} // namespace osg
