#include "oxRaytracingUtilsBase.h"

oxRaytracingUtilsBase::oxRaytracingUtilsBase() : _record(osg::SurfaceAnalysisAttachment::create()) {}

oxRaytracingUtilsBase::~oxRaytracingUtilsBase() = default;

osg::SurfaceAnalysisAttachmentPtr oxRaytracingUtilsBase::getSurfaceAnalysisAttachment()
{
    return _record;
}

void oxRaytracingUtilsBase::setAnalysisRaytracing(bool on)
{
    _analysisRaytracing = on;
    ++_analysisRaytracingCalls;
}

osg::SurfaceAnalysisAttachmentPtr oxRaytracingUtilsBase::replaceAttachment()
{
    _record = osg::SurfaceAnalysisAttachment::create();
    return _record;
}

void oxRaytracingUtilsBase::removeAttachment()
{
    _record = osg::NullFC;
}

void oxRaytracingUtilsBase::setAttachment(const osg::SurfaceAnalysisAttachmentPtr& record)
{
    _record = record;
}
