#pragma once

#include "oxHostAnalysisSettings.h"

#include "oxModuleBase.h"

#include <functional>
#include <string>
#include <type_traits>

// The host's own analyses (draft angle, curvature combs) as its user interface sees them: one
// property per row of OX_HOST_ANALYSIS_PROPERTIES, each with get<Name>, an undoable set<Name> and
// the signal <Name>Changed. Each frame's request takes a copy of the whole record. The settings
// are saved with the project and reset by a new scene, as the module's are.
class oxHostAnalysisModel : public oxModuleBase
{
    Q_OBJECT

public:
    // Created on first use, registered with the kernel for the rest of the run.
    static oxHostAnalysisModel* the();

    template <class T> using Arg = std::conditional_t<std::is_class<T>::value, const T&, T>;

#define OX_HOST_ANALYSIS_ACCESS(Name, Type, Default, ...)                                                              \
    Type get##Name() const                                                                                             \
    {                                                                                                                  \
        return m_settings.Name;                                                                                        \
    }                                                                                                                  \
    /* One undo step; a refused value changes nothing and returns false with error saying why. */                      \
    bool set##Name(Arg<Type> value, std::string* error = nullptr);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_ACCESS)
#undef OX_HOST_ANALYSIS_ACCESS

    const oxHostAnalysisSettings& settings() const
    {
        return m_settings;
    }

    // Why a value is refused for a property, or empty when it is fine.
    static std::string refusal(const char* name, bool value);
    static std::string refusal(const char* name, unsigned int value);
    static std::string refusal(const char* name, float value);
    static std::string refusal(const char* name, const osg::Vec3f& value);
    static std::string refusal(const char* name, const std::string& value);

    // The project keys, one per property, in the table's order.
    static const char* projectKey(const char* name);
    static int projectKeyCount();
    void save(oxMessage& msg) const;
    // What the project holds, the defaults for the rest; not an undo step. A value of the wrong
    // type or outside its row's domain is reported and falls back to the default, as the module's
    // do; DeviationActive without a reference is reported and loads as off.
    void load(const oxMessage& msg);
    // The reference was dropped: the deviation goes off with it. Not an edit, as dropping the
    // reference is none, so that no undo step is left that would put it back without one.
    void referenceDropped();

    // The module's analysis, which colours the surface as the draft does: only one may be on.
    // The panel, which links the module, supplies how to read it and switch it off.
    struct ModuleAnalysis
    {
        std::function<bool()> active;
        std::function<void()> switchOff; // one undoable edit
    };
    void setModuleAnalysis(const ModuleAnalysis& module);
    // The module's analysis was switched on: the colouring host analyses go off, each recorded as an edit.
    void moduleAnalysisSwitchedOn();
    // Whether a host analysis that colours the surface (by its row's role) is on, as the module's may be.
    bool colouring() const;

    // "Pick a face": while armed, the next click on the model sets the pull direction to the
    // exact normal there. Not a setting: it is neither saved nor undone.
    void setFacePick(bool armed);
    bool facePick() const
    {
        return m_facePick;
    }
    // A click at pixel (x, y) of a view of width x height: with the pick armed and the model hit,
    // the pull direction becomes the normal oxHost.probe gives there (one edit) and the pick ends.
    // False when nothing was set.
    bool pickFace(double x, double y, int width, int height);
    // The camera's viewing direction, from the part towards the viewer.
    static osg::Vec3f viewDirection();

    bool receivedMessage(oxMessage& msg) override;

    // Writes one setting and signals; the edits' apply path.
    template <class T> T exchange(T oxHostAnalysisSettings::*field, const T& value);

Q_SIGNALS:
    void DraftActiveChanged(bool value);
    void DraftDirectionChanged(osg::Vec3f value);
    void DraftAngleChanged(float value);
    void DraftRampChanged(bool value);
    void CombActiveChanged(bool value);
    void CombEdgesChanged(bool value);
    void CombSectionsChanged(unsigned int value);
    void CombSectionNormalChanged(osg::Vec3f value);
    void CombSamplesChanged(unsigned int value);
    void CombScaleChanged(float value);
    void DeviationActiveChanged(bool value);
    void DeviationToleranceChanged(float value);
    void DeviationRangeChanged(float value);
    void CompareActiveChanged(bool value);
    void StripesActiveChanged(bool value);
    void StripesAxisChanged(unsigned int value);
    void StripesVectorChanged(osg::Vec3f value);
    void StripesCountChanged(unsigned int value);
    void StripesDistanceChanged(float value);
    void StripesWidthChanged(float value);
    void StripesSharpnessChanged(float value);
    void StripesLockedChanged(bool value);
    void StripesViewChanged(osg::Vec3f value);
    void EnvironmentActiveChanged(bool value);
    void EnvironmentMapChanged(unsigned int value);
    void EnvironmentImageChanged(std::string value);
    void EnvironmentTurnChanged(float value);
    void EnvironmentBlendChanged(float value);
    void EnvironmentFollowsViewChanged(bool value);
    void ColourMapChanged(unsigned int value);
    void ColourMapReversedChanged(bool value);
    void ColourMapStepsChanged(unsigned int value);
    void ColoursLitChanged(bool value);
    void CurvatureLogScaleChanged(bool value);
    void CurvatureRangeLowChanged(float value);
    void CurvatureRangeHighChanged(float value);
    void FacePickChanged(bool armed);

private:
    oxHostAnalysisModel();

    template <class T>
    bool edit(const char* name, T oxHostAnalysisSettings::*field, const T& value, std::string* error);
    template <class T> void changed(T oxHostAnalysisSettings::*field);
    template <class T> static void loadValue(const oxMessage& msg, const char* name, T& value);
    void replace(const oxHostAnalysisSettings& settings);

    oxHostAnalysisSettings m_settings;
    ModuleAnalysis m_module;
    bool m_facePick = false;
};
