#include "oxSurfaceAnalysisModelParts.h"

#include "oxInvokeBoolFieldUndoCommand.h"
#include "oxOSGWidget.h"
#include "oxSurfaceAnalysisSettings.h"
#include "oxSurfaceAnalysisUndoCommands.h"
#include "oxUndoStack.h"

typedef osg::SurfaceAnalysisAttachment Record;

// Every record setter: no record, no edit; otherwise one invoking edit on stack 0.
template <typename T> void oxSurfaceAnalysisModel::recordEdit(osg::UInt32 fieldId, const T& value, const char* slot)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    if constexpr (std::is_same<T, bool>::value)
        oxUndoStack::get(0).add(new oxInvokeBoolFieldUndoCommand(record, fieldId, value, this, slot, nullptr));
    else
        oxUndoStack::get(0).add(new oxInvokeFieldUndoCommand<T>(record, fieldId, value, this, slot, nullptr));
}

// The module-side switches need no record.
void oxSurfaceAnalysisModel::switchEdit(const char* name, bool value, const char* slot, bool* target)
{
    oxUndoStack::get(0).add(
        new oxInvokePValUndoCommand<bool>(oxUndoString(name, QString()), value, this, slot, nullptr, target));
}

// The record-backed properties: the getter reads the field, the setter records an edit that
// invokes the apply slot by its signature, e.g. "isoLineCountCommand(unsigned int)".
#define OX_SA_RECORD_ACCESS(Name, Type, Field, command)                                                                \
    Type oxSurfaceAnalysisModel::get##Name() const                                                                     \
    {                                                                                                                  \
        return recordField<Type>(Record::Field##FieldId);                                                              \
    }                                                                                                                  \
    void oxSurfaceAnalysisModel::set##Name(oxSurfaceAnalysisArg<Type> value)                                           \
    {                                                                                                                  \
        recordEdit<Type>(Record::Field##FieldId, value, #command "Command(" #Type ")");                                \
    }
#define OX_SA_RECORD_ROW(Kind, Name, Type, Field, command)                                                             \
    OX_SA_ONLY_##Kind(OX_SA_RECORD_ACCESS, Name, Type, Field, command)
OX_SA_PROPERTIES(OX_SA_RECORD_ROW)
#undef OX_SA_RECORD_ROW
#undef OX_SA_RECORD_ACCESS

// Apply slots: bring dependants up to date, then signal. They never write the setting.

void oxSurfaceAnalysisModel::isoLineCountCommand(unsigned int count)
{
    if (parallelLinearLightsModeActive())
        m_parts->lightPlane.setLineCount(count, true);
    if (sphericalLightsModeActive())
        m_parts->lightSphere.setLineCount(count, true);
    refreshUniforms();
    Q_EMIT isoLineCountChanged(count);
}

void oxSurfaceAnalysisModel::baseColorCommand(osg::Vec3f color)
{
    refreshUniforms();
    Q_EMIT baseColorChanged(color);
}

void oxSurfaceAnalysisModel::glossyColorCommand(osg::Vec3f color)
{
    refreshUniforms();
    Q_EMIT glossyColorChanged(color);
}

void oxSurfaceAnalysisModel::stripeColorCommand(osg::Vec3f color)
{
    updateLightPlane(false);
    updateLightSphere(false);
    updateLightDirectionHandle();
    refreshUniforms();
    Q_EMIT stripeColorChanged(color);
}

void oxSurfaceAnalysisModel::phongExponentCommand(float exponent)
{
    refreshUniforms();
    Q_EMIT phongExponentChanged(exponent);
}

void oxSurfaceAnalysisModel::stripeThicknessCommand(float thickness)
{
    refreshUniforms();
    Q_EMIT stripeThicknessChanged(thickness);
}

void oxSurfaceAnalysisModel::stripeSharpnessCommand(float sharpness)
{
    refreshUniforms();
    Q_EMIT stripeSharpnessChanged(sharpness);
}

// The light line settings reshape the plane only in its own mode; otherwise the next
// updateLightPlane picks them up from the record.
void oxSurfaceAnalysisModel::lightLinesDistanceCommand(float distance)
{
    if (parallelLinearLightsModeActive())
        m_parts->lightPlane.setLineDistance(distance, true);
    refreshUniforms();
    Q_EMIT lightLinesDistanceChanged(distance);
}

void oxSurfaceAnalysisModel::lightLinesLengthCommand(float length)
{
    if (parallelLinearLightsModeActive())
        m_parts->lightPlane.setLineLength(length, true);
    refreshUniforms();
    Q_EMIT lightLinesLengthChanged(length);
}

void oxSurfaceAnalysisModel::limitedLightLinesLengthCommand(bool limited)
{
    if (parallelLinearLightsModeActive())
        m_parts->lightPlane.setLineLengthLimited(limited, true);
    rebuildShader();
    Q_EMIT limitedLightLinesLengthChanged(limited);
}

void oxSurfaceAnalysisModel::shadingModeCommand(unsigned int mode)
{
    rebuildShader();
    Q_EMIT shadingModeChanged(mode);
}

void oxSurfaceAnalysisModel::reflectionModeCommand(unsigned int mode)
{
    updateVisualizations();
    rebuildShader();
    Q_EMIT reflectionModeChanged(mode);
}

void oxSurfaceAnalysisModel::analysisModeCommand(unsigned int mode)
{
    updateVisualizations();
    rebuildShader();
    oxOSGWidget::setCurvatureLegendOverlayVisible(curvatureLegendWanted(CurvatureLegendOverlayVisibility, mode));
    // The pick tool aims lights; only curvature analysis, which has none, keeps it armed.
    if (mode != osg::CurvatureAnalysis && PickNormal)
    {
        PickNormal = false;
        pickNormalCommand(false);
    }
    Q_EMIT analysisModeChanged(mode);
}

void oxSurfaceAnalysisModel::lineModeCommand(unsigned int mode)
{
    rebuildShader();
    Q_EMIT lineModeChanged(mode);
}

void oxSurfaceAnalysisModel::useViewVectorCommand(bool use)
{
    updateVisualizations();
    rebuildShader();
    Q_EMIT useViewVectorChanged(use);
}

void oxSurfaceAnalysisModel::curvatureModeCommand(unsigned int mode)
{
    refreshUniforms();
    Q_EMIT curvatureModeChanged(mode);
}

void oxSurfaceAnalysisModel::curvatureDrawScaleCommand(float scale)
{
    refreshUniforms();
    Q_EMIT curvatureDrawScaleChanged(scale);
}

void oxSurfaceAnalysisModel::useRadiusLimitCommand(bool use)
{
    refreshUniforms();
    Q_EMIT useRadiusLimitChanged(use);
}

void oxSurfaceAnalysisModel::radiusLimitCommand(float limit)
{
    refreshUniforms();
    Q_EMIT radiusLimitChanged(limit);
}

void oxSurfaceAnalysisModel::useBandsCommand(bool use)
{
    refreshUniforms();
    Q_EMIT useBandsChanged(use);
}

template void oxSurfaceAnalysisModel::recordEdit<osg::Vec3f>(osg::UInt32, const osg::Vec3f&, const char*);
