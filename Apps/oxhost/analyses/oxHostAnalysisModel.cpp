#include "oxHostAnalysisModel.h"

#include "oxHostAnalysisEdit.h"

#include "oxFileIO.h"
#include "oxKernel.h"
#include "oxMessage.h"
#include "oxProbe.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>

namespace
{
struct ProjectKey
{
    const char* name;
    const char* key;
};

// The project's keys, named like the module's but apart from them.
const ProjectKey projectKeys[] = {
    {"DraftActive", "Host Draft Active"},
    {"DraftDirection", "Host Draft Pull Direction"},
    {"DraftAngle", "Host Draft Minimum Angle"},
    {"DraftRamp", "Host Draft Colour Ramp"},
    {"CombActive", "Host Combs Active"},
    {"CombEdges", "Host Combs On Edges"},
    {"CombSections", "Host Combs Section Count"},
    {"CombSectionNormal", "Host Combs Section Normal"},
    {"CombSamples", "Host Combs Samples"},
    {"CombScale", "Host Combs Scale"},
    {"DeviationActive", "Host Deviation Active"},
    {"DeviationTolerance", "Host Deviation Tolerance"},
    {"DeviationRange", "Host Deviation Colour Range"},
};

bool named(const char* name, const char* which)
{
    return std::strcmp(name, which) == 0;
}

osg::Vec3f normalised(osg::Vec3f v)
{
    v.normalize();
    return v;
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
    if (named(name, "CombSamples") && value < 2)
        return std::string("the value of ") + name + " must be at least 2, not " + std::to_string(value);
    return std::string();
}

std::string oxHostAnalysisModel::refusal(const char* name, float value)
{
    const std::string what = std::string("the value of ") + name;
    if (!std::isfinite(value))
        return what + " must be a finite number";
    if (named(name, "DeviationTolerance") && !(value > 0.f))
        return what + " must be a distance greater than 0, not " + QString::number(double(value)).toStdString();
    if (named(name, "DraftAngle") && (value < 0.f || value >= 90.f))
        return what + " must be an angle from 0 up to but not including 90 degrees, not " +
               QString::number(double(value)).toStdString();
    if (value < 0.f)
        return what + " must not be negative, not " + QString::number(double(value)).toStdString();
    return std::string();
}

std::string oxHostAnalysisModel::refusal(const char* name, const osg::Vec3f& value)
{
    const std::string what = std::string("the value of ") + name;
    if (!std::isfinite(value[0]) || !std::isfinite(value[1]) || !std::isfinite(value[2]))
        return what + " must have finite components";
    // Normalising must give a unit vector: the squared length must neither vanish nor overflow.
    const float length = value.length();
    if (!(length > 0.f) || !std::isfinite(length) || !std::isfinite(normalised(value).length()))
        return what + " must be a direction, not a vector of length zero";
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
    // One analysis colours at a time: the module's and the other colouring host analysis go off
    // first, so that undoing the step switches this one off before they come back.
    bool moduleOff = false;
    bool* otherOn = nullptr;
    if constexpr (std::is_same_v<T, bool>)
    {
        const bool draft = field == &oxHostAnalysisSettings::DraftActive;
        const bool deviation = field == &oxHostAnalysisSettings::DeviationActive;
        if (deviation && value && !oxRenderer::the().hasReference())
        {
            if (error)
                *error = std::string("cannot switch ") + name +
                         " on: no reference is loaded; oxHost.loadReference(path) loads one";
            return false;
        }
        moduleOff = (draft || deviation) && value && m_module.active && m_module.switchOff && m_module.active();
        if (draft && value && m_settings.DeviationActive)
            otherOn = &m_settings.DeviationActive;
        if (deviation && value && m_settings.DraftActive)
            otherOn = &m_settings.DraftActive;
    }
    oxUndoStack& stack = oxUndoStack::get(0);
    const bool macro = moduleOff || otherOn;
    if (macro)
        stack.beginMacro(QString("Set %1").arg(name));
    if (moduleOff)
        m_module.switchOff();
    if (otherOn == &m_settings.DeviationActive)
        stack.add(
            new oxHostAnalysisEdit<bool>("DeviationActive", &oxHostAnalysisSettings::DeviationActive, false, this));
    else if (otherOn)
        stack.add(new oxHostAnalysisEdit<bool>("DraftActive", &oxHostAnalysisSettings::DraftActive, false, this));
    stack.add(new oxHostAnalysisEdit<T>(name, field, stored, this));
    if (macro)
        stack.endMacro();
    return true;
}

#define OX_HOST_ANALYSIS_SETTER(Name, Type, Default)                                                                   \
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
    oxHostAnalysisSettings::publish(m_settings);
    changed(field);
    return previous;
}

