#pragma once

#include "OSGQuaternion.h"
#include "OSGSurfaceAnalysisAttachment.h"
#include "OSGVector.h"
#include "oxModuleBase.h"
#include "oxSurfaceAnalysisMetaTypes.h"

#include <memory>
#include <string>

class oxMessage;
class oxSADirectionUndoCommand;

// Reads one project or message value; true only when the key holds exactly a T.
// Another type is reported on stderr with a backtrace.
template <typename T> bool getFromMessage(const oxMessage& msg, const std::string& key, T& value);

// The surface analysis module: one object per process, reached through the().
// Every setting is a getter, an undoable setter, a private apply slot (…Command) and a signal (…Changed).
// The settings live in the host's record, which is looked up anew on every use.
class oxSurfaceAnalysisModel : public oxModuleBase
{
    Q_OBJECT

public:
    static oxSurfaceAnalysisModel* the();

    // Module-side switches and the light direction.
    bool getAnalysisActive() const { return AnalysisActive; }
    void setAnalysisActive(bool active);
    bool getSimpleMode() const { return SimpleMode; }
    void setSimpleMode(bool simple);
    bool getUiVisibility() const { return UiVisibility; }
    void setUiVisibility(bool visible);
    bool getPickNormal() const { return PickNormal; }
    void setPickNormal(bool pick);
    bool getCurvatureLegendOverlayVisibility() const { return CurvatureLegendOverlayVisibility; }
    void setCurvatureLegendOverlayVisibility(bool visible);
    bool getUseRaytracingDownscale() const { return UseRaytracingDownscale; }
    void setUseRaytracingDownscale(bool on);
    osg::Vec3f getLightDirection() const { return m_lightDirection; }
    void setLightDirection(const osg::Vec3f& direction);

    // Light placement and record settings. Most of these have no hand-written body: the getters and
    // setters of the Record and Uniform rows of OX_SA_PROPERTIES (oxSurfaceAnalysisSettings.h), e.g.
    // getIsoLineCount, setIsoLineCount, getBaseColor, setBaseColor, and the getters of its Frame rows
    // are generated from their rows in oxSurfaceAnalysisModelProperties.cpp. The rotation setters and
    // setToVector are written by hand (oxSurfaceAnalysisModelLights.cpp).
    osg::Vec3f getLightPlaneOrigin() const;
    void setLightPlaneOrigin(const osg::Vec3f& origin);
    osg::Vec3f getLightPlaneRotation() const;
    void setLightPlaneRotation(const osg::Vec3f& euler);
    osg::Vec3f getLightSphereRotation() const;
    void setLightSphereRotation(const osg::Vec3f& euler);
    bool getLightPlaneVisibility() const;
    void setLightPlaneVisibility(bool visible);
    bool getLightSphereVisibility() const;
    void setLightSphereVisibility(bool visible);
    bool getLightDirectionVisibility() const;
    void setLightDirectionVisibility(bool visible);
    // Aims the light of the current analysis kind at v.
    void setToVector(const osg::Vec3f& v);

    // Record settings.
    unsigned int getIsoLineCount() const;
    void setIsoLineCount(unsigned int count);
    osg::Vec3f getBaseColor() const;
    void setBaseColor(const osg::Vec3f& color);
    osg::Vec3f getGlossyColor() const;
    void setGlossyColor(const osg::Vec3f& color);
    osg::Vec3f getStripeColor() const;
    void setStripeColor(const osg::Vec3f& color);
    float getPhongExponent() const;
    void setPhongExponent(float exponent);
    float getStripeThickness() const;
    void setStripeThickness(float thickness);
    float getStripeSharpness() const;
    void setStripeSharpness(float sharpness);
    float getLightLinesDistance() const;
    void setLightLinesDistance(float distance);
    float getLightLinesLength() const;
    void setLightLinesLength(float length);
    bool getLimitedLightLinesLength() const;
    void setLimitedLightLinesLength(bool limited);
    unsigned int getShadingMode() const;
    void setShadingMode(unsigned int mode);
    unsigned int getReflectionMode() const;
    void setReflectionMode(unsigned int mode);
    unsigned int getAnalysisMode() const;
    void setAnalysisMode(unsigned int mode);
    unsigned int getLineMode() const;
    void setLineMode(unsigned int mode);
    bool getUseViewVector() const;
    void setUseViewVector(bool use);
    unsigned int getCurvatureMode() const;
    void setCurvatureMode(unsigned int mode);
    float getCurvatureDrawScale() const;
    void setCurvatureDrawScale(float scale);
    bool getUseRadiusLimit() const;
    void setUseRadiusLimit(bool use);
    float getRadiusLimit() const;
    void setRadiusLimit(float limit);
    bool getUseBands() const;
    void setUseBands(bool use);

