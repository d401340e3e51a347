#include "oxSurfaceAnalysisModel.h"

#include "oxOSGWidget.h"
#include "oxSurfaceAnalysisUndoCommands.h"
#include "oxInvokeBoolFieldUndoCommand.h"
#include "oxUndoStack.h"

typedef osg::SurfaceAnalysisAttachment Record;

// Every record setter: no record, no edit; otherwise one invoking edit on stack 0.
template <typename T> void oxSurfaceAnalysisModel::recordEdit(osg::UInt32 fieldId, const T& value, const char* slot)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    oxUndoStack::get(0).add(new oxInvokeFieldUndoCommand<T>(record, fieldId, value, this, slot, nullptr));
}

void oxSurfaceAnalysisModel::recordBoolEdit(osg::UInt32 fieldId, bool value, const char* slot)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    oxUndoStack::get(0).add(new oxInvokeBoolFieldUndoCommand(record, fieldId, value, this, slot, nullptr));
}

// The module-side switches need no record.
void oxSurfaceAnalysisModel::switchEdit(const char* name, bool value, const char* slot, bool* target)
{
    oxUndoStack::get(0).add(
        new oxInvokePValUndoCommand<bool>(oxUndoString(name, QString()), value, this, slot, nullptr, target));
}

unsigned int oxSurfaceAnalysisModel::getIsoLineCount() const
{
    return recordField<unsigned int>(Record::IsolinesFieldId);
}
void oxSurfaceAnalysisModel::setIsoLineCount(unsigned int count)
{
    recordEdit(Record::IsolinesFieldId, count, "isoLineCountCommand(unsigned int)");
}

osg::Vec3f oxSurfaceAnalysisModel::getBaseColor() const
{
    return recordField<osg::Vec3f>(Record::BaseColorFieldId);
}
void oxSurfaceAnalysisModel::setBaseColor(const osg::Vec3f& color)
{
    recordEdit(Record::BaseColorFieldId, color, "baseColorCommand(osg::Vec3f)");
}

osg::Vec3f oxSurfaceAnalysisModel::getGlossyColor() const
{
    return recordField<osg::Vec3f>(Record::GlossyColorFieldId);
}
void oxSurfaceAnalysisModel::setGlossyColor(const osg::Vec3f& color)
{
    recordEdit(Record::GlossyColorFieldId, color, "glossyColorCommand(osg::Vec3f)");
}

osg::Vec3f oxSurfaceAnalysisModel::getStripeColor() const
{
    return recordField<osg::Vec3f>(Record::StripeColorFieldId);
}
void oxSurfaceAnalysisModel::setStripeColor(const osg::Vec3f& color)
{
    recordEdit(Record::StripeColorFieldId, color, "stripeColorCommand(osg::Vec3f)");
}

float oxSurfaceAnalysisModel::getPhongExponent() const
{
    return recordField<float>(Record::PhongExponentFieldId);
}
void oxSurfaceAnalysisModel::setPhongExponent(float exponent)
{
    recordEdit(Record::PhongExponentFieldId, exponent, "phongExponentCommand(float)");
}

float oxSurfaceAnalysisModel::getStripeThickness() const
{
    return recordField<float>(Record::StripeThicknessFieldId);
}
void oxSurfaceAnalysisModel::setStripeThickness(float thickness)
{
    recordEdit(Record::StripeThicknessFieldId, thickness, "stripeThicknessCommand(float)");
}

float oxSurfaceAnalysisModel::getStripeSharpness() const
{
    return recordField<float>(Record::StripeSharpnessFieldId);
}
void oxSurfaceAnalysisModel::setStripeSharpness(float sharpness)
{
    recordEdit(Record::StripeSharpnessFieldId, sharpness, "stripeSharpnessCommand(float)");
}

float oxSurfaceAnalysisModel::getLightLinesDistance() const
{
    return recordField<float>(Record::LightLinesDistanceFieldId);
}
void oxSurfaceAnalysisModel::setLightLinesDistance(float distance)
{
    recordEdit(Record::LightLinesDistanceFieldId, distance, "lightLinesDistanceCommand(float)");
}

float oxSurfaceAnalysisModel::getLightLinesLength() const
{
    return recordField<float>(Record::LightLinesLengthFieldId);
}
void oxSurfaceAnalysisModel::setLightLinesLength(float length)
{
    recordEdit(Record::LightLinesLengthFieldId, length, "lightLinesLengthCommand(float)");
}

bool oxSurfaceAnalysisModel::getLimitedLightLinesLength() const
{
    return recordField<bool>(Record::IsLightLinesLengthLimitedFieldId);
}
void oxSurfaceAnalysisModel::setLimitedLightLinesLength(bool limited)
{
    recordBoolEdit(Record::IsLightLinesLengthLimitedFieldId, limited, "limitedLightLinesLengthCommand(bool)");
}

