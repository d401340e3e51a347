#include "oxSurfaceAnalysisModelParts.h"

#include "InteractionManager.h"
#include "OSGTransform3D.h"
#include "oxController.h"
#include "oxNodeUtils.h"
#include "oxOSGWidget.h"
#include "oxSADirectionUndoCommand.h"
#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSurfaceAnalysisUndoCommands.h"
#include "oxInvokeMultiCommand.h"
#include "oxUndoStack.h"

typedef osg::SurfaceAnalysisAttachment Record;

namespace
{
const float Tolerance = 1e-6f;

oxk::interaction::InteractionManager* manager()
{
    return oxk::interaction::InteractionManager::getInstance();
}

// A drag writes the record directly, without edit brackets: the edit the drag becomes is recorded,
// and announced, once at "stop".
void writeLightPlane(const osg::SurfaceAnalysisAttachmentPtr& record, const osg::Vec3f& origin, const osg::Vec3f& euler,
                     const osg::Vec3f& u, const osg::Vec3f& v)
{
    record->setLightPlaneOrigin(origin);
    record->setLightPlaneEulerRotation(euler);
    record->setLightPlaneAxisU(u);
    record->setLightPlaneAxisV(v);
}

void writeLightSphere(const osg::SurfaceAnalysisAttachmentPtr& record, const osg::Vec3f& euler, const osg::Vec3f& axis,
                      const osg::Vec3f& tangent)
{
    record->setLightSphereAxis(axis);
    record->setLightSphereAxisUTangent(tangent);
    record->setLightSphereEulerRotation(euler);
}

// Adds or removes a manipulator context; false when it already was as asked.
bool setContextActive(oxSurfaceAnalysisManipulatorContext& context, bool on)
{
    if (on == context.isActive())
        return false;
    if (on)
        manager()->addContext(&context);
    else
        manager()->removeContext(&context);
    return true;
}

// A light's frame: its rotation and the two axes derived from it, always written together.
struct LightFrame
{
    const char* name; // the edit's description
    const char* slot;
    void (*deriveAxes)(const osg::Vec3f& euler, osg::Vec3f& first, osg::Vec3f& second);
    osg::UInt32 firstAxis, secondAxis, rotation;
};

const LightFrame PlaneFrame = {"LightPlaneRotation",
                               "lightPlaneRotationCommand(void)",
                               &oxSurfaceAnalysisLightFrame::getLightPlaneAxesFromEuler,
                               Record::LightPlaneAxisUFieldId,
                               Record::LightPlaneAxisVFieldId,
                               Record::LightPlaneEulerRotationFieldId};
const LightFrame SphereFrame = {"LightSphereRotation",
                                "lightSphereRotationCommand(void)",
                                &oxSurfaceAnalysisLightFrame::getLightSphereAxesFromEuler,
                                Record::LightSphereAxisFieldId,
                                Record::LightSphereAxisUTangentFieldId,
                                Record::LightSphereEulerRotationFieldId};

// One composite edit: the axes, then the angles, and the slot runs once. No record, no edit.
void addFrameEdit(QObject* model, const osg::SurfaceAnalysisAttachmentPtr& record, const LightFrame& frame,
                  const osg::Vec3f& euler)
{
    if (record == osg::NullFC)
        return;
    osg::Vec3f first, second;
    frame.deriveAxes(euler, first, second);
    auto* edit = new oxInvokeMultiCommand(oxUndoString(frame.name, QString()), model, frame.slot);
    new oxFieldUndoCommand<osg::Vec3f>(record, frame.firstAxis, first, edit);
    new oxFieldUndoCommand<osg::Vec3f>(record, frame.secondAxis, second, edit);
    new oxFieldUndoCommand<osg::Vec3f>(record, frame.rotation, euler, edit);
    oxUndoStack::get(0).add(edit);
}

void writeLightDirection(const osg::SurfaceAnalysisAttachmentPtr& record, const osg::Vec3f& direction)
{
    record->setLinearLightDirection(direction);
}
} // namespace

