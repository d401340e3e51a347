#include "oxHostAnalysisModel.h"

#include "oxHostAnalysisEdit.h"

#include "oxFileIO.h"
#include "oxKernel.h"
#include "oxMessage.h"
#include "oxProbe.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

namespace
{
osg::Vec3f normalised(const osg::Vec3f& v)
{
    osg::Vec3f unit = v;
    oxRenderMath::direction(v, unit);
    return unit;
}

const oxSettingDomain& domainOf(const char* name)
{
    static const oxSettingDomain none = oxSettingDomain::none();
    const oxHostAnalysisRow* row = oxHostAnalysisRows::find(name);
    return row ? row->domain : none;
}

std::string text(bool value)
{
    return value ? "true" : "false";
}

std::string text(unsigned int value)
{
    return std::to_string(value);
}

std::string text(float value)
{
    return oxSettingDomain::number(value);
}

std::string text(const osg::Vec3f& v)
{
    return "(" + text(v[0]) + ", " + text(v[1]) + ", " + text(v[2]) + ")";
}

std::string text(const std::string& value)
{
    return "\"" + value + "\"";
}

// The switch of an analysis that colours the surface, by its row's role.
struct ColouringSwitch
{
    const char* name;
    bool oxHostAnalysisSettings::*field;
};

void addSwitch(std::vector<ColouringSwitch>& switches, const oxHostAnalysisRow& row,
               bool oxHostAnalysisSettings::*field)
{
    if (row.role == oxSettingRole::Colours)
        switches.push_back({row.name, field});
}

// Only a switch colours.
template <class T> void addSwitch(std::vector<ColouringSwitch>&, const oxHostAnalysisRow&, T oxHostAnalysisSettings::*)
{
}

const std::vector<ColouringSwitch>& colouringSwitches()
{
    static const std::vector<ColouringSwitch> switches = []
    {
        std::vector<ColouringSwitch> list;
#define OX_HOST_ANALYSIS_SWITCH(Name, ...) addSwitch(list, oxHostAnalysisRows::Name, &oxHostAnalysisSettings::Name);
        OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SWITCH)
#undef OX_HOST_ANALYSIS_SWITCH
        return list;
    }();
    return switches;
}
} // namespace

oxHostAnalysisModel::oxHostAnalysisModel()
    : oxModuleBase("oxHostAnalyses", "Host analyses", oxKernel::NewSceneMessage | oxKernel::ProjectMessage, nullptr)
{
}

oxHostAnalysisModel* oxHostAnalysisModel::the()
{
    // Immortal: edits on the stacks, which outlive statics, point to it.
    static oxHostAnalysisModel* model = new oxHostAnalysisModel;
    return model;
}

std::string oxHostAnalysisModel::refusal(const char*, bool)
{
    return std::string();
}

std::string oxHostAnalysisModel::refusal(const char* name, unsigned int value)
{
    const oxSettingDomain& domain = domainOf(name);
    if (domain.numeric && !domain.contains(value))
        return std::string("the value of ") + name + " must be " + domain.text() + ", not " + text(value);
    return std::string();
}

std::string oxHostAnalysisModel::refusal(const char* name, float value)
{
    const std::string what = std::string("the value of ") + name;
    if (!std::isfinite(value))
        return what + " must be a finite number, not " + text(value);
    const oxSettingDomain& domain = domainOf(name);
    if (domain.numeric && !domain.contains(value))
        return what + " must be " + domain.text() + ", not " + text(value);
    return std::string();
}

std::string oxHostAnalysisModel::refusal(const char* name, const osg::Vec3f& value)
{
    const std::string what = std::string("the value of ") + name;
    if (!std::isfinite(value[0]) || !std::isfinite(value[1]) || !std::isfinite(value[2]))
        return what + " must have finite components, not " + text(value);
    osg::Vec3f unit;
    if (!oxRenderMath::direction(value, unit))
        return what + " must be a direction, not the zero vector";
    return std::string();
}

// A path may name a file that is not there yet, or any more: the frame stands a built-in in for it.
std::string oxHostAnalysisModel::refusal(const char* name, const std::string& value)
{
    if (value.find('\0') != std::string::npos)
        return std::string("the value of ") + name + " must not hold a null character";
    return std::string();
}