unsigned int oxSurfaceAnalysisModel::getShadingMode() const
{
    return recordField<unsigned int>(Record::ShadingModeFieldId);
}
void oxSurfaceAnalysisModel::setShadingMode(unsigned int mode)
{
    recordEdit(Record::ShadingModeFieldId, mode, "shadingModeCommand(unsigned int)");
}

unsigned int oxSurfaceAnalysisModel::getReflectionMode() const
{
    return recordField<unsigned int>(Record::ReflectionModeFieldId);
}
void oxSurfaceAnalysisModel::setReflectionMode(unsigned int mode)
{
    recordEdit(Record::ReflectionModeFieldId, mode, "reflectionModeCommand(unsigned int)");
}

unsigned int oxSurfaceAnalysisModel::getAnalysisMode() const
{
    return recordField<unsigned int>(Record::AnalysisModeFieldId);
}
void oxSurfaceAnalysisModel::setAnalysisMode(unsigned int mode)
{
    recordEdit(Record::AnalysisModeFieldId, mode, "analysisModeCommand(unsigned int)");
}

unsigned int oxSurfaceAnalysisModel::getLineMode() const
{
    return recordField<unsigned int>(Record::LineModeFieldId);
}
void oxSurfaceAnalysisModel::setLineMode(unsigned int mode)
{
    recordEdit(Record::LineModeFieldId, mode, "lineModeCommand(unsigned int)");
}

bool oxSurfaceAnalysisModel::getUseViewVector() const
{
    return recordField<bool>(Record::UseViewVectorFieldId);
}
void oxSurfaceAnalysisModel::setUseViewVector(bool use)
{
    recordBoolEdit(Record::UseViewVectorFieldId, use, "useViewVectorCommand(bool)");
}

unsigned int oxSurfaceAnalysisModel::getCurvatureMode() const
{
    return recordField<unsigned int>(Record::CurvatureEvaluationTypeFieldId);
}
void oxSurfaceAnalysisModel::setCurvatureMode(unsigned int mode)
{
    recordEdit(Record::CurvatureEvaluationTypeFieldId, mode, "curvatureModeCommand(unsigned int)");
}

float oxSurfaceAnalysisModel::getCurvatureDrawScale() const
{
    return recordField<float>(Record::CurvatureDrawScaleFieldId);
}
void oxSurfaceAnalysisModel::setCurvatureDrawScale(float scale)
{
    recordEdit(Record::CurvatureDrawScaleFieldId, scale, "curvatureDrawScaleCommand(float)");
}

bool oxSurfaceAnalysisModel::getUseRadiusLimit() const
{
    return recordField<bool>(Record::CurvatureUseRadiusLimitFieldId);
}
void oxSurfaceAnalysisModel::setUseRadiusLimit(bool use)
{
    recordBoolEdit(Record::CurvatureUseRadiusLimitFieldId, use, "useRadiusLimitCommand(bool)");
}

float oxSurfaceAnalysisModel::getRadiusLimit() const
{
    return recordField<float>(Record::CurvatureRadiusLimitFieldId);
}
void oxSurfaceAnalysisModel::setRadiusLimit(float limit)
{
    recordEdit(Record::CurvatureRadiusLimitFieldId, limit, "radiusLimitCommand(float)");
}

bool oxSurfaceAnalysisModel::getUseBands() const
{
    return recordField<bool>(Record::CurvatureUseBandsFieldId);
}
void oxSurfaceAnalysisModel::setUseBands(bool use)
{
    recordBoolEdit(Record::CurvatureUseBandsFieldId, use, "useBandsCommand(bool)");
}

// Apply slots: bring dependants up to date, then signal. They never write the setting.

void oxSurfaceAnalysisModel::isoLineCountCommand(unsigned int count)
{
    if (parallelLinearLightsModeActive())
        m_lightPlane.setLineCount(count, true);
    if (sphericalLightsModeActive())
        m_lightSphere.setLineCount(count, true);
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
        m_lightPlane.setLineDistance(distance, true);
    refreshUniforms();
    Q_EMIT lightLinesDistanceChanged(distance);
}

void oxSurfaceAnalysisModel::lightLinesLengthCommand(float length)
{
    if (parallelLinearLightsModeActive())
        m_lightPlane.setLineLength(length, true);
    refreshUniforms();
    Q_EMIT lightLinesLengthChanged(length);
}

void oxSurfaceAnalysisModel::limitedLightLinesLengthCommand(bool limited)
{
    if (parallelLinearLightsModeActive())
        m_lightPlane.setLineLengthLimited(limited, true);
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
    if (mode != 3 && PickNormal)
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