    // Frame maths shared by every light placement path.
    static osg::Quaternion getOrientationFromAxis(const osg::Vec3f& from, const osg::Vec3f& to, osg::Vec3f& euler);
    static void getLightPlaneAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& u, osg::Vec3f& v);
    static void getLightSphereAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& axis, osg::Vec3f& uTangent);

    // The script module's functions.
    static void python_enableSurfaceAnalysis(bool state);
    static void python_setSurfaceAnalysisMode(int state);
    static void python_setSurfaceAnalysisShowDirection(bool state);
    static void python_setSurfaceAnalysisDirection(const osg::Vec3f& state);
    static void python_setSurfaceAnalysisSetToXAxis();
    static void python_setSurfaceAnalysisSetToYAxis();
    static void python_setSurfaceAnalysisSetToZAxis();
    static void python_setSurfaceAnalysisPickNormal(bool state);
    static void python_setSurfaceAnalysisUseCamVec(bool state);
    static void python_setSurfaceAnalysisLineType(int state);
    static void python_setSurfaceAnalysisLineCount(int state);
    static void python_setSurfaceAnalysisLineColor(const osg::Vec3f& state);
    static void python_setSurfaceAnalysisSurfaceLightingMode(int state);
    static void python_setSurfaceAnalysisSurfaceBaseColor(const osg::Vec3f& state);

Q_SIGNALS:
    void analysisActiveChanged(bool active);
    void simpleModeChanged(bool simple);
    void lightDirectionChanged(osg::Vec3f direction);
    void lightPlaneOriginChanged(osg::Vec3f origin);
    void lightPlaneRotationChanged(osg::Vec3f euler);
    void lightSphereRotationChanged(osg::Vec3f euler);
    void isoLineCountChanged(unsigned int count);
    void baseColorChanged(osg::Vec3f color);
    void glossyColorChanged(osg::Vec3f color);
    void stripeColorChanged(osg::Vec3f color);
    void phongExponentChanged(float exponent);
    void stripeThicknessChanged(float thickness);
    void stripeSharpnessChanged(float sharpness);
    void lightLinesDistanceChanged(float distance);
    void lightLinesLengthChanged(float length);
    void limitedLightLinesLengthChanged(bool limited);
    void shadingModeChanged(unsigned int mode);
    void reflectionModeChanged(unsigned int mode);
    void analysisModeChanged(unsigned int mode);
    void lineModeChanged(unsigned int mode);
    void lightPlaneVisibilityChanged(bool visible);
    void lightSphereVisibilityChanged(bool visible);
    void lightDirectionVisibilityChanged(bool visible);
    void uiVisibilityChanged(bool visible);
    void pickNormalChanged(bool pick);
    void useViewVectorChanged(bool use);
    void curvatureModeChanged(unsigned int mode);
    void curvatureDrawScaleChanged(float scale);
    void curvatureLegendOverlayVisibilityChanged(bool visible);
    void useRadiusLimitChanged(bool use);
    void radiusLimitChanged(float limit);
    void useBandsChanged(bool use);
    void useRaytracingDownscaleChanged(bool on);

