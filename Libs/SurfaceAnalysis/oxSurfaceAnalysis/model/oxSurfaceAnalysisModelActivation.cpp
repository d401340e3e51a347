#include "oxSurfaceAnalysisModelParts.h"

#include "oxController.h"
#include "oxMaterialWidget.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxScenegraph.h"

#include <QMainWindow>

void oxSurfaceAnalysisModel::setAnalysisActive(bool active)
{
    switchEdit("AnalysisActive", active, "analysisActiveCommand(bool)", &AnalysisActive);
}

// The host's user interface listens to simpleModeChanged; the edit emits it itself.
void oxSurfaceAnalysisModel::setSimpleMode(bool simple)
{
    switchEdit("SimpleMode", simple, "simpleModeChanged(bool)", &SimpleMode);
}

void oxSurfaceAnalysisModel::setUiVisibility(bool visible)
{
    switchEdit("UiVisibility", visible, "uiVisibilityCommand(bool)", &UiVisibility);
}

void oxSurfaceAnalysisModel::setCurvatureLegendOverlayVisibility(bool visible)
{
    switchEdit("CurvatureLegendOverlayVisibility", visible, "curvatureLegendOverlayVisibilityCommand(bool)",
               &CurvatureLegendOverlayVisibility);
}

void oxSurfaceAnalysisModel::setUseRaytracingDownscale(bool on)
{
    switchEdit("UseRaytracingDownscale", on, "useRaytracingDownscaleCommand(bool)", &UseRaytracingDownscale);
}

// The legend belongs to an active curvature analysis on a record; `wish` is the caller's.
bool oxSurfaceAnalysisModel::curvatureLegendWanted(bool wish, unsigned int analysisMode) const
{
    return AnalysisActive && getAttachment() != osg::NullFC && analysisMode == osg::CurvatureAnalysis && wish;
}

void oxSurfaceAnalysisModel::analysisActiveCommand(bool on)
{
    if (on)
    {
        toggleManipulatorContexts();
        oxOSGWidget::setCurvatureLegendOverlayVisible(
            curvatureLegendWanted(CurvatureLegendOverlayVisibility, getAnalysisMode()));
        oxOSGWidget::setRenderQuality(8);
        oxOSGWidget::setRenderingMode(oxOSGWidget::AnalysisRenderingMode, -1);
        updateShader(true);
        // A pick switched on while the analysis was off is armed now.
        if (PickNormal && !m_parts->normalPickContext.isActive())
            pickNormalCommand(true);
    }
    else
    {
        disableManipulatorContexts();
        if (PickNormal)
        {
            PickNormal = false;
            pickNormalCommand(false);
        }
        if (oxOSGWidget::getCurvatureLegendOverlayVisible())
            oxOSGWidget::setCurvatureLegendOverlayVisible(false);
        // Only our own settings are taken back: quality 2 and mode 2.
        if (oxOSGWidget::getRenderQuality() == 2)
            oxOSGWidget::setRenderQuality(8);
        if (oxOSGWidget::getRenderingMode(-1) == oxOSGWidget::AnalysisRenderingMode)
            oxOSGWidget::setRenderingMode(oxOSGWidget::DefaultRenderingMode, -1);
    }
    oxController::updateRender(false);
    Q_EMIT analysisActiveChanged(on);
}

// Showing or hiding the module's interface moves AnalysisActive but leaves the renderer's mode alone.
void oxSurfaceAnalysisModel::uiVisibilityCommand(bool visible)
{
    if (visible)
    {
        toggleManipulatorContexts();
        oxOSGWidget::setCurvatureLegendOverlayVisible(
            curvatureLegendWanted(CurvatureLegendOverlayVisibility, getAnalysisMode()));
        updateShader(true);
    }
    else
    {
        disableManipulatorContexts();
        if (PickNormal)
        {
            PickNormal = false;
            pickNormalCommand(false);
        }
        oxOSGWidget::setCurvatureLegendOverlayVisible(false);
    }
    AnalysisActive = visible;
    if (visible)
    {
        // The contexts were weighed while AnalysisActive still held its old value; showing the
        // interface of an inactive analysis must still bring the draggable lights.
        toggleManipulatorContexts();
        if (PickNormal && !m_parts->normalPickContext.isActive())
            pickNormalCommand(true);
    }
    Q_EMIT analysisActiveChanged(visible);
    Q_EMIT uiVisibilityChanged(visible);
}

void oxSurfaceAnalysisModel::curvatureLegendOverlayVisibilityCommand(bool show)
{
    oxOSGWidget::setCurvatureLegendOverlayVisible(curvatureLegendWanted(show, getAnalysisMode()));
    refreshUniforms();
    Q_EMIT curvatureLegendOverlayVisibilityChanged(show);
}

void oxSurfaceAnalysisModel::useRaytracingDownscaleCommand(bool on)
{
    oxOSGWidget::enableRaytracingDownscale(on ? 1 : 0);
    oxOSGWidget::setRaytracingDownscaleFactor(4);
    Q_EMIT useRaytracingDownscaleChanged(on);
}

// Once per process in the analysis application: straight into the analysis, without undo steps.
void oxSurfaceAnalysisModel::enableSurfaceMode()
{
    UiVisibility = true;
    uiVisibilityCommand(true);

    // Owned by nobody: the host keeps its material preview alive for the whole run.
    oxMaterialWidget* preview =
        new oxMaterialWidget(nullptr, "MaterialEditorRender", Qt::WindowFlags(), false, 128, 128);
    preview->prepareRender();

    oxOSGWidget::setRenderQuality(16);
    if (oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils())
        utils->setAnalysisRaytracing(true);

    osg::NodePtr environment = oxScenegraph::environmentGeometrySwitch();
    if (environment != osg::NullFC)
    {
        osg::beginEditCP(environment, osg::AllFieldsMask);
        environment->setActive(false);
        osg::endEditCP(environment, osg::AllFieldsMask);
    }

    AnalysisActive = true;
    analysisActiveCommand(true);

    if (QWidget* window = oxController::getMainWindow())
    {
        if (QWidget* parent = window->parentWidget())
            window = parent;
        window->resize(1280, 800);
    }
}

void oxSurfaceAnalysisModel::toggleManipulatorContexts()
{
    toggleLightPlaneManipulatorContext(lightPlaneManipulatorContextAllowed());
    toggleLightDirectionManipulatorContext(lightDirectionManipulatorContextAllowed());
    toggleLightSphereManipulatorContext(lightSphereManipulatorContextAllowed());
}

void oxSurfaceAnalysisModel::updateVisualizations()
{
    toggleManipulatorContexts();
    if (!AnalysisActive)
    {
        m_parts->lightPlane.setVisible(false);
        m_parts->lightSphere.setVisible(false);
        m_parts->lightDirectionHandle.setVisible(false);
        return;
    }
    updateLightPlane(false);
    updateLightSphere(false);
    updateLightDirectionHandle();
}