template <class T>
bool oxHostAnalysisModel::edit(const char* name, T oxHostAnalysisSettings::*field, const T& value, std::string* error)
{
    const std::string why = refusal(name, value);
    if (!why.empty())
    {
        if (error)
            *error = why;
        return false;
    }
    T stored = value;
    if constexpr (std::is_same_v<T, osg::Vec3f>)
        stored = normalised(value);
    // One analysis colours at a time: the module's and the other colouring host analyses go off
    // first, so that undoing the step switches this one off before they come back.
    bool moduleOff = false;
    std::vector<ColouringSwitch> othersOn;
    if constexpr (std::is_same_v<T, bool>)
    {
        if (field == &oxHostAnalysisSettings::DeviationActive && value && !oxRenderer::the().hasReference())
        {
            if (error)
                *error = std::string("cannot switch ") + name +
                         " on: no reference is loaded; oxHost.loadReference(path) loads one";
            return false;
        }
        const bool colours = oxHostAnalysisRows::find(name)->role == oxSettingRole::Colours;
        moduleOff = colours && value && m_module.active && m_module.switchOff && m_module.active();
        for (const ColouringSwitch& other : colouringSwitches())
            if (colours && value && other.field != field && m_settings.*other.field)
                othersOn.push_back(other);
    }
    oxUndoStack& stack = oxUndoStack::get(0);
    const bool macro = moduleOff || !othersOn.empty();
    if (macro)
        stack.beginMacro(QString("Set %1").arg(name));
    if (moduleOff)
        m_module.switchOff();
    for (const ColouringSwitch& other : othersOn)
        stack.add(new oxHostAnalysisEdit<bool>(other.name, other.field, false, this));
    stack.add(new oxHostAnalysisEdit<T>(name, field, stored, this));
    if (macro)
        stack.endMacro();
    return true;
}

#define OX_HOST_ANALYSIS_SETTER(Name, Type, Default, ...)                                                              \
    bool oxHostAnalysisModel::set##Name(Arg<Type> value, std::string* error)                                           \
    {                                                                                                                  \
        return edit<Type>(#Name, &oxHostAnalysisSettings::Name, value, error);                                         \
    }
OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SETTER)
#undef OX_HOST_ANALYSIS_SETTER

template <class T> T oxHostAnalysisModel::exchange(T oxHostAnalysisSettings::*field, const T& value)
{
    const T previous = m_settings.*field;
    m_settings.*field = value;
    // An undo or redo after the reference was dropped does not bring the deviation back without one.
    if constexpr (std::is_same_v<T, bool>)
        if (field == &oxHostAnalysisSettings::DeviationActive && value && !oxRenderer::the().hasReference())
            m_settings.*field = false;
    changed(field);
    return previous;
}

template bool oxHostAnalysisModel::exchange<bool>(bool oxHostAnalysisSettings::*, const bool&);
template unsigned int oxHostAnalysisModel::exchange<unsigned int>(unsigned int oxHostAnalysisSettings::*,
                                                                  const unsigned int&);
template float oxHostAnalysisModel::exchange<float>(float oxHostAnalysisSettings::*, const float&);
template osg::Vec3f oxHostAnalysisModel::exchange<osg::Vec3f>(osg::Vec3f oxHostAnalysisSettings::*, const osg::Vec3f&);
template std::string oxHostAnalysisModel::exchange<std::string>(std::string oxHostAnalysisSettings::*,
                                                                const std::string&);

// The signal of the row whose field this is.
template <class T> void oxHostAnalysisModel::changed(T oxHostAnalysisSettings::*field)
{
#define OX_HOST_ANALYSIS_SIGNAL(Name, Type, Default, ...)                                                              \
    if constexpr (std::is_same_v<T, Type>)                                                                             \
        if (field == &oxHostAnalysisSettings::Name)                                                                    \
            Q_EMIT Name##Changed(m_settings.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SIGNAL)
#undef OX_HOST_ANALYSIS_SIGNAL
}

void oxHostAnalysisModel::replace(const oxHostAnalysisSettings& settings)
{
#define OX_HOST_ANALYSIS_WRITE(Name, Type, Default, ...) exchange(&oxHostAnalysisSettings::Name, settings.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_WRITE)
#undef OX_HOST_ANALYSIS_WRITE
}

const char* oxHostAnalysisModel::projectKey(const char* name)
{
    const oxHostAnalysisRow* row = oxHostAnalysisRows::find(name);
    return row ? row->projectKey : nullptr;
}

int oxHostAnalysisModel::projectKeyCount()
{
    return oxHostAnalysisRows::count();
}

