// The panel's script functions: the module's properties, signals, contexts, visuals and drags
// as the host's user interface sees them.
#include "oxHostValues.h"

#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisProperties.h"

#include "InteractionManager.h"
#include "OSGTransform3D.h"
#include "oxSurfaceAnalysisModelAccess.h"
#include "oxSurfaceAnalysisPanel.h"
#include "oxSurfaceAnalysisSettings.h"

#include <algorithm>
#include <functional>

namespace bp = boost::python;
typedef oxHostValues V;
typedef oxSurfaceAnalysisModel M;
typedef oxSurfaceAnalysisModelAccess Access;

namespace
{
// One property: its getter's value, and its setter fed from a script value.
struct Property
{
    const char* name;
    std::function<boost::any()> get;
    std::function<void(const bp::object&)> set;
};

template <typename T> T fromScript(const bp::object& value, const std::string& what);
template <> bool fromScript<bool>(const bp::object& value, const std::string& what)
{
    return V::toBool(value, what);
}
template <> unsigned int fromScript<unsigned int>(const bp::object& value, const std::string& what)
{
    return V::toUnsigned(value, what);
}
template <> float fromScript<float>(const bp::object& value, const std::string& what)
{
    return V::toFloat(value, what);
}
template <> osg::Vec3f fromScript<osg::Vec3f>(const bp::object& value, const std::string& what)
{
    return V::toVec3f(value, what);
}

template <typename T>
Property property(const char* name, T (M::*getter)() const, void (M::*setter)(oxSurfaceAnalysisArg<T>))
{
    return Property{name, [getter] { return boost::any((M::the()->*getter)()); },
                    [name, setter](const bp::object& value)
                    {
                        const T converted = fromScript<T>(value, std::string("the value of ") + name);
                        (M::the()->*setter)(converted);
                    }};
}

const std::vector<Property>& properties()
{
#define OX_SA_SCRIPT_PROPERTY(Kind, Name, Type, Field, command) property<Type>(#Name, &M::get##Name, &M::set##Name),
    static const std::vector<Property> table = {OX_SA_PROPERTIES(OX_SA_SCRIPT_PROPERTY)};
#undef OX_SA_SCRIPT_PROPERTY
    return table;
}

const Property& findProperty(const std::string& name)
{
    for (const Property& p : properties())
        if (name == p.name)
            return p;
    std::string names, hostNames;
    for (const Property& p : properties())
        names += (names.empty() ? "" : ", ") + std::string(p.name);
    for (const std::string& host : oxHostAnalysisProperties::names())
        hostNames += (hostNames.empty() ? "" : ", ") + host;
    V::raise(PyExc_ValueError, "unknown property \"" + name + "\"; the properties are: " + names +
                                   "; the host analysis properties are: " + hostNames);
}

bp::object get(const std::string& name)
{
    if (oxHostAnalysisProperties::has(name))
        return oxHostAnalysisProperties::get(name);
    const Property& p = findProperty(name);
    return V::toPython(p.get(), name);
}

void set(const std::string& name, const bp::object& value)
{
    if (oxHostAnalysisProperties::has(name))
        return oxHostAnalysisProperties::set(name, value);
    const Property& p = findProperty(name);
    // The module's analysis switched on takes a colouring host analysis off in the same undo step.
    if (name == "AnalysisActive" && value.ptr() == Py_True && oxHostAnalysisModel::the()->colouring())
        return oxSurfaceAnalysisPanel::switchModuleAnalysisOn([&] { p.set(value); });
    p.set(value);
}

bp::list propertyNames()
{
    bp::list names;
    for (const Property& p : properties())
        names.append(p.name);
    return names;
}

bp::list signals()
{
    bp::list heard;
    if (oxSurfaceAnalysisPanel* panel = oxSurfaceAnalysisPanel::instance())
        for (const auto& signal : panel->takeSignals())
            heard.append(bp::make_tuple(signal.first, V::toPython(signal.second, signal.first)));
    return heard;
}

// The three lights with their manipulators, by the names scripts use.
struct Light
{
    const char* name;
    oxk::interaction::AbstractInteractionContext* context;
    oxk::manipulator::UniversalTransformManipulator2* manipulator;
};

std::vector<Light> lights()
{
    return {{"lightPlane", &Access::lightPlaneContext(), &Access::lightPlaneManipulator()},
            {"lightDirection", &Access::lightDirectionContext(), &Access::lightDirectionManipulator()},
            {"lightSphere", &Access::lightSphereContext(), &Access::lightSphereManipulator()}};
}

bool isAdded(oxk::interaction::AbstractInteractionContext* context)
{
    const auto added = oxk::interaction::InteractionManager::getInstance()->getContexts();
    return std::find(added.begin(), added.end(), context) != added.end();
}

bp::list contexts()
{
    bp::list names;
    for (oxk::interaction::AbstractInteractionContext* context :
         oxk::interaction::InteractionManager::getInstance()->getContexts())
    {
        std::string name = "other";
        for (const Light& light : lights())
            if (context == light.context)
                name = light.name;
        if (context == &Access::normalPickContext())
            name = "normalPick";
        names.append(name);
    }
    return names;
}

bp::dict placement(const osg::NodePtr& node, bool visible)
{
    bp::dict d;
    d["visible"] = visible;
    const osg::Transform3DPtr core = osg::Transform3DPtr::dcast(node->getCore());
    if (core == osg::NullFC)
        return d;
    const osg::Quaternion& q = core->getRotation();
    d["translation"] = V::toTuple(core->getTranslation());
    d["euler"] = V::toTuple(core->getEulerRotation());
    d["quaternion"] = bp::make_tuple(double(q.x()), double(q.y()), double(q.z()), double(q.w()));
    d["scale"] = V::toTuple(core->getScale());
    return d;
}

// The rings of the sphere are line loops (the axis beside them is a plain line).
bool isRing(const osg::NodePtr& node)
{
    const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getCore());
    if (geometry != osg::NullFC && geometry->getTypes() != osg::NullFC && !geometry->getTypes()->empty())
        return geometry->getTypes()->getValue(0) == osg::GL_LINE_LOOP_;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        if (isRing(node->getChild(i)))
            return true;
    return false;
}

