#include "oxHostAnalysisProperties.h"

#include "oxHostAnalysisModel.h"

#include <cmath>
#include <functional>

namespace bp = boost::python;
typedef oxHostValues V;
typedef oxHostAnalysisModel M;

namespace
{
template <typename T> T fromScript(const bp::object& value, const std::string& what)
{
    if constexpr (std::is_same_v<T, bool>)
        return V::toBool(value, what);
    else if constexpr (std::is_same_v<T, unsigned int>)
        return V::toUnsigned(value, what);
    else if constexpr (std::is_same_v<T, float>)
        return V::toFloat(value, what);
    else if constexpr (std::is_same_v<T, std::string>)
    {
        if (!PyUnicode_Check(value.ptr()))
            V::raise(PyExc_TypeError, what + " must be a text");
        return bp::extract<std::string>(value)();
    }
    else
        return V::toVec3f(value, what);
}

// A number outside its property's domain is refused with the domain, before the conversion to
// the type that carries it would refuse it with that type's range (-2 for a count, 1e39 for an
// angle). NaN and the infinities go on to the conversion, which says they are not finite.
void requireInDomain(const bp::object& value, const char* name)
{
    const oxHostAnalysisRow* row = oxHostAnalysisRows::find(name);
    PyObject* p = value.ptr();
    if (!row || !row->domain.numeric || PyBool_Check(p) || !(PyLong_Check(p) || PyFloat_Check(p)))
        return;
    double d = PyFloat_AsDouble(p);
    if (d == -1.0 && PyErr_Occurred())
    {
        // An int beyond any double.
        PyErr_Clear();
        d = PyObject_RichCompareBool(p, bp::object(0).ptr(), Py_LT) == 1 ? -HUGE_VAL : HUGE_VAL;
    }
    else if (!std::isfinite(d))
        return;
    if (row->domain.contains(d))
        return;
    const std::string shown = bp::extract<std::string>(bp::str(value));
    V::raise(PyExc_ValueError,
             std::string("the value of ") + name + " must be " + row->domain.text() + ", not " + shown);
}

struct Property
{
    const char* name;
    std::function<bp::object()> get;
    std::function<void(const bp::object&)> set;
};

template <typename T>
Property property(const char* name, T (M::*getter)() const, bool (M::*setter)(M::Arg<T>, std::string*))
{
    return Property{name, [getter, name] { return V::toPython((M::the()->*getter)(), name); },
                    [name, setter](const bp::object& value)
                    {
                        requireInDomain(value, name);
                        const T converted = fromScript<T>(value, std::string("the value of ") + name);
                        std::string error;
                        // A fine value refused all the same is refused for the state it meets (the
                        // deviation without a reference).
                        if (!(M::the()->*setter)(converted, &error))
                            V::raise(M::refusal(name, converted).empty() ? PyExc_RuntimeError : PyExc_ValueError,
                                     error);
                    }};
}

const std::vector<Property>& properties()
{
#define OX_HOST_ANALYSIS_SCRIPT_PROPERTY(Name, Type, ...) property<Type>(#Name, &M::get##Name, &M::set##Name),
    static const std::vector<Property> table = {OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SCRIPT_PROPERTY)};
#undef OX_HOST_ANALYSIS_SCRIPT_PROPERTY
    return table;
}

const Property* find(const std::string& name)
{
    for (const Property& p : properties())
        if (name == p.name)
            return &p;
    return nullptr;
}

bp::list colourMaps()
{
    bp::list list;
    for (const char* name : oxColourMapNames)
        list.append(name);
    return list;
}

bp::list analysisProperties()
{
    bp::list list;
    for (const std::string& name : oxHostAnalysisProperties::names())
        list.append(name);
    return list;
}
} // namespace

const std::vector<std::string>& oxHostAnalysisProperties::names()
{
    static const std::vector<std::string> list = []
    {
        std::vector<std::string> all;
        for (const Property& p : properties())
            all.push_back(p.name);
        return all;
    }();
    return list;
}

bool oxHostAnalysisProperties::has(const std::string& name)
{
    return find(name) != nullptr;
}

bp::object oxHostAnalysisProperties::get(const std::string& name)
{
    const Property* p = find(name);
    if (!p)
        V::raise(PyExc_ValueError, "unknown host analysis property \"" + name + "\"");
    return p->get();
}

namespace
{
// ColourMap takes a map's name as well as its number.
bp::object byName(const std::string& property, const bp::object& value)
{
    if (property != oxHostAnalysisRows::ColourMap.name || !PyUnicode_Check(value.ptr()))
        return value;
    const std::string name = bp::extract<std::string>(value);
    const int index = oxHostAnalysisRows::colourMap(name);
    if (index >= 0)
        return bp::object(index);
    std::string names;
    for (const char* known : oxColourMapNames)
        names += (names.empty() ? "" : ", ") + std::string(known);
    V::raise(PyExc_ValueError, "the value of ColourMap must be a colour map's name (" + names + ") or its number " +
                                   oxHostAnalysisRows::ColourMap.domain.text() + ", not \"" + name + "\"");
}
} // namespace

void oxHostAnalysisProperties::set(const std::string& name, const bp::object& value)
{
    const Property* p = find(name);
    if (!p)
        V::raise(PyExc_ValueError, "unknown host analysis property \"" + name + "\"");
    p->set(byName(name, value));
}

namespace
{
// The rooms' notes, then the colour maps' (which belong to every colouring by a value).
std::vector<oxHostAnalysisProperties::Description>& descriptions()
{
    static std::vector<oxHostAnalysisProperties::Description> list;
    return list;
}

const oxHostAnalysisProperties::Description& colourMapNotes()
{
    static const oxHostAnalysisProperties::Description notes{
        "the colour maps'",
        {{"ColourMap", "numbered as oxHost.colourMaps() names them; set also takes the name"},
         {"ColourMapSteps", "0: smooth"},
         {"CurvatureRangeLow", "with CurvatureRangeHigh above it, the curvature's colours span them"}}};
    return notes;
}

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items)
{
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

// The properties with what each takes, from their rows and the rooms' notes.
std::string propertiesHelp()
{
    std::vector<oxHostAnalysisProperties::Description> all = descriptions();
    all.push_back(colourMapNotes());
    std::vector<std::string> whose;
    for (const oxHostAnalysisProperties::Description& d : all)
        whose.push_back(d.whose);
    std::string help = "analysisProperties()\n\nThe names of the host's own analyses' properties" +
                       (whose.empty() ? std::string() : " (" + listed(whose) + ")") +
                       ", which get and set take beside the module's:";
    for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
    {
        const oxHostAnalysisRow& row = oxHostAnalysisRows::at(i);
        std::string what = row.domain.numeric ? row.domain.text() : std::string();
        for (const oxHostAnalysisProperties::Description& d : all)
            for (const auto& note : d.notes)
                if (note.first == row.name)
                    what += (what.empty() ? "" : "; ") + note.second;
        help += std::string(i ? ", " : " ") + row.name + (what.empty() ? "" : " (" + what + ")");
    }
    return help + ".";
}
} // namespace

void oxHostAnalysisProperties::describe(Description description)
{
    descriptions().push_back(std::move(description));
}

void oxHostAnalysisProperties::define()
{
    bp::def("analysisProperties", &analysisProperties, propertiesHelp().c_str());
    bp::def("colourMaps", &colourMaps,
            "colourMaps()\n\nThe colour maps' names in the order ColourMap numbers them; classic is each "
            "analysis's own colours.");
}