void oxHostAnalysisModel::save(oxMessage& msg) const
{
#define OX_HOST_ANALYSIS_SAVE(Name, Type, Default, Domain, Key, ...) msg.set(Key, boost::any(m_settings.Name), true);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SAVE)
#undef OX_HOST_ANALYSIS_SAVE
}

// A value the setter would refuse (a zero direction, a count out of its domain typed into the
// file) is reported and loads as the default, like a value of the wrong type: the default is
// cheap and known, where the nearest end of the domain may be the dearest value there is.
template <class T> void oxHostAnalysisModel::loadValue(const oxMessage& msg, const char* name, T& value)
{
    const oxHostAnalysisRow& row = *oxHostAnalysisRows::find(name);
    T read = value;
    if (!msg.get(row.projectKey, read))
        return;
    const std::string why = refusal(name, read);
    if (why.empty() || read == value)
        value = read;
    else
        std::fprintf(stderr, "oxHostAnalysisModel::load : key '%s': %s; it loads as its default %s\n", row.projectKey,
                     why.c_str(), text(value).c_str());
}

void oxHostAnalysisModel::load(const oxMessage& msg)
{
    oxHostAnalysisSettings loaded;
#define OX_HOST_ANALYSIS_LOAD(Name, ...) loadValue(msg, #Name, loaded.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_LOAD)
#undef OX_HOST_ANALYSIS_LOAD
    loaded.DraftDirection = normalised(loaded.DraftDirection);
    loaded.CombSectionNormal = normalised(loaded.CombSectionNormal);
    // The reference is not part of the project: one loaded before it may be there, or not.
    if (loaded.DeviationActive && !oxRenderer::the().hasReference())
    {
        std::fprintf(stderr,
                     "oxHostAnalysisModel::load : key '%s': cannot switch DeviationActive on: no reference is loaded; "
                     "it loads as off\n",
                     oxHostAnalysisRows::DeviationActive.projectKey);
        loaded.DeviationActive = false;
    }
    replace(loaded);
}

void oxHostAnalysisModel::referenceDropped()
{
    if (m_settings.DeviationActive && !oxRenderer::the().hasReference())
        exchange(&oxHostAnalysisSettings::DeviationActive, false);
}

void oxHostAnalysisModel::setModuleAnalysis(const ModuleAnalysis& module)
{
    m_module = module;
}

void oxHostAnalysisModel::moduleAnalysisSwitchedOn()
{
    for (const ColouringSwitch& s : colouringSwitches())
        if (m_settings.*s.field)
            edit<bool>(s.name, s.field, false, nullptr);
}

bool oxHostAnalysisModel::colouring() const
{
    for (const ColouringSwitch& s : colouringSwitches())
        if (m_settings.*s.field)
            return true;
    return false;
}

void oxHostAnalysisModel::setFacePick(bool armed)
{
    if (armed == m_facePick)
        return;
    m_facePick = armed;
    Q_EMIT FacePickChanged(armed);
}

bool oxHostAnalysisModel::pickFace(double x, double y, int width, int height)
{
    if (!m_facePick || !(x >= 0 && x < width && y >= 0 && y < height))
        return false;
    oxRenderer& renderer = oxRenderer::the();
    oxRenderCamera camera = renderer.hostCamera();
    camera.setup(width, height);
    osg::Pnt3f origin;
    osg::Vec3f direction;
    // Through the pixel's centre, as oxHost.probe and the renderer cast it.
    camera.ray(float(std::floor(x)) + 0.5f, float(std::floor(y)) + 0.5f, origin, direction);
    oxProbe hit;
    bool found = false;
    {
        // A frame being traced holds the scene; a click may wait for it.
        std::lock_guard<std::mutex> lock(renderer.sceneMutex());
        found = oxProbe::trace(renderer.scene(), origin, direction, hit);
    }
    if (!found || !setDraftDirection(hit.normal))
        return false;
    setFacePick(false);
    return true;
}

osg::Vec3f oxHostAnalysisModel::viewDirection()
{
    const oxRenderCamera camera = oxRenderer::the().hostCamera();
    return normalised(camera.from - camera.at);
}

bool oxHostAnalysisModel::receivedMessage(oxMessage& msg)
{
    switch (msg.id())
    {
    case oxKernel::NewSceneMessage:
        setFacePick(false);
        load(oxMessage());
        break;
    case oxKernel::ProjectMessage:
    {
        oxMessage& project = oxFileIO::getProject();
        bool loading = false;
        if (!project.get("_loading", loading))
            break;
        if (loading)
            load(project);
        else
            save(project);
        break;
    }
    default:
        break;
    }
    return false;
}