template bool oxHostAnalysisModel::exchange<bool>(bool oxHostAnalysisSettings::*, const bool&);
template unsigned int oxHostAnalysisModel::exchange<unsigned int>(unsigned int oxHostAnalysisSettings::*,
                                                                  const unsigned int&);
template float oxHostAnalysisModel::exchange<float>(float oxHostAnalysisSettings::*, const float&);
template osg::Vec3f oxHostAnalysisModel::exchange<osg::Vec3f>(osg::Vec3f oxHostAnalysisSettings::*, const osg::Vec3f&);

// The signal of the row whose field this is.
template <class T> void oxHostAnalysisModel::changed(T oxHostAnalysisSettings::*field)
{
#define OX_HOST_ANALYSIS_SIGNAL(Name, Type, Default)                                                                   \
    if constexpr (std::is_same_v<T, Type>)                                                                             \
        if (field == &oxHostAnalysisSettings::Name)                                                                    \
            Q_EMIT Name##Changed(m_settings.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SIGNAL)
#undef OX_HOST_ANALYSIS_SIGNAL
}

void oxHostAnalysisModel::replace(const oxHostAnalysisSettings& settings)
{
#define OX_HOST_ANALYSIS_WRITE(Name, Type, Default) exchange(&oxHostAnalysisSettings::Name, settings.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_WRITE)
#undef OX_HOST_ANALYSIS_WRITE
}

const char* oxHostAnalysisModel::projectKey(const char* name)
{
    for (const ProjectKey& entry : projectKeys)
        if (named(name, entry.name))
            return entry.key;
    return nullptr;
}

int oxHostAnalysisModel::projectKeyCount()
{
    return int(std::size(projectKeys));
}

void oxHostAnalysisModel::save(oxMessage& msg) const
{
#define OX_HOST_ANALYSIS_SAVE(Name, Type, Default) msg.set(projectKey(#Name), boost::any(m_settings.Name), true);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SAVE)
#undef OX_HOST_ANALYSIS_SAVE
}

// A value the setter would refuse (a zero direction typed into the file) is reported and falls
// back to the default, like a value of the wrong type.
void oxHostAnalysisModel::load(const oxMessage& msg)
{
    oxHostAnalysisSettings loaded;
#define OX_HOST_ANALYSIS_LOAD(Name, Type, Default)                                                                     \
    {                                                                                                                  \
        Type value = Default;                                                                                          \
        if (msg.get(projectKey(#Name), value))                                                                         \
        {                                                                                                              \
            const std::string why = refusal(#Name, value);                                                             \
            if (why.empty() || value == static_cast<Type>(Default))                                                    \
                loaded.Name = value;                                                                                   \
            else                                                                                                       \
                std::fprintf(stderr, "oxHostAnalysisModel::load : key '%s': %s\n", projectKey(#Name), why.c_str());    \
        }                                                                                                              \
    }
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_LOAD)
#undef OX_HOST_ANALYSIS_LOAD
    loaded.DraftDirection = normalised(loaded.DraftDirection);
    loaded.CombSectionNormal = normalised(loaded.CombSectionNormal);
    replace(loaded);
}

void oxHostAnalysisModel::setModuleAnalysis(const ModuleAnalysis& module)
{
    m_module = module;
}

void oxHostAnalysisModel::moduleAnalysisSwitchedOn()
{
    if (m_settings.DraftActive)
        setDraftActive(false);
    if (m_settings.DeviationActive)
        setDeviationActive(false);
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