// What is drawn, counted in the scene rather than taken from the visuals' settings.
bp::dict visuals()
{
    oxSALightPlane& plane = Access::lightPlane();
    oxSALightSphere& sphere = Access::lightSphere();
    oxSALightDirectionHandle& direction = Access::lightDirectionHandle();

    bp::dict planeInfo = placement(plane.getTransformNode(), plane.isVisible());
    const osg::GeometryPtr lines = plane.getLinesGeometry();
    osg::UInt32 lineCount = 0;
    if (lines != osg::NullFC)
        lineCount = lines->getIndices() != osg::NullFC
                        ? lines->getIndices()->size() / 2
                        : (lines->getPositions() != osg::NullFC ? lines->getPositions()->size() / 2 : 0);
    planeInfo["lineCount"] = lineCount;

    bp::dict sphereInfo = placement(sphere.getTransformNode(), sphere.isVisible());
    const osg::NodePtr rings = sphere.getRingsNode();
    osg::UInt32 ringCount = 0;
    for (osg::UInt32 i = 0; rings != osg::NullFC && i < rings->getNChildren(); ++i)
        ringCount += isRing(rings->getChild(i)) ? 1 : 0;
    sphereInfo["ringCount"] = ringCount;

    bp::dict all;
    all["lightPlane"] = planeInfo;
    all["lightSphere"] = sphereInfo;
    all["lightDirection"] = placement(direction.getTransformNode(), direction.isVisible());
    return all;
}

// A manipulator can be dragged only while it is shown, that is while its context is added.
bool drag(const std::string& name, const bp::object& steps)
{
    const std::vector<Light> all = lights();
    auto light = std::find_if(all.begin(), all.end(), [&](const Light& l) { return name == l.name; });
    if (light == all.end())
        V::raise(PyExc_ValueError,
                 "unknown light \"" + name + "\"; the lights are lightPlane, lightDirection and lightSphere");
    if (!isAdded(light->context))
        V::raise(PyExc_RuntimeError, "cannot drag " + name +
                                         ": its manipulator is not shown (the analysis must be on, in a mode that "
                                         "shows this light, with the light visible)");
    std::vector<oxk::manipulator::UniversalTransformManipulator2::DragStep> path;
    for (bp::ssize_t i = 0; i < bp::len(steps); ++i)
    {
        const bp::object step = steps[i];
        const std::string what = "drag step " + std::to_string(i);
        if (bp::len(step) != 2)
            V::raise(PyExc_ValueError, what + " must be a pair (translation, euler)");
        path.emplace_back(V::toVec3f(step[0], "the translation of " + what),
                          V::toVec3f(step[1], "the euler of " + what));
    }
    return light->manipulator->drag(path);
}
} // namespace

void oxSurfaceAnalysisPanel::defineScriptFunctions()
{
    using bp::arg;
    using bp::def;
    def("get", &get, (arg("name")),
        "get(name)\n\nThe value of a surface analysis property, as the host's panel reads it (Vec3f as a "
        "3-tuple). See properties() and analysisProperties().");
    def("set", &set, (arg("name"), arg("value")),
        "set(name, value)\n\nSets a surface analysis property, or one of the host analyses' (see "
        "analysisProperties()), as the host's panel does: one undoable edit. The module's analysis and the draft "
        "colour the surface in turn: switching one on switches the other off in the same edit.");
    def("properties", &propertyNames, "properties()\n\nThe names of the 33 surface analysis properties.");
    def("signals", &signals,
        "signals()\n\nThe surface analysis module's signals since the last call, oldest first, as (signal name, "
        "value) pairs.");
    def("contexts", &contexts,
        "contexts()\n\nThe added interaction contexts, in the interaction manager's order: \"lightPlane\", "
        "\"lightDirection\", \"lightSphere\", \"normalPick\".");
    def("visuals", &visuals,
        "visuals()\n\nThe light visuals as drawn: for \"lightPlane\", \"lightSphere\" and \"lightDirection\", a dict "
        "with visible, translation, euler, quaternion (x, y, z, w) and scale, and lineCount for the plane, "
        "ringCount for the sphere.");
    def("drag", &drag, (arg("name"), arg("steps")),
        "drag(name, steps)\n\nDrags a light's manipulator (\"lightPlane\", \"lightDirection\", \"lightSphere\") "
        "through the steps, each a pair (translation, euler), then lets go. Raises RuntimeError when that "
        "manipulator is not shown.");
}
