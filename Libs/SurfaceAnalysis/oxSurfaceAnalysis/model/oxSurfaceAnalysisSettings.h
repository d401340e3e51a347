#pragma once

#include "OSGSurfaceAnalysisAttachment.h"

#include <type_traits>

// The module's settings, each declared once. The record's fields, types and defaults are the
// record's own declaration (OSGSurfaceAnalysisAttachmentFields.h); these tables add what the
// module makes of them. docs/DEVELOPING.md says where a new setting goes.

// The properties in the order of their change signals: P(Kind, Name, Type, Field, command).
// Each has get<Name>, set<Name>, the apply slot <command>Command and the signal <command>Changed.
//   Record:  backed by the record field Field; getter, setter and the load's re-apply are generated.
//   Uniform: as Record, and only the shader's uniforms read it, so its apply slot is generated too.
//   Frame:   a light's rotation, written with the axes derived from it; the setter is by hand.
//   Light:   the light direction, kept by the module and copied into the record; all by hand.
//   Switch:  a module-side switch, not in the record (Field is unused).
#define OX_SA_PROPERTIES(P)                                                                                            \
    P(Switch, AnalysisActive, bool, _, analysisActive)                                                                 \
    P(Switch, SimpleMode, bool, _, simpleMode)                                                                         \
    P(Light, LightDirection, osg::Vec3f, LinearLightDirection, lightDirection)                                         \
    P(Record, LightPlaneOrigin, osg::Vec3f, LightPlaneOrigin, lightPlaneOrigin)                                        \
    P(Frame, LightPlaneRotation, osg::Vec3f, LightPlaneEulerRotation, lightPlaneRotation)                              \
    P(Frame, LightSphereRotation, osg::Vec3f, LightSphereEulerRotation, lightSphereRotation)                           \
    P(Record, IsoLineCount, unsigned int, Isolines, isoLineCount)                                                      \
    P(Uniform, BaseColor, osg::Vec3f, BaseColor, baseColor)                                                            \
    P(Uniform, GlossyColor, osg::Vec3f, GlossyColor, glossyColor)                                                      \
    P(Record, StripeColor, osg::Vec3f, StripeColor, stripeColor)                                                       \
    P(Uniform, PhongExponent, float, PhongExponent, phongExponent)                                                     \
    P(Uniform, StripeThickness, float, StripeThickness, stripeThickness)                                               \
    P(Uniform, StripeSharpness, float, StripeSharpness, stripeSharpness)                                               \
    P(Record, LightLinesDistance, float, LightLinesDistance, lightLinesDistance)                                       \
    P(Record, LightLinesLength, float, LightLinesLength, lightLinesLength)                                             \
    P(Record, LimitedLightLinesLength, bool, IsLightLinesLengthLimited, limitedLightLinesLength)                       \
    P(Record, ShadingMode, unsigned int, ShadingMode, shadingMode)                                                     \
    P(Record, ReflectionMode, unsigned int, ReflectionMode, reflectionMode)                                            \
    P(Record, AnalysisMode, unsigned int, AnalysisMode, analysisMode)                                                  \
    P(Record, LineMode, unsigned int, LineMode, lineMode)                                                              \
    P(Record, LightPlaneVisibility, bool, LightPlaneVisible, lightPlaneVisibility)                                     \
    P(Record, LightSphereVisibility, bool, LightSphereVisible, lightSphereVisibility)                                  \
    P(Record, LightDirectionVisibility, bool, LightDirectionVisible, lightDirectionVisibility)                         \
    P(Switch, UiVisibility, bool, _, uiVisibility)                                                                     \
    P(Switch, PickNormal, bool, _, pickNormal)                                                                         \
    P(Record, UseViewVector, bool, UseViewVector, useViewVector)                                                       \
    P(Uniform, CurvatureMode, unsigned int, CurvatureEvaluationType, curvatureMode)                                    \
    P(Uniform, CurvatureDrawScale, float, CurvatureDrawScale, curvatureDrawScale)                                      \
    P(Switch, CurvatureLegendOverlayVisibility, bool, _, curvatureLegendOverlayVisibility)                             \
    P(Uniform, UseRadiusLimit, bool, CurvatureUseRadiusLimit, useRadiusLimit)                                          \
    P(Uniform, RadiusLimit, float, CurvatureRadiusLimit, radiusLimit)                                                  \
    P(Uniform, UseBands, bool, CurvatureUseBands, useBands)                                                            \
    P(Switch, UseRaytracingDownscale, bool, _, useRaytracingDownscale)

