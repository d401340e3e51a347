#include "oxSurfaceAnalysisModel.h"

#include "oxController.h"
#include "oxMessage.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"

#include <boost/any.hpp>

#include <cstdio>

namespace
{
const char* const KeyLightDirection = "Linear Light Direction";
const char* const KeyIsolines = "Number of Isolines";
const char* const KeyThickness = "Isoline thickness";
const char* const KeySharpness = "Isoline sharpness";
const char* const KeyStripeColor = "Isoline Color";
const char* const KeyBaseColor = "Diffuse and Simple Color";
const char* const KeyGlossyColor = "Glossy Color";
const char* const KeyPhongExponent = "Phong exponent for Blinn-Phong Lighting";
const char* const KeyShadingMode = "Shading Mode";
const char* const KeyAnalysisMode = "Analysis Mode";
const char* const KeyLineMode = "Line Mode";
const char* const KeyReflectionMode = "Reflection mode";
const char* const KeyUseViewVector = "Use View Vector";
const char* const KeyPlaneOrigin = "Point on light plane defining neon tubes";
const char* const KeyPlaneAxisU = "Light Plane Axis U";
const char* const KeyPlaneAxisV = "Light Plane Axis V";
const char* const KeyPlaneEuler = "Light Plane Euler Rotation Angles";
const char* const KeySphereEuler = "Light sphere euler rotation";
const char* const KeyLinesDistance = "Distance of parallel lines on light plane";
const char* const KeyLinesLength = "Length of light lines if limited";
const char* const KeyLinesLimited = "Light lines length limited";
const char* const KeyPlaneVisible = "Light plane and manipulator visible";
const char* const KeySphereVisible = "Light sphere visible";
const char* const KeyDirectionVisible = "Light direction visible";

template <typename T> void put(oxMessage& msg, const char* key, const T& value)
{
    msg.set(key, boost::any(value), true);
}

// Reads with a default: a missing key is silent, a key of another type is reported by the read.
template <typename T> T read(const oxMessage& msg, const char* key, const T& fallback);
} // namespace

// Typed read of one project value; only an exact type match counts.
template <typename T> bool getFromMessage(const oxMessage& msg, const std::string& key, T& value)
{
    const boost::any& held = msg.get(key);
    if (held.empty())
        return false;
    if (held.type() != typeid(T))
    {
        std::fprintf(stderr, "getFromMessage : Attribute '%s' has wrong type (is:'%s' != req:'%s')!\n", key.c_str(),
                     held.type().name(), typeid(T).name());
        oxMessage::printBT();
        return false;
    }
    value = boost::any_cast<T>(held);
    return true;
}

template bool getFromMessage<bool>(const oxMessage&, const std::string&, bool&);
template bool getFromMessage<unsigned int>(const oxMessage&, const std::string&, unsigned int&);
template bool getFromMessage<float>(const oxMessage&, const std::string&, float&);
template bool getFromMessage<osg::Vec3f>(const oxMessage&, const std::string&, osg::Vec3f&);

namespace
{
template <typename T> T read(const oxMessage& msg, const char* key, const T& fallback)
{
    T value = fallback;
    if (!getFromMessage(msg, key, value))
        value = fallback;
    return value;
}
} // namespace

void oxSurfaceAnalysisModel::save(oxMessage& msg)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    put(msg, KeyLightDirection, m_lightDirection);
    put(msg, KeyIsolines, record->getIsolines());
    put(msg, KeyThickness, record->getStripeThickness());
    put(msg, KeySharpness, record->getStripeSharpness());
    put(msg, KeyStripeColor, record->getStripeColor());
    put(msg, KeyBaseColor, record->getBaseColor());
    put(msg, KeyGlossyColor, record->getGlossyColor());
    put(msg, KeyPhongExponent, record->getPhongExponent());
    put(msg, KeyShadingMode, record->getShadingMode());
    put(msg, KeyAnalysisMode, record->getAnalysisMode());
    put(msg, KeyLineMode, record->getLineMode());
    put(msg, KeyReflectionMode, record->getReflectionMode());
    put(msg, KeyUseViewVector, record->getUseViewVector());
    put(msg, KeyPlaneOrigin, record->getLightPlaneOrigin());
    put(msg, KeyPlaneAxisU, record->getLightPlaneAxisU());
    put(msg, KeyPlaneAxisV, record->getLightPlaneAxisV());
    put(msg, KeyPlaneEuler, record->getLightPlaneEulerRotation());
    put(msg, KeySphereEuler, record->getLightSphereEulerRotation());
    put(msg, KeyLinesDistance, record->getLightLinesDistance());
    put(msg, KeyLinesLength, record->getLightLinesLength());
    put(msg, KeyLinesLimited, record->getIsLightLinesLengthLimited());
    put(msg, KeyPlaneVisible, record->getLightPlaneVisible());
    put(msg, KeySphereVisible, record->getLightSphereVisible());
    put(msg, KeyDirectionVisible, record->getLightDirectionVisible());
}

