#include "oxSurfaceAnalysisModel.h"

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
    const bool active = m_normalPickContext.isActive();
    if (on && !active)
    {
        m_normalPickContext.setTool(&m_normalPickTool);
        m_normalPickTool.setDescription(
            QCoreApplication::translate("oxForegroundTextContext", "Pick a surface normal.").toUtf8().constData());
        oxk::interaction::InteractionManager::getInstance()->addContext(&m_normalPickContext);
    }
    else if (!on && active)
    {
        m_normalPickTool.setDescription(std::string());
        oxk::interaction::InteractionManager::getInstance()->removeContext(&m_normalPickContext);
    }
    Q_EMIT pickNormalChanged(on);
}

// The pick tool may take clicks only while it is switched on and the analysis runs; switching
// the analysis off or loading clears the switches before they reach pickNormalCommand.
void oxSurfaceAnalysisModel::syncNormalPickContext()
{
    if (m_normalPickContext.isActive() && !(PickNormal && AnalysisActive))
    {
        m_normalPickTool.setDescription(std::string());
        oxk::interaction::InteractionManager::getInstance()->removeContext(&m_normalPickContext);
    }
}

void oxSurfaceAnalysisModel::normalPickTriggerEvent(const std::string& event)
{
    if (event != "trigger")
        return;
    const osg::NodePtr node = m_normalPickTool.getPickedNode();
    if (node == osg::NullFC || node->getParent() == osg::NullFC)
        return;
    const osg::Vec3f normal = m_normalPickTool.getPickedNormal();
    const osg::Vec3f point = m_normalPickTool.getPickedPoint();

    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    const unsigned int analysisMode = record != osg::NullFC ? record->getAnalysisMode() : 0;
    const unsigned int reflectionMode = record != osg::NullFC ? record->getReflectionMode() : 0;
    osg::Vec3f euler;
    if (analysisMode == 3)
    {
        // Curvature analysis has no light to aim.
    }
    else if (analysisMode == 0)
    {
        setLightDirection(normal);
    }
    else if (reflectionMode == 1)
    {
        getOrientationFromAxis(osg::Vec3f(0.f, 0.f, 1.f), normal, euler);
        oxUndoStack::get(0).beginMacro(tr("normalPickTrigger"));
        setLightPlaneRotation(euler);
        setLightPlaneOrigin(point);
        oxUndoStack::get(0).endMacro();
    }
    else if (reflectionMode == 0)
    {
        getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), normal, euler);
        setLightSphereRotation(euler);
    }

    if (lightDirectionManipulatorContextAllowed())
    {
        osg::Transform3DPtr core = osg::Transform3DPtr::dcast(m_lightDirectionHandle.getTransformNode()->getCore());
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