// Row filters: OX_SA_<WHAT>_<Kind>(P, ...) expands P(...) for the rows whose <what> is generated.
#define OX_SA_GETTER_Record(P, ...) P(__VA_ARGS__)
#define OX_SA_GETTER_Uniform(P, ...) P(__VA_ARGS__)
#define OX_SA_GETTER_Frame(P, ...) P(__VA_ARGS__)
#define OX_SA_GETTER_Light(P, ...)
#define OX_SA_GETTER_Switch(P, ...)
#define OX_SA_SETTER_Record(P, ...) P(__VA_ARGS__)
#define OX_SA_SETTER_Uniform(P, ...) P(__VA_ARGS__)
#define OX_SA_SETTER_Frame(P, ...)
#define OX_SA_SETTER_Light(P, ...)
#define OX_SA_SETTER_Switch(P, ...)
#define OX_SA_SLOT_Uniform(P, ...) P(__VA_ARGS__)
#define OX_SA_SLOT_Record(P, ...)
#define OX_SA_SLOT_Frame(P, ...)
#define OX_SA_SLOT_Light(P, ...)
#define OX_SA_SLOT_Switch(P, ...)

// How a setter takes its value: vectors by reference, numbers and switches by value.
template <class T> using oxSurfaceAnalysisArg = std::conditional_t<std::is_class<T>::value, const T&, T>;

// The project section: each key with the record field it saves, in the order they are written,
// and the key's place in the order a load reads them (which is the order type errors are reported in).
// The light direction's key saves the module's own, unnormalised, direction, not the field.
struct oxSurfaceAnalysisProjectKey
{
    osg::UInt32 fieldId;
    const char* key;
    int readOrder;
};

inline constexpr oxSurfaceAnalysisProjectKey oxSurfaceAnalysisProjectKeys[] = {
    {osg::SurfaceAnalysisAttachment::LinearLightDirectionFieldId, "Linear Light Direction", 0},
    {osg::SurfaceAnalysisAttachment::IsolinesFieldId, "Number of Isolines", 2},
    {osg::SurfaceAnalysisAttachment::StripeThicknessFieldId, "Isoline thickness", 3},
    {osg::SurfaceAnalysisAttachment::StripeSharpnessFieldId, "Isoline sharpness", 4},
    {osg::SurfaceAnalysisAttachment::StripeColorFieldId, "Isoline Color", 10},
    {osg::SurfaceAnalysisAttachment::BaseColorFieldId, "Diffuse and Simple Color", 7},
    {osg::SurfaceAnalysisAttachment::GlossyColorFieldId, "Glossy Color", 8},
    {osg::SurfaceAnalysisAttachment::PhongExponentFieldId, "Phong exponent for Blinn-Phong Lighting", 9},
    {osg::SurfaceAnalysisAttachment::ShadingModeFieldId, "Shading Mode", 21},
    {osg::SurfaceAnalysisAttachment::AnalysisModeFieldId, "Analysis Mode", 22},
    {osg::SurfaceAnalysisAttachment::LineModeFieldId, "Line Mode", 5},
    {osg::SurfaceAnalysisAttachment::ReflectionModeFieldId, "Reflection mode", 23},
    {osg::SurfaceAnalysisAttachment::UseViewVectorFieldId, "Use View Vector", 6},
    {osg::SurfaceAnalysisAttachment::LightPlaneOriginFieldId, "Point on light plane defining neon tubes", 11},
    {osg::SurfaceAnalysisAttachment::LightPlaneAxisUFieldId, "Light Plane Axis U", 12},
    {osg::SurfaceAnalysisAttachment::LightPlaneAxisVFieldId, "Light Plane Axis V", 13},
    {osg::SurfaceAnalysisAttachment::LightPlaneEulerRotationFieldId, "Light Plane Euler Rotation Angles", 14},
    {osg::SurfaceAnalysisAttachment::LightSphereEulerRotationFieldId, "Light sphere euler rotation", 1},
    {osg::SurfaceAnalysisAttachment::LightLinesDistanceFieldId, "Distance of parallel lines on light plane", 15},
    {osg::SurfaceAnalysisAttachment::LightLinesLengthFieldId, "Length of light lines if limited", 16},
    {osg::SurfaceAnalysisAttachment::IsLightLinesLengthLimitedFieldId, "Light lines length limited", 17},
    {osg::SurfaceAnalysisAttachment::LightPlaneVisibleFieldId, "Light plane and manipulator visible", 18},
    {osg::SurfaceAnalysisAttachment::LightSphereVisibleFieldId, "Light sphere visible", 19},
    {osg::SurfaceAnalysisAttachment::LightDirectionVisibleFieldId, "Light direction visible", 20},
};
