#include "oxSurfaceAnalysisModelParts.h"

#include "oxController.h"
#include "oxFileIO.h"
#include "oxKernel.h"
#include "oxLog.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"

namespace
{
void enableAnalysisRaytracing()
{
    if (!oxController::getAnalysisMode())
        return;
    if (oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils())
        utils->setAnalysisRaytracing(true);
}
} // namespace

bool oxSurfaceAnalysisModel::receivedMessage(oxMessage& msg)
{
    try
    {
        switch (msg.id())
        {
        case oxKernel::NewSceneMessage:
        {
            oxMessage empty;
            load(empty);
            if (oxController::getAnalysisMode())
            {
                AnalysisActive = true;
                analysisActiveCommand(true);
            }
            if (AnalysisActive)
                toggleManipulatorContexts();
            updateVisualizations();
            enableAnalysisRaytracing();
            break;
        }
        case oxKernel::ProjectMessage:
        {
            oxMessage& project = oxFileIO::getProject();
            bool loading = false;
            if (!getFromMessage(project, "_loading", loading))
                break;
            if (loading)
            {
                load(project);
                updateVisualizations();
                if (oxOSGWidget* widget = oxOSGWidget::getMGLW(-1))
                    widget->updateDiscontinuityShader();
            }
            else
            {
                save(project);
            }
            break;
        }
        case oxKernel::RaytracerMessage:
            enableAnalysisRaytracing();
            break;
        default:
            break;
        }
    }
    catch (...)
    {
        oxLog::error("oxSurfaceAnalysisModel::python_receivedMessage : An unknown exception occurred!");
    }
    return false;
}

void oxSurfaceAnalysisModel::updateRaytracingDownscaleButton(oxMessage& msg)
{
    bool state = false;
    if (getFromMessage(msg, "state", state))
        Q_EMIT the()->useRaytracingDownscaleChanged(state);
}

// The host asks; only a real change is recorded, so it can be undone like a user edit.
void oxSurfaceAnalysisModel::showSurfaceAnalysisModule(oxMessage& msg)
{
    bool visible = false;
    if (getFromMessage(msg, "visible", visible) && visible != the()->UiVisibility)
        the()->setUiVisibility(visible);
}

void oxSurfaceAnalysisModel::toggleSurfaceAnalysisActivationButton(oxMessage& msg)
{
    bool active = false;
    if (getFromMessage(msg, "active", active) && active != the()->AnalysisActive)
        the()->setAnalysisActive(active);
}

void oxSurfaceAnalysisModel::toggleSimpleMode(oxMessage& msg)
{
    bool simpleMode = false;
    if (msg.get("simpleMode", simpleMode) && simpleMode != the()->SimpleMode)
        the()->setSimpleMode(simpleMode);
}

// Keeps the manipulator handles and the screen-sized visuals fitted to the view.
void oxSurfaceAnalysisModel::updateCamera(oxMessage&)
{
    oxSurfaceAnalysisModel* model = the();
    model->m_parts->lightPlaneGroup.manipulator.update(false);
    model->m_parts->lightDirectionGroup.manipulator.update(false);
    model->m_parts->lightSphereGroup.manipulator.update(false);
    model->m_parts->lightSphere.updateScale();
    model->m_parts->lightDirectionHandle.updateScale();
}
