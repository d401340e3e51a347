#include "oxHostValues.h"

#include "oxHostCheck.h"
#include "oxHostCheckScript.h"

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
bp::dict check(const bp::object& profileValue)
{
    std::string name;
    if (!profileValue.is_none())
    {
        bp::extract<std::string> text(profileValue);
        if (!text.check())
            V::raise(PyExc_TypeError, "check: profile must be a name (default, class-a) or a JSON file's path");
        name = text();
    }
    oxCheckProfile profile;
    std::string error;
    if (!oxCheckProfile::find(name, profile, error))
        V::raise(PyExc_ValueError, error);
    const oxCheckResult result = oxHostCheck::scene(profile);
    bp::dict d;
    V::putFields(d, oxHostCheck::resultFields(), result);
    bp::list findings;
    for (const oxCheckFinding& f : result.findings)
    {
        bp::dict finding;
        V::putFields(finding, oxHostCheck::findingFields(), f);
        findings.append(finding);
    }
    d["findings"] = findings;
    bp::dict counts;
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        counts[c.code] = result.counts[size_t(c.criterion)];
    d["counts"] = counts;
    return d;
}
} // namespace

void oxHostCheckScript::define()
{
    bp::def("check", &check, (bp::arg("profile") = bp::object()),
            "check(profile=None)\n\nThe data-quality criteria on the CAD parts and meshes in the scene, with the "
            "thresholds "
            "and severities of profile: 'default', 'class-a' or a JSON profile file's path (None: 'default'). "
            "Returns a dict: 'source', 'profile', 'verdict' ('pass', 'warning', 'fail' or 'error'), 'reason' (why "
            "an error), 'findings' (dicts of code, severity, value, threshold, entity, index, x, y, z, message; "
            "at most the profile's findingsPerCriterion per criterion and part) and 'counts' (findings per "
            "criterion code before that cap). Faces and edges are numbered as continuity() numbers them; a mesh's "
            "triangles follow those of the meshes before it, its edge 3t + k runs from corner k of triangle t; a "
            "model with neither gets 'error'. A profile that cannot be read raises ValueError naming file and line.");
}
