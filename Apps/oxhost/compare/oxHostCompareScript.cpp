#include "oxHostValues.h"

#include "oxHostCompare.h"
#include "oxHostCompareScript.h"

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
bp::list faces(const std::vector<oxFaceChange>& changes)
{
    bp::list out;
    for (const oxFaceChange& f : changes)
    {
        bp::dict face;
        V::putFields(face, oxHostCompare::faceFields(), f);
        bp::list matches;
        for (size_t m : f.matches)
            matches.append(m);
        face["matches"] = matches;
        out.append(face);
    }
    return out;
}

bp::dict compareReleases(const std::string& oldPath, const std::string& newPath, const bp::object& tolerance,
                         const bp::object& align)
{
    oxCompareOptions options;
    if (!tolerance.is_none())
    {
        const float t = V::toFloat(tolerance, "compareReleases: tolerance");
        if (!std::isfinite(t) || !(t > 0))
            V::raise(PyExc_ValueError, "compareReleases: tolerance must be a number more than 0");
        options.tolerance = t;
    }
    options.align = V::toBool(align, "compareReleases: align");
    oxHostComparison comparison;
    std::string error;
    if (!oxHostCompare::files(oldPath, newPath, options, comparison, error))
        V::raise(PyExc_IOError, error);
    bp::dict d;
    V::putFields(d, oxHostCompare::summaryFields(), comparison);
    d["old_faces"] = faces(comparison.result.oldFaces);
    d["new_faces"] = faces(comparison.result.newFaces);
    return d;
}
} // namespace

void oxHostCompareScript::define()
{
    bp::def("compareReleases", &compareReleases,
            (bp::arg("old"), bp::arg("new"), bp::arg("tolerance") = bp::object(), bp::arg("align") = false),
            "compareReleases(old, new, tolerance=None, align=False)\n\nTwo releases of a part, files read as "
            "load() reads them, compared face by face. tolerance is the largest distance of an unchanged face "
            "(None: 5e-4 of the old part's bounding box diagonal); align best-fits the new part onto the old one "
            "first. Returns a dict: 'old', 'new', 'verdict' ('unchanged' or 'changed'), 'tolerance', 'hausdorff', "
            "'new_to_old', 'old_to_new', the counts 'unchanged', 'modified', 'added' (of the new faces) and "
            "'removed' (of the old ones), 'aligned', and 'old_faces' and 'new_faces': dicts of face, class, "
            "largest, area, x, y, z (the centroid) and matches (faces of the other part). A file that cannot be "
            "read raises IOError naming it.");
}
