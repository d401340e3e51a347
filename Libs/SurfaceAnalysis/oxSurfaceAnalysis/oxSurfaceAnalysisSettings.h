#pragma once

#include "OSGSurfaceAnalysisAttachment.h"

#include <type_traits>

// The module's settings, each declared once. The record's fields, types and defaults are the
// record's own declaration (OSGSurfaceAnalysisAttachmentFields.h); these tables add what the
// module makes of them. docs/DEVELOPING.md says where a new setting goes.

// The 33 properties in the order of their change signals: P(Kind, Name, Type, Field, command).
// Each has get<Name>, set<Name>, the apply slot <command>Command and the signal <command>Changed.
//   Record: backed by the record field Field; getter, setter and the load's re-apply are generated.
//   Light:  backed by the record, but placed in one step with derived fields; written by hand.
//   Switch: a module-side switch, not in the record (Field is unused).
#define OX_SA_PROPERTIES(P)                                                                                            \
    P(Switch, AnalysisActive, bool, _, analysisActive)                                                                 \
    P(Switch, SimpleMode, bool, _, simpleMode)                                                                         \
    P(Light, LightDirection, osg::Vec3f, LinearLightDirection, lightDirection)                                         \
    P(Light, LightPlaneOrigin, osg::Vec3f, LightPlaneOrigin, lightPlaneOrigin)                                         \
    P(Light, LightPlaneRotation, osg::Vec3f, LightPlaneEulerRotation, lightPlaneRotation)                              \
    P(Light, LightSphereRotation, osg::Vec3f, LightSphereEulerRotation, lightSphereRotation)                           \
    P(Record, IsoLineCount, unsigned int, Isolines, isoLineCount)                                                      \
    P(Record, BaseColor, osg::Vec3f, BaseColor, baseColor)                                                             \
    P(Record, GlossyColor, osg::Vec3f, GlossyColor, glossyColor)                                                       \
    P(Record, StripeColor, osg::Vec3f, StripeColor, stripeColor)                                                       \
    P(Record, PhongExponent, float, PhongExponent, phongExponent)                                                      \
    P(Record, StripeThickness, float, StripeThickness, stripeThickness)                                                \
    P(Record, StripeSharpness, float, StripeSharpness, stripeSharpness)                                                \
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
    P(Record, CurvatureMode, unsigned int, CurvatureEvaluationType, curvatureMode)                                     \
    P(Record, CurvatureDrawScale, float, CurvatureDrawScale, curvatureDrawScale)                                       \
    P(Switch, CurvatureLegendOverlayVisibility, bool, _, curvatureLegendOverlayVisibility)                             \
    P(Record, UseRadiusLimit, bool, CurvatureUseRadiusLimit, useRadiusLimit)                                           \
    P(Record, RadiusLimit, float, CurvatureRadiusLimit, radiusLimit)                                                   \
    P(Record, UseBands, bool, CurvatureUseBands, useBands)                                                             \
    P(Switch, UseRaytracingDownscale, bool, _, useRaytracingDownscale)

// Expands P(...) for the Record rows only.
#define OX_SA_ONLY_Record(P, Name, Type, Field, command) P(Name, Type, Field, command)
#define OX_SA_ONLY_Light(P, Name, Type, Field, command)
#define OX_SA_ONLY_Switch(P, Name, Type, Field, command)

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
