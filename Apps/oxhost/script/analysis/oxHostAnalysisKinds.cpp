#include "oxHostValues.h"

#include "oxHostAnalysisKinds.h"

#include "oxHostAnalysisScript.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"

#include <cmath>
#include <cstdio>
#include <variant>

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
typedef std::variant<bool, unsigned int, float, osg::Vec3f> Value;

struct Setting
{
    const char* property;
    Value value;
};

// Where the camera is; the lights of a kind are placed from it.
struct Eye
{
    osg::Vec3f position, target;
    float distance;
};

struct Kind
{
    const char* name;
    std::vector<Setting> settings;
    void (*place)(const Eye& eye); // the settings that depend on the view; may be null
};

void set(const char* property, const Value& value)
{
    const bp::object python = std::visit(
        [](const auto& v) -> bp::object
        {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, osg::Vec3f>)
                return V::toTuple(v);
            else
                return bp::object(v);
        },
        value);
    bp::import("oxHost").attr("set")(property, python);
}

// Isophotes of a light from the eye: the stripes lie where the surface turns from the viewer.
void lightFromEye(const Eye& eye)
{
    set("LightDirection", eye.position - eye.target);
}

osg::Vec3f s_up(0.f, 0.f, 1.f);

// The light plane's rotation that turns its normal (local z) from +z onto d.
osg::Vec3f facing(const osg::Vec3f& d)
{
    const float degrees = 180.f / float(M_PI);
    return osg::Vec3f(std::atan2(-d[1], std::hypot(d[0], d[2])) * degrees, std::atan2(d[0], d[2]) * degrees, 0.f);
}

// Light tubes under a ceiling above the model, as in a design studio: whatever the view, the
// surfaces that face up reflect them. Half the model's size above its top, spaced by a
// twelfth of its size, they cross the model a readable number of times.
void tubesAbove(const Eye&)
{
    oxRenderer::the().syncScene();
    osg::Pnt3f min, max;
    if (!oxRenderer::the().scene().bounds(min, max))
        return;
    const osg::Vec3f centre = (min.subZero() + max.subZero()) * 0.5f, half = (max - min) * 0.5f;
    const float size = (max - min).length();
    const float top = std::fabs(half[0] * s_up[0]) + std::fabs(half[1] * s_up[1]) + std::fabs(half[2] * s_up[2]);
    set("LightLinesDistance", size / 12.f);
    set("LightPlaneOrigin", centre + s_up * (top + 0.5f * size));
    set("LightPlaneRotation", facing(s_up));
}

// The colour range fitted to the model, read off the legend; a model without curvature keeps a
// range that gives full colour at a fifth of the viewing distance.
void fittedRange(const Eye& eye)
{
    set("CurvatureDrawScale", eye.distance / 5.f);
    set("CurvatureLegendOverlayVisibility", true);
    float scale = 0.f;
    std::string error;
    if (!oxHostAnalysisScript::autoBodyRange(scale, error))
        std::fprintf(stderr, "oxhost: %s\n", error.c_str());
}

// What every kind starts from: stripes with crisp edges on diffuse shading, no light visual in
// front of the model.
const Setting common[] = {{"AnalysisActive", true},
                          {"LineMode", 1u},
                          {"StripeThickness", 0.5f},
                          {"StripeSharpness", 0.8f},
                          {"ShadingMode", 1u},
                          {"LightPlaneVisibility", false},
                          {"LightSphereVisibility", false},
                          {"LightDirectionVisibility", false},
                          {"UseViewVector", false},
                          {"CurvatureLegendOverlayVisibility", false}};

const std::vector<Kind>& kinds()
{
    static const std::vector<Kind> table = {
        {"isophotes", {{"AnalysisMode", 0u}, {"IsoLineCount", 16u}}, &lightFromEye},
        {"zebra", {{"StripesActive", true}}, nullptr},
        {"environment", {{"EnvironmentActive", true}}, nullptr},
        {"reflection", {{"AnalysisMode", 1u}, {"ReflectionMode", 1u}, {"IsoLineCount", 60u}}, &tubesAbove},
        {"rings",
         {{"AnalysisMode", 1u},
          {"ReflectionMode", 0u},
          {"IsoLineCount", 12u},
          {"ShadingMode", 2u},
          {"LightSphereRotation", osg::Vec3f(0.f, 0.f, 90.f)}},
         nullptr},
        {"highlight",
         {{"AnalysisMode", 2u},
          {"ReflectionMode", 1u},
          {"IsoLineCount", 60u},
          {"LineMode", 0u},
          {"StripeThickness", 0.15f}},
         &tubesAbove},
        {"curvature",
         {{"AnalysisMode", 3u}, {"CurvatureMode", 1u}, {"UseBands", true}, {"IsoLineCount", 16u}},
         &fittedRange},
    };
    return table;
}