osg::Quaternion oxSurfaceAnalysisModel::getOrientationFromAxis(const osg::Vec3f& from, const osg::Vec3f& to,
                                                               osg::Vec3f& euler)
{
    return oxSurfaceAnalysisLightFrame::getOrientationFromAxis(from, to, euler);
}

void oxSurfaceAnalysisModel::getLightPlaneAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& u, osg::Vec3f& v)
{
    oxSurfaceAnalysisLightFrame::getLightPlaneAxesFromEuler(euler, u, v);
}

void oxSurfaceAnalysisModel::getLightSphereAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& axis,
                                                         osg::Vec3f& uTangent)
{
    oxSurfaceAnalysisLightFrame::getLightSphereAxesFromEuler(euler, axis, uTangent);
}

void oxSurfaceAnalysisModel::setToVector(const osg::Vec3f& v)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    if (isophotesModeActive())
    {
        setLightDirection(v);
        return;
    }
    // The parallel lights have no single direction to aim.
    if (record->getAnalysisMode() == osg::CurvatureAnalysis || record->getReflectionMode() != osg::SphericalLights)
        return;
    osg::Vec3f euler;
    getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), v, euler);
    setLightSphereRotation(euler);
}

// Light properties.

void oxSurfaceAnalysisModel::setLightDirection(const osg::Vec3f& direction)
{
    oxUndoStack::get(0).add(
        new oxSADirectionUndoCommand(direction, &oxSurfaceAnalysisModel::lightDirectionCommand, this));
}

// The axes are derived here and written with the angles in one step, so they never drift apart.
void oxSurfaceAnalysisModel::setLightPlaneRotation(const osg::Vec3f& euler)
{
    addFrameEdit(this, getAttachment(), PlaneFrame, euler);
}

void oxSurfaceAnalysisModel::setLightSphereRotation(const osg::Vec3f& euler)
{
    addFrameEdit(this, getAttachment(), SphereFrame, euler);
}

// Command slots: update the visual, refresh the uniforms, signal.

void oxSurfaceAnalysisModel::lightDirectionCommand(osg::Vec3f direction)
{
    updateLightDirectionHandle();
    refreshUniforms();
    Q_EMIT lightDirectionChanged(direction);
}

void oxSurfaceAnalysisModel::lightPlaneOriginCommand(osg::Vec3f origin)
{
    updateLightPlane(false);
    refreshUniforms();
    Q_EMIT lightPlaneOriginChanged(origin);
}

void oxSurfaceAnalysisModel::lightPlaneRotationCommand()
{
    updateLightPlane(false);
    refreshUniforms();
    Q_EMIT lightPlaneRotationChanged(getLightPlaneRotation());
}

void oxSurfaceAnalysisModel::lightSphereRotationCommand()
{
    updateLightSphere(false);
    refreshUniforms();
    Q_EMIT lightSphereRotationChanged(getLightSphereRotation());
}

void oxSurfaceAnalysisModel::lightPlaneVisibilityCommand(bool visible)
{
    toggleLightPlaneManipulatorContext(lightPlaneManipulatorContextAllowed());
    refreshUniforms();
    Q_EMIT lightPlaneVisibilityChanged(visible);
}

void oxSurfaceAnalysisModel::lightSphereVisibilityCommand(bool visible)
{
    toggleLightSphereManipulatorContext(lightSphereManipulatorContextAllowed());
    updateLightSphere(true);
    refreshUniforms();
    Q_EMIT lightSphereVisibilityChanged(visible);
}

void oxSurfaceAnalysisModel::lightDirectionVisibilityCommand(bool visible)
{
    toggleLightDirectionManipulatorContext(lightDirectionManipulatorContextAllowed());
    refreshUniforms();
    Q_EMIT lightDirectionVisibilityChanged(visible);
}

// Visual updates from the record.

