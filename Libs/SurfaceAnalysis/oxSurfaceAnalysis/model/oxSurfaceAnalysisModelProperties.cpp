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

namespace
{
// How an apply slot's signature text spells each type a generated setter may have: the texts the
// module's interface fixes, e.g. "isoLineCountCommand(unsigned int)". A typedef of the same type
// ("osg::UInt32") would name no slot. A row of a new type adds its spelling here.
template <class T> constexpr const char* slotTypeText = nullptr;
template <> constexpr const char* slotTypeText<bool> = "bool";
template <> constexpr const char* slotTypeText<unsigned int> = "unsigned int";
template <> constexpr const char* slotTypeText<float> = "float";
template <> constexpr const char* slotTypeText<osg::Vec3f> = "osg::Vec3f";

constexpr bool sameText(const char* a, const char* b)
{
    return a && b && *a == *b && (*a == '\0' || sameText(a + 1, b + 1));
}
} // namespace

// Generated here from the rows of OX_SA_PROPERTIES (oxSurfaceAnalysisSettings.h): the bodies of the
// record getters and setters (getIsoLineCount, setIsoLineCount, getBaseColor, setBaseColor, ...) and,
// further down, the apply slots of the Uniform rows (baseColorCommand, phongExponentCommand, ...).
// The getter reads the field, the setter records an edit that invokes the apply slot by its
// signature, e.g. "isoLineCountCommand(unsigned int)", made from the row's command and Type. The
// compiler checks that text: the row's Type is spelled as slotTypeText says, and the slot takes
// exactly that type. Otherwise the edit would only log "Method not found" at run time.
#define OX_SA_GETTER(Name, Type, Field, command)                                                                       \
    Type oxSurfaceAnalysisModel::get##Name() const                                                                     \
    {                                                                                                                  \
        return recordField<Type>(Record::Field##FieldId);                                                              \
    }
#define OX_SA_SETTER(Name, Type, Field, command)                                                                       \
    void oxSurfaceAnalysisModel::set##Name(oxSurfaceAnalysisArg<Type> value)                                           \
    {                                                                                                                  \
        static_assert(sameText(#Type, slotTypeText<Type>),                                                             \
                      "OX_SA_PROPERTIES row " #Name ": Type \"" #Type "\" is not spelled as slotTypeText spells its "  \
                      "type, so \"" #command "Command(" #Type ")\" would name no slot (a type new to the table "       \
                      "adds its spelling to slotTypeText)");                                                           \
        static_assert(std::is_same_v<decltype(&oxSurfaceAnalysisModel::command##Command),                              \
                                     void (oxSurfaceAnalysisModel::*)(Type)>,                                          \
                      "OX_SA_PROPERTIES row " #Name ": set" #Name " invokes the slot \"" #command "Command(" #Type     \
                      ")\" by that text, so oxSurfaceAnalysisModel::" #command "Command must take exactly " #Type);    \
        recordEdit<Type>(Record::Field##FieldId, value, #command "Command(" #Type ")");                                \
    }
#define OX_SA_ACCESS_ROW(Kind, ...)                                                                                    \
    OX_SA_GETTER_##Kind(OX_SA_GETTER, __VA_ARGS__) OX_SA_SETTER_##Kind(OX_SA_SETTER, __VA_ARGS__)
OX_SA_PROPERTIES(OX_SA_ACCESS_ROW)
#undef OX_SA_ACCESS_ROW
#undef OX_SA_SETTER
#undef OX_SA_GETTER

// Apply slots: bring dependants up to date, then signal. They never write the setting.

namespace
{
// The light line settings reshape the plane only in its own mode; otherwise the next
// updateLightPlane picks them up from the record.
template <typename T> void reshape(bool planeMode, oxSALightPlane& plane, void (oxSALightPlane::*set)(T, bool), T value)
{
    if (planeMode)
        (plane.*set)(value, true);
}
} // namespace

// Settings only the shader's uniforms read.
#define OX_SA_UNIFORM_SLOT(Name, Type, Field, command)                                                                 \
    void oxSurfaceAnalysisModel::command##Command(Type value)                                                          \
    {                                                                                                                  \
        refreshUniforms();                                                                                             \
        Q_EMIT command##Changed(value);                                                                                \
    }
#define OX_SA_UNIFORM_ROW(Kind, ...) OX_SA_SLOT_##Kind(OX_SA_UNIFORM_SLOT, __VA_ARGS__)
OX_SA_PROPERTIES(OX_SA_UNIFORM_ROW)
#undef OX_SA_UNIFORM_ROW
#undef OX_SA_UNIFORM_SLOT

void oxSurfaceAnalysisModel::isoLineCountCommand(unsigned int count)
{
    if (parallelLinearLightsModeActive())
        m_parts->lightPlane.setLineCount(count, true);
    if (sphericalLightsModeActive())
        m_parts->lightSphere.setLineCount(count, true);
    refreshUniforms();
    Q_EMIT isoLineCountChanged(count);
}

void oxSurfaceAnalysisModel::stripeColorCommand(osg::Vec3f color)
{
    updateLightPlane(false);
    updateLightSphere(false);
    updateLightDirectionHandle();
    refreshUniforms();
    Q_EMIT stripeColorChanged(color);
}

void oxSurfaceAnalysisModel::lightLinesDistanceCommand(float distance)
{
    reshape(parallelLinearLightsModeActive(), m_parts->lightPlane, &oxSALightPlane::setLineDistance, distance);
    refreshUniforms();
    Q_EMIT lightLinesDistanceChanged(distance);
}

void oxSurfaceAnalysisModel::lightLinesLengthCommand(float length)
{
    reshape(parallelLinearLightsModeActive(), m_parts->lightPlane, &oxSALightPlane::setLineLength, length);
    refreshUniforms();
    Q_EMIT lightLinesLengthChanged(length);
}

void oxSurfaceAnalysisModel::limitedLightLinesLengthCommand(bool limited)
{
    reshape(parallelLinearLightsModeActive(), m_parts->lightPlane, &oxSALightPlane::setLineLengthLimited, limited);
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