const Kind* find(const std::string& name)
{
    for (const Kind& kind : kinds())
        if (name == kind.name)
            return &kind;
    return nullptr;
}

std::string unknown(const std::string& name)
{
    return "unknown analysis kind \"" + name + "\"; the kinds are " + oxHostAnalysisKinds::list();
}

// One undo step, closed however the settings end.
struct Macro
{
    explicit Macro(const std::string& text) { oxUndoStack::get(0).beginMacro(QString::fromStdString(text)); }
    ~Macro() { oxUndoStack::get(0).endMacro(); }
};

// Raises a Python exception where a setting is refused.
void apply(const Kind& kind)
{
    const oxRenderCamera camera = oxRenderer::the().hostCamera();
    const Eye eye{camera.from.subZero(), camera.at.subZero(), (camera.from - camera.at).length()};
    Macro macro(std::string("Show ") + kind.name);
    for (const Setting& setting : common)
        set(setting.property, setting.value);
    for (const Setting& setting : kind.settings)
        set(setting.property, setting.value);
    if (kind.place)
        kind.place(eye);
}

void showAnalysis(const std::string& name)
{
    const Kind* kind = find(name);
    if (!kind)
        V::raise(PyExc_ValueError, unknown(name));
    apply(*kind);
}

bp::list analysisKinds()
{
    bp::list list;
    for (const std::string& name : oxHostAnalysisKinds::names())
        list.append(name);
    return list;
}

std::string pythonError()
{
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    std::string text = "an error in Python";
    if (PyObject* str = value ? PyObject_Str(value) : nullptr)
    {
        if (const char* utf8 = PyUnicode_AsUTF8(str))
            text = utf8;
        Py_DECREF(str);
    }
    PyErr_Clear();
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return text;
}
} // namespace

std::vector<std::string> oxHostAnalysisKinds::names()
{
    std::vector<std::string> list;
    for (const Kind& kind : kinds())
        list.push_back(kind.name);
    return list;
}

std::string oxHostAnalysisKinds::list()
{
    const std::vector<std::string> all = names();
    std::string text;
    for (std::size_t i = 0; i < all.size(); ++i)
        text += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
    return text;
}

void oxHostAnalysisKinds::setUpAxis(const osg::Vec3f& up)
{
    s_up = up;
}

bool oxHostAnalysisKinds::show(const std::string& name, std::string& error)
{
    const Kind* kind = find(name);
    if (!kind)
    {
        error = unknown(name);
        return false;
    }
    try
    {
        apply(*kind);
    }
    catch (const bp::error_already_set&)
    {
        error = "cannot show the " + name + " analysis: " + pythonError();
        return false;
    }
    return true;
}

void oxHostAnalysisKinds::define()
{
    bp::def("showAnalysis", &showAnalysis, (bp::arg("kind")),
            "showAnalysis(kind)\n\nSwitches the analysis on as one undo step, with settings that read well on any "
            "model and the lights placed for the current view: 'isophotes' (of a light from the eye), 'zebra' "
            "(the host's stripes: every surface reflects a striped cylinder around the model), 'environment' "
            "(every surface reflects a studio; oxHost.set('EnvironmentMap', ...) chooses it), 'reflection' "
            "(reflection lines of light tubes on a plane above the model), 'rings' (reflections of the light "
            "sphere's rings), 'highlight' (highlight lines of the same tubes), 'curvature' (mean curvature in "
            "bands, the range fitted to the model, with the legend). The draft, if on, goes off in the same step. An "
            "unknown kind raises ValueError.");
    bp::def("analysisKinds", &analysisKinds, "analysisKinds()\n\nThe kinds showAnalysis takes.");
}
