#pragma once

// A host for the module in a test process: raytracer utilities with a record, a main render
// widget, and the module constructed once.

#include "InteractionManager.h"
#include "oxController.h"
#include "oxLog.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxSurfaceAnalysisModel.h"
#include "oxSurfaceAnalysisModelAccess.h"
#include "oxUndoStack.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "oxUndoCommand.h"

typedef oxSurfaceAnalysisModelAccess Access;

// Undo stamps come from this clock. By default every edit is 10 s after the one before, so
// nothing merges; a test that wants merging freezes it.
inline quint64& testClock()
{
    static quint64 t = 0;
    return t;
}
inline void useSteppingClock()
{
    oxUndoCommand::setClock([] { return testClock() += 10000; });
}
inline void useFrozenClock()
{
    oxUndoCommand::setClock([] { return testClock(); });
}
typedef osg::SurfaceAnalysisAttachment Record;

inline osg::SurfaceAnalysisAttachmentPtr record()
{
    return Access::attachment();
}

// Host state every test starts from: record present, widget present, defaults loaded, empty undo stack.
class ModuleHost
{
public:
    ModuleHost()
    {
        oxLog::setEcho(false);
        if (!oxRaytracingManager::getRaytracingUtils())
            oxRaytracingManager::createRaytracingUtils();
        widget = std::make_unique<oxOSGWidget>();
        oxOSGWidget::setMGLW(widget.get());
        model = oxSurfaceAnalysisModel::the();
    }
    ~ModuleHost() { oxOSGWidget::setMGLW(nullptr); }

    // Back to a fresh scene: record present, defaults, nothing recorded, counters zero.
    void reset()
    {
        if (!oxRaytracingManager::getRaytracingUtils())
            oxRaytracingManager::createRaytracingUtils();
        if (record() == osg::NullFC)
            oxRaytracingManager::getRaytracingUtils()->replaceAttachment();
        oxOSGWidget::setMGLW(widget.get());
        oxOSGWidget::resetRenderState();
        Access::setDefault();
        oxUndoStack::get(0).clear();
        oxUndoStack::setMergeWindow(500);
        useSteppingClock();
        oxController::resetCounters();
        oxLog::clear();
    }

    std::unique_ptr<oxOSGWidget> widget;
    oxSurfaceAnalysisModel* model = nullptr;
};

inline bool contextAdded(oxk::interaction::AbstractInteractionContext* context)
{
    auto contexts = oxk::interaction::InteractionManager::getInstance()->getContexts();
    return std::find(contexts.begin(), contexts.end(), context) != contexts.end();
}
