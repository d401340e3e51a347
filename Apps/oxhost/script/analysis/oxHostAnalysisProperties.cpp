#include "oxHostAnalysisProperties.h"

#include "oxHostAnalysisModel.h"

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
    else
        return V::toVec3f(value, what);
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
#define OX_HOST_ANALYSIS_SCRIPT_PROPERTY(Name, Type, Default) property<Type>(#Name, &M::get##Name, &M::set##Name),
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

void oxHostAnalysisProperties::set(const std::string& name, const bp::object& value)
{
    const Property* p = find(name);
    if (!p)
        V::raise(PyExc_ValueError, "unknown host analysis property \"" + name + "\"");
    p->set(value);
}

void oxHostAnalysisProperties::define()
{
    bp::def("analysisProperties", &analysisProperties,
            "analysisProperties()\n\nThe names of the host's own analyses' thirteen properties (the draft angle's, the "
            "curvature combs' and the deviation's), which get and set take beside the module's: DraftActive, "
            "DraftDirection (stored normalised), DraftAngle (degrees, from 0 up to 90), DraftRamp, CombActive, "
            "CombEdges, CombSections, CombSectionNormal (stored normalised), CombSamples (at least 2), CombScale "
            "(0: fitted), DeviationActive (needs a reference), DeviationTolerance (model units, > 0; reads 0 until "
            "set, meaning a thousandth of the reference's size) and DeviationRange (0: the 98th percentile of "
            "|distance|).");
}
