#pragma once

#include "OSGSurfaceAnalysisAttachment.h"

// The raytracer utilities: owner of the analysis settings record of the current scene.
class oxRaytracingUtilsBase
{
public:
    // Starts with a fresh record.
    oxRaytracingUtilsBase();
    virtual ~oxRaytracingUtilsBase();

    oxRaytracingUtilsBase(const oxRaytracingUtilsBase&) = delete;
    oxRaytracingUtilsBase& operator=(const oxRaytracingUtilsBase&) = delete;

    // The record of the current scene, or null.
    virtual osg::SurfaceAnalysisAttachmentPtr getSurfaceAnalysisAttachment();
    virtual void setAnalysisRaytracing(bool on);

    // Host side: a new scene brings a new record (new container id); the old one dies with its last reference.
    osg::SurfaceAnalysisAttachmentPtr replaceAttachment();
    void removeAttachment();
    void setAttachment(const osg::SurfaceAnalysisAttachmentPtr& record);

    // What setAnalysisRaytracing was last given (false before any call) and how often it was called.
    bool getAnalysisRaytracing() const { return _analysisRaytracing; }
    int analysisRaytracingCalls() const { return _analysisRaytracingCalls; }
    void resetAnalysisRaytracingCalls() { _analysisRaytracingCalls = 0; }

private:
    osg::SurfaceAnalysisAttachmentPtr _record;
    bool _analysisRaytracing = false;
    int _analysisRaytracingCalls = 0;
};
