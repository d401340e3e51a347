#include "oxSurfaceAnalysisModelParts.h"

#include "InteractionManager.h"
#include "OSGTransform3D.h"
#include "oxController.h"
#include "oxSurfaceAnalysisUndoCommands.h"
#include "oxUndoStack.h"

#include <QCoreApplication>

void oxSurfaceAnalysisModel::setPickNormal(bool pick)
{
    switchEdit("PickNormal", pick, "pickNormalCommand(bool)", &PickNormal);
}

void oxSurfaceAnalysisModel::pickNormalCommand(bool on)
{
    if (!AnalysisActive)
    {
        syncNormalPickContext();
        return;
    }
    const bool active = m_parts->normalPickContext.isActive();
    if (on && !active)
    {
        m_parts->normalPickContext.setTool(&m_parts->normalPickTool);
        m_parts->normalPickTool.setDescription(
            QCoreApplication::translate("oxForegroundTextContext", "Pick a surface normal.").toUtf8().constData());
        oxk::interaction::InteractionManager::getInstance()->addContext(&m_parts->normalPickContext);
    }
    else if (!on && active)
    {
        m_parts->normalPickTool.setDescription(std::string());
        oxk::interaction::InteractionManager::getInstance()->removeContext(&m_parts->normalPickContext);
    }
    Q_EMIT pickNormalChanged(on);
}

// The pick tool may take clicks only while it is switched on and the analysis runs; switching
// the analysis off or loading clears the switches before they reach pickNormalCommand.
void oxSurfaceAnalysisModel::syncNormalPickContext()
{
    if (m_parts->normalPickContext.isActive() && !(PickNormal && AnalysisActive))
    {
        m_parts->normalPickTool.setDescription(std::string());
        oxk::interaction::InteractionManager::getInstance()->removeContext(&m_parts->normalPickContext);
    }
}

void oxSurfaceAnalysisModel::normalPickTriggerEvent(const std::string& event)
{
    if (event != "trigger")
        return;
    const osg::NodePtr node = m_parts->normalPickTool.getPickedNode();
    if (node == osg::NullFC || node->getParent() == osg::NullFC)
        return;
    const osg::Vec3f normal = m_parts->normalPickTool.getPickedNormal();
    const osg::Vec3f point = m_parts->normalPickTool.getPickedPoint();

    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    const unsigned int analysisMode = record != osg::NullFC ? record->getAnalysisMode() : osg::IsophotesAnalysis;
    const unsigned int reflectionMode = record != osg::NullFC ? record->getReflectionMode() : osg::SphericalLights;
    osg::Vec3f euler;
    if (analysisMode == osg::CurvatureAnalysis)
    {
        // Curvature analysis has no light to aim.
    }
    else if (analysisMode == osg::IsophotesAnalysis)
    {
        setLightDirection(normal);
    }
    else if (reflectionMode == osg::ParallelLinearLights)
    {
        getOrientationFromAxis(osg::Vec3f(0.f, 0.f, 1.f), normal, euler);
        oxUndoStack::get(0).beginMacro(tr("normalPickTrigger"));
        setLightPlaneRotation(euler);
        setLightPlaneOrigin(point);
        oxUndoStack::get(0).endMacro();
    }
    else if (reflectionMode == osg::SphericalLights)
    {
        getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), normal, euler);
        setLightSphereRotation(euler);
    }

    if (lightDirectionManipulatorContextAllowed())
    {
        osg::Transform3DPtr core =
            osg::Transform3DPtr::dcast(m_parts->lightDirectionHandle.getTransformNode()->getCore());
        if (core != osg::NullFC)
        {
            osg::beginEditCP(core, osg::Transform3D::TranslationFieldMask);
            core->setTranslation(point);
            osg::endEditCP(core, osg::Transform3D::TranslationFieldMask);
        }
    }
    updateVisualizations();
    refreshUniforms();
}