private Q_SLOTS:
    // The apply slots. Those of the Uniform rows of OX_SA_PROPERTIES (baseColorCommand, glossyColorCommand,
    // phongExponentCommand, ...) are generated from their rows in oxSurfaceAnalysisModelProperties.cpp;
    // the other slots are written there or in the oxSurfaceAnalysisModel*.cpp of their concern.
    void enableSurfaceMode();
    void initServiceConnections();
    void analysisActiveCommand(bool on);
    void lightDirectionCommand(osg::Vec3f direction);
    void lightPlaneOriginCommand(osg::Vec3f origin);
    void lightPlaneRotationCommand();
    void lightSphereRotationCommand();
    void isoLineCountCommand(unsigned int count);
    void baseColorCommand(osg::Vec3f color);
    void glossyColorCommand(osg::Vec3f color);
    void stripeColorCommand(osg::Vec3f color);
    void phongExponentCommand(float exponent);
    void stripeThicknessCommand(float thickness);
    void stripeSharpnessCommand(float sharpness);
    void lightLinesDistanceCommand(float distance);
    void lightLinesLengthCommand(float length);
    void limitedLightLinesLengthCommand(bool limited);
    void shadingModeCommand(unsigned int mode);
    void reflectionModeCommand(unsigned int mode);
    void analysisModeCommand(unsigned int mode);
    void lineModeCommand(unsigned int mode);
    void lightPlaneVisibilityCommand(bool visible);
    void lightSphereVisibilityCommand(bool visible);
    void lightDirectionVisibilityCommand(bool visible);
    void uiVisibilityCommand(bool visible);
    void pickNormalCommand(bool on);
    void useViewVectorCommand(bool use);
    void curvatureModeCommand(unsigned int mode);
    void curvatureDrawScaleCommand(float scale);
    void curvatureLegendOverlayVisibilityCommand(bool show);
    void useRadiusLimitCommand(bool use);
    void radiusLimitCommand(float limit);
    void useBandsCommand(bool use);
    void useRaytracingDownscaleCommand(bool on);

private:
    friend class oxSADirectionUndoCommand;
    friend class oxSurfaceAnalysisNormalPickContext;
    friend struct oxSurfaceAnalysisModelAccess; // tests and the reference host reach private parts through it

    // The light visuals, their manipulators and the normal pick tool (oxSurfaceAnalysisModelParts.h).
    struct Parts;

    oxSurfaceAnalysisModel();
    ~oxSurfaceAnalysisModel() override;

    bool receivedMessage(oxMessage& msg) override;

    static osg::SurfaceAnalysisAttachmentPtr getAttachment();
    bool isophotesModeActive() const;
    bool parallelLinearLightsModeActive() const;
    bool sphericalLightsModeActive() const;

    // Persistence.
    void save(oxMessage& msg);
    void load(oxMessage& msg);
    void setDefault();
    osg::SurfaceAnalysisValues readProject(const oxMessage& msg);
    void endInterruptedDrags();
    void resetSwitches();
    void applyLoadedSettings(const osg::SurfaceAnalysisValues& values);

    // Render synchronisation.
    void updateRenderer(bool rebuild);
    static void updateShader(bool rebuild);
    static void refreshUniforms();
    static void rebuildShader();
    bool curvatureLegendWanted(bool wish, unsigned int analysisMode) const;
    void toggleManipulatorContexts();
    void updateVisualizations();

    // Edits of the record and of the module-side switches.
    template <typename T> void recordEdit(osg::UInt32 fieldId, const T& value, const char* slot);
    void switchEdit(const char* name, bool value, const char* slot, bool* target);
    template <typename T> static T recordField(osg::UInt32 fieldId);

    // Light visuals and their manipulators.
    void updateLightPlane(bool force);
    void updateLightSphere(bool force);
    void updateLightDirectionHandle();
    bool lightPlaneManipulatorContextAllowed() const;
    bool lightDirectionManipulatorContextAllowed() const;
    bool lightSphereManipulatorContextAllowed() const;
    void toggleLightPlaneManipulatorContext(bool on);
    void toggleLightDirectionManipulatorContext(bool on);
    void toggleLightSphereManipulatorContext(bool on);
    void disableManipulatorContexts();
    void lightPlaneTrigger(const std::string& event);
    void lightDirectionTrigger(const std::string& event);
    void lightSphereTrigger(const std::string& event);

    // Normal pick.
    void normalPickTriggerEvent(const std::string& event);
    void syncNormalPickContext();

    // Named host callbacks.
    static void updateRaytracingDownscaleButton(oxMessage& msg);
    static void showSurfaceAnalysisModule(oxMessage& msg);
    static void toggleSurfaceAnalysisActivationButton(oxMessage& msg);
    static void toggleSimpleMode(oxMessage& msg);
    static void updateCamera(oxMessage& msg);
    void registerCallbacks(bool add);

    bool AnalysisActive = false;
    bool SimpleMode = false;
    bool UiVisibility = false;
    bool PickNormal = false;
    bool CurvatureLegendOverlayVisibility = false;
    bool UseRaytracingDownscale = false;
    osg::Vec3f m_lightDirection;
    std::unique_ptr<Parts> m_parts;
};
