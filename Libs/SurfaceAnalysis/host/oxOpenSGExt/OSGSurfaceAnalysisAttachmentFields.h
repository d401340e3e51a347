#pragma once

// The analysis settings record's fields in id order, from 3: F(Name, Type, Default).
// Ids are fixed: undo edits and project code address fields by number.
#define OSG_SURFACE_ANALYSIS_FIELDS(F)                                                                                 \
    F(LinearLightDirection, Vec3f, Vec3f(0.57735026f, 0.57735026f, 0.57735026f))                                       \
    F(Isolines, UInt32, 16u)                                                                                           \
    F(ShadingMode, UInt32, 1u)                                                                                         \
    F(BaseColor, Vec3f, Vec3f(1.f, 1.f, 1.f))                                                                          \
    F(StripeThickness, Real32, 0.1f)                                                                                   \
    F(StripeSharpness, Real32, 0.5f)                                                                                   \
    F(StripeColor, Vec3f, Vec3f(0.f, 0.f, 0.f))                                                                        \
    F(UseViewVector, bool, false)                                                                                      \
    F(AnalysisMode, UInt32, 0u)                                                                                        \
    F(LineMode, UInt32, 0u)                                                                                            \
    F(LightPlaneOrigin, Vec3f, Vec3f(0.f, 0.f, 0.f))                                                                   \
    F(LightPlaneAxisU, Vec3f, Vec3f(1.f, 0.f, 0.f))                                                                    \
    F(LightPlaneAxisV, Vec3f, Vec3f(0.f, 1.f, 0.f))                                                                    \
    F(LightPlaneEulerRotation, Vec3f, Vec3f(0.f, 0.f, 0.f))                                                            \
    F(LightSphereEulerRotation, Vec3f, Vec3f(0.f, 0.f, 0.f))                                                           \
    F(LightSphereAxis, Vec3f, Vec3f(1.f, 0.f, 0.f))                                                                    \
    F(LightSphereAxisUTangent, Vec3f, Vec3f(0.f, 0.f, 1.f))                                                            \
    F(ReflectionMode, UInt32, 0u)                                                                                      \
    F(LightLinesDistance, Real32, 10.f)                                                                                \
    F(LightLinesLength, Real32, 1000.f)                                                                                \
    F(IsLightLinesLengthLimited, bool, false)                                                                          \
    F(LightPlaneVisible, bool, true)                                                                                   \
    F(LightSphereVisible, bool, true)                                                                                  \
    F(LightDirectionVisible, bool, false)                                                                              \
    F(GlossyColor, Vec3f, Vec3f(1.f, 1.f, 1.f))                                                                        \
    F(PhongExponent, Real32, 32.f)                                                                                     \
    F(CurvatureEvaluationType, UInt32, 3u)                                                                             \
    F(CurvatureDrawScale, Real32, 0.05f)                                                                               \
    F(CurvatureUseBands, bool, false)                                                                                  \
    F(CurvatureUseRadiusLimit, bool, false)                                                                            \
    F(CurvatureRadiusLimit, Real32, 0.5f)