void oxSurfaceAnalysisModel::updateLightPlane(bool force)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    m_parts->lightPlane.setTransform(record->getLightPlaneOrigin(), record->getLightPlaneEulerRotation());
    if (!m_parts->lightPlane.isVisible())
        return;
    m_parts->lightPlane.setLineCount(record->getIsolines(), false);
    m_parts->lightPlane.setLineDistance(record->getLightLinesDistance(), false);
    m_parts->lightPlane.setLineLengthLimited(record->getIsLightLinesLengthLimited(), false);
    m_parts->lightPlane.setLineLength(record->getLightLinesLength(), false);
    m_parts->lightPlane.applyChanges(force);
    m_parts->lightPlaneGroup.manipulator.update(true);
}

// Re-derives the sphere axes from its rotation on every call, so the record cannot keep stale axes.
void oxSurfaceAnalysisModel::updateLightSphere(bool force)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    m_parts->lightSphere.setVisible(AnalysisActive && record->getLightSphereVisible() && sphericalLightsModeActive());
    m_parts->lightSphere.setRotation(record->getLightSphereEulerRotation());
    osg::Vec3f axis, tangent;
    m_parts->lightSphere.getAxes(axis, tangent);
    osg::beginEditCP(record, Record::LightSphereAxisFieldMask);
    record->setLightSphereAxis(axis);
    osg::endEditCP(record, Record::LightSphereAxisFieldMask);
    osg::beginEditCP(record, Record::LightSphereAxisUTangentFieldMask);
    record->setLightSphereAxisUTangent(tangent);
    osg::endEditCP(record, Record::LightSphereAxisUTangentFieldMask);
    updateShader(false);
    if (!m_parts->lightSphere.isVisible())
        return;
    m_parts->lightSphere.setLineCount(record->getIsolines(), false);
    m_parts->lightSphere.applyChanges(force);
    m_parts->lightSphere.updateScale();
    m_parts->lightSphereGroup.manipulator.update(true);
}

void oxSurfaceAnalysisModel::updateLightDirectionHandle()
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    m_parts->lightDirectionHandle.setDirection(record->getLinearLightDirection());
    m_parts->lightDirectionHandle.setVisible(AnalysisActive && record->getLightDirectionVisible() &&
                                             isophotesModeActive());
    if (!m_parts->lightDirectionHandle.isVisible())
        return;
    m_parts->lightDirectionHandle.updateScale();
    m_parts->lightDirectionGroup.manipulator.update(true);
}

// Manipulator contexts.

bool oxSurfaceAnalysisModel::lightPlaneManipulatorContextAllowed() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && parallelLinearLightsModeActive() && record->getLightPlaneVisible() &&
           AnalysisActive;
}

bool oxSurfaceAnalysisModel::lightDirectionManipulatorContextAllowed() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && record->getAnalysisMode() == osg::IsophotesAnalysis &&
           record->getLightDirectionVisible() && AnalysisActive;
}

bool oxSurfaceAnalysisModel::lightSphereManipulatorContextAllowed() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && sphericalLightsModeActive() && record->getLightSphereVisible() && AnalysisActive;
}

// The plane is shown exactly while its manipulator is live.
void oxSurfaceAnalysisModel::toggleLightPlaneManipulatorContext(bool on)
{
    if (!setContextActive(m_parts->lightPlaneGroup.context, on))
        return;
    m_parts->lightPlane.setVisible(on);
    if (on)
        updateLightPlane(true);
}

void oxSurfaceAnalysisModel::toggleLightDirectionManipulatorContext(bool on)
{
    if (!setContextActive(m_parts->lightDirectionGroup.context, on))
        return;
    if (on)
        updateLightDirectionHandle();
    else
        m_parts->lightDirectionHandle.setVisible(false);
}

void oxSurfaceAnalysisModel::toggleLightSphereManipulatorContext(bool on)
{
    if (!setContextActive(m_parts->lightSphereGroup.context, on))
        return;
    if (on)
        updateLightSphere(false);
    else
        m_parts->lightSphere.setVisible(false);
}

void oxSurfaceAnalysisModel::disableManipulatorContexts()
{
    toggleLightPlaneManipulatorContext(false);
    toggleLightDirectionManipulatorContext(false);
    toggleLightSphereManipulatorContext(false);
}