void oxSurfaceAnalysisModel::setDefault()
{
    oxMessage empty;
    load(empty);
}

void oxSurfaceAnalysisModel::load(oxMessage& msg)
{
    if (!getFromMessage(msg, KeyLightDirection, m_lightDirection))
        m_lightDirection = osg::Vec3f(1.f, 1.f, 1.f);

    // Older projects have no sphere rotation: aim the sphere axis along the light direction.
    osg::Vec3f sphereEuler, sphereAxis, sphereTangent;
    if (getFromMessage(msg, KeySphereEuler, sphereEuler))
    {
        getLightSphereAxesFromEuler(sphereEuler, sphereAxis, sphereTangent);
    }
    else
    {
        sphereAxis = m_lightDirection;
        const osg::Quaternion q = getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), sphereAxis, sphereEuler);
        const float x = q.x(), y = q.y(), z = q.z(), w = q.w();
        sphereTangent = osg::Vec3f(2 * (x * z + w * y), 2 * (y * z - w * x), w * w - x * x - y * y + z * z);
    }

    const unsigned int isolines = read(msg, KeyIsolines, 16u);
    const float thickness = read(msg, KeyThickness, 0.1f);
    const float sharpness = read(msg, KeySharpness, 0.5f);
    const unsigned int lineMode = read(msg, KeyLineMode, 0u);
    const bool useViewVector = read(msg, KeyUseViewVector, false);
    const osg::Vec3f baseColor = read(msg, KeyBaseColor, osg::Vec3f(1.f, 1.f, 1.f));
    const osg::Vec3f glossyColor = read(msg, KeyGlossyColor, osg::Vec3f(1.f, 1.f, 1.f));
    const float phongExponent = read(msg, KeyPhongExponent, 32.f);
    const osg::Vec3f stripeColor = read(msg, KeyStripeColor, osg::Vec3f(0.f, 0.f, 0.f));
    const osg::Vec3f planeOrigin = read(msg, KeyPlaneOrigin, osg::Vec3f(0.f, 0.f, 0.f));
    osg::Vec3f planeAxisU = read(msg, KeyPlaneAxisU, osg::Vec3f(1.f, 0.f, 0.f));
    osg::Vec3f planeAxisV = read(msg, KeyPlaneAxisV, osg::Vec3f(0.f, 1.f, 0.f));
    const osg::Vec3f planeEuler = read(msg, KeyPlaneEuler, osg::Vec3f(0.f, 0.f, 0.f));
    // The stored axes are only a copy: a project without them, or edited by hand, must not
    // leave a plane whose axes disagree with its rotation.
    getLightPlaneAxesFromEuler(planeEuler, planeAxisU, planeAxisV);
    const float linesDistance = read(msg, KeyLinesDistance, 10.f);
    const float linesLength = read(msg, KeyLinesLength, 1000.f);
    const bool linesLimited = read(msg, KeyLinesLimited, false);
    const bool planeVisible = read(msg, KeyPlaneVisible, true);
    const bool sphereVisible = read(msg, KeySphereVisible, true);
    const bool directionVisible = read(msg, KeyDirectionVisible, false);
    const unsigned int shadingMode = read(msg, KeyShadingMode, 1u);
    const unsigned int analysisMode = read(msg, KeyAnalysisMode, 0u);
    const unsigned int reflectionMode = read(msg, KeyReflectionMode, 0u);

    // A drag cut off by a load belongs to the old settings: its start values must not be
    // recorded into the new ones when the next drag stops.
    m_lightPlaneGroup.dragging = false;
    m_lightDirectionGroup.dragging = false;
    m_lightSphereGroup.dragging = false;

    const bool pickWanted = PickNormal;
    AnalysisActive = false;
    SimpleMode = oxController::isSimpleMode();
    UiVisibility = false;
    PickNormal = false;
    CurvatureLegendOverlayVisibility = false;
    UseRaytracingDownscale = false;
    const unsigned int curvatureMode = 3;
    const float curvatureDrawScale = 0.05f;
    const bool useRadiusLimit = false;
    const float radiusLimit = 0.5f;
    const bool useBands = false;

    osg::Vec3f direction = m_lightDirection;
    direction.normalize();

    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
    {
        // Nothing to load into, but the analysis ends as on any load, and the renderer with it.
        // Switching off needs no record; it clears a wanted pick itself.
        PickNormal = pickWanted;
        analysisActiveCommand(false);
        syncNormalPickContext();
        return;
    }

    osg::beginEditCP(record, osg::AllFieldsMask);
    record->setLinearLightDirection(direction);
    record->setIsolines(isolines);
    record->setStripeThickness(thickness);
    record->setStripeSharpness(sharpness);
    record->setBaseColor(baseColor);
    record->setGlossyColor(glossyColor);
    record->setPhongExponent(phongExponent);
    record->setStripeColor(stripeColor);
    record->setShadingMode(shadingMode);
    record->setAnalysisMode(analysisMode);
    record->setReflectionMode(reflectionMode);
    record->setLineMode(lineMode);
    record->setUseViewVector(useViewVector);
    record->setLightPlaneOrigin(planeOrigin);
    record->setLightPlaneAxisU(planeAxisU);
    record->setLightPlaneAxisV(planeAxisV);
    record->setLightPlaneEulerRotation(planeEuler);
    record->setLightSphereEulerRotation(sphereEuler);
    record->setLightSphereAxis(sphereAxis);
    record->setLightSphereAxisUTangent(sphereTangent);
    record->setLightLinesDistance(linesDistance);
    record->setLightLinesLength(linesLength);
    record->setIsLightLinesLengthLimited(linesLimited);
    record->setLightPlaneVisible(planeVisible);
    record->setLightSphereVisible(sphereVisible);
    record->setLightDirectionVisible(directionVisible);
    record->setCurvatureEvaluationType(curvatureMode);
    record->setCurvatureDrawScale(curvatureDrawScale);
    record->setCurvatureUseRadiusLimit(useRadiusLimit);
    record->setCurvatureRadiusLimit(radiusLimit);
    record->setCurvatureUseBands(useBands);
    osg::endEditCP(record, osg::AllFieldsMask);

    analysisActiveCommand(AnalysisActive);
    Q_EMIT simpleModeChanged(SimpleMode);
    lightDirectionCommand(direction);
    lightPlaneOriginCommand(planeOrigin);
    lightPlaneRotationCommand();
    lightSphereRotationCommand();
    isoLineCountCommand(isolines);
    baseColorCommand(baseColor);
    glossyColorCommand(glossyColor);
    stripeColorCommand(stripeColor);
    phongExponentCommand(phongExponent);
    stripeThicknessCommand(thickness);
    stripeSharpnessCommand(sharpness);
    lightLinesDistanceCommand(linesDistance);
    lightLinesLengthCommand(linesLength);
    limitedLightLinesLengthCommand(linesLimited);
    shadingModeCommand(shadingMode);
    reflectionModeCommand(reflectionMode);
    analysisModeCommand(analysisMode);
    lineModeCommand(lineMode);
    lightPlaneVisibilityCommand(planeVisible);
    lightSphereVisibilityCommand(sphereVisible);
    lightDirectionVisibilityCommand(directionVisible);
    useViewVectorCommand(useViewVector);
    curvatureModeCommand(curvatureMode);
    curvatureDrawScaleCommand(curvatureDrawScale);
    useRadiusLimitCommand(useRadiusLimit);
    radiusLimitCommand(radiusLimit);
    useBandsCommand(useBands);
    pickNormalCommand(PickNormal);
    curvatureLegendOverlayVisibilityCommand(CurvatureLegendOverlayVisibility);
    useRaytracingDownscaleCommand(UseRaytracingDownscale);
}