// Drags: each step writes the record directly for a live view; "stop" puts the start values
// back and records the whole drag as one edit through the setters.

void oxSurfaceAnalysisModel::lightPlaneTrigger(const std::string& event)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    const osg::Vec3f origin = record->getLightPlaneOrigin();
    const osg::Vec3f euler = record->getLightPlaneEulerRotation();
    osg::Vec3f newOrigin, newEuler;
    oxNodeUtils::getTransformNodeTranslation(m_parts->lightPlane.getTransformNode(), newOrigin[0], newOrigin[1],
                                             newOrigin[2], false, -1);
    oxNodeUtils::getTransformNodeRotation(m_parts->lightPlane.getTransformNode(), newEuler[0], newEuler[1], newEuler[2],
                                          -1);

    Parts::PlaneDragStart& start = m_parts->lightPlaneGroup.start;
    if (event == "stop")
    {
        if (!m_parts->lightPlaneGroup.dragging)
            return;
        m_parts->lightPlaneGroup.dragging = false;
        writeLightPlane(record, start.origin, start.euler, start.axisU, start.axisV);
        oxUndoStack::get(0).beginMacro(tr("manipulatorStop"));
        setLightPlaneOrigin(newOrigin);
        setLightPlaneRotation(newEuler);
        oxUndoStack::get(0).endMacro();
        return;
    }
    if (!m_parts->lightPlaneGroup.dragging)
    {
        m_parts->lightPlaneGroup.dragging = true;
        start = {origin, euler, record->getLightPlaneAxisU(), record->getLightPlaneAxisV()};
    }
    if (newEuler.equals(euler, Tolerance) && newOrigin.equals(origin, Tolerance))
        return;
    osg::Vec3f u, v;
    getLightPlaneAxesFromEuler(newEuler, u, v);
    writeLightPlane(record, newOrigin, newEuler, u, v);
    lightPlaneRotationCommand();
}

void oxSurfaceAnalysisModel::lightDirectionTrigger(const std::string& event)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    const osg::Vec3f direction =
        oxSurfaceAnalysisLightFrame::handleRotationToDirection(m_parts->lightDirectionHandle.getRotation());

    if (event == "stop")
    {
        if (!m_parts->lightDirectionGroup.dragging)
            return;
        m_parts->lightDirectionGroup.dragging = false;
        // The drag never touched our own copy; the record gets its normalised image back.
        writeLightDirection(record,
                            oxSurfaceAnalysisLightFrame::normalized(m_parts->lightDirectionGroup.start.direction));
        setLightDirection(direction);
        return;
    }
    if (!m_parts->lightDirectionGroup.dragging)
    {
        m_parts->lightDirectionGroup.dragging = true;
        m_parts->lightDirectionGroup.start.direction = m_lightDirection;
    }
    writeLightDirection(record, direction);
    updateLightDirectionHandle();
    refreshUniforms();
    Q_EMIT lightDirectionChanged(direction);
}

void oxSurfaceAnalysisModel::lightSphereTrigger(const std::string& event)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    const osg::Vec3f euler = m_parts->lightSphere.getRotation();
    osg::Vec3f axis, tangent;

    if (event == "stop")
    {
        if (!m_parts->lightSphereGroup.dragging)
            return;
        m_parts->lightSphereGroup.dragging = false;
        const osg::Vec3f startEuler = m_parts->lightSphereGroup.start.euler;
        getLightSphereAxesFromEuler(startEuler, axis, tangent);
        writeLightSphere(record, startEuler, axis, tangent);
        setLightSphereRotation(euler);
        return;
    }
    if (!m_parts->lightSphereGroup.dragging)
    {
        m_parts->lightSphereGroup.dragging = true;
        m_parts->lightSphereGroup.start.euler = record->getLightSphereEulerRotation();
    }
    getLightSphereAxesFromEuler(euler, axis, tangent);
    writeLightSphere(record, euler, axis, tangent);
    lightSphereRotationCommand();
}
