#include "oxHostValues.h"

#include "oxHostDraftScript.h"

#include "oxDraftStats.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderer.h"

#include <cmath>

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
bp::dict draftStats(const bp::object& directionValue, const bp::object& angleValue)
{
    const oxHostAnalysisSettings settings = oxHostAnalysisSettings::current();
    osg::Vec3f direction = settings.DraftDirection;
    if (!directionValue.is_none())
    {
        direction = V::toVec3f(directionValue, "direction");
        V::requireFinite(direction, "direction");
        if (!(direction.length() > 0.f))
            V::raise(PyExc_ValueError, "direction must not be zero");
    }
    double angle = settings.DraftAngle;
    if (!angleValue.is_none())
    {
        angle = V::toFloat(angleValue, "angle");
        V::requireFinite(float(angle), "angle");
        if (!(angle >= 0 && angle <= 90))
            V::raise(PyExc_ValueError, "angle must lie between 0 and 90 degrees, not " + std::to_string(angle));
    }
    oxRenderer::the().syncScene();
    oxDraftStats stats;
    std::string error;
    if (!oxDraftStats::compute(oxRenderer::the().scene(), direction, angle, stats, error))
        V::raise(PyExc_RuntimeError, "cannot take draft statistics: " + error);
    bp::dict d;
    d["positive"] = stats.positive;
    d["negative"] = stats.negative;
    d["insufficient"] = stats.insufficient;
    d["min"] = stats.min;
    d["max"] = stats.max;
    bp::list faces;
    for (const oxDraftStats::Face& f : stats.faces)
    {
        bp::dict face;
        face["face"] = f.face;
        face["min"] = f.min;
        face["max"] = f.max;
        face["class"] = oxDraftStats::className(f.draftClass);
        faces.append(face);
    }
    d["faces"] = faces;
    return d;
}
} // namespace

void oxHostDraftScript::define()
{
    using bp::arg;
    bp::def("draftStats", &draftStats, (arg("direction") = bp::object(), arg("angle") = bp::object()),
            "draftStats(direction=None, angle=None)\n\nThe draft angle over the whole model, asin(n . d) in degrees "
            "for the outward normal n and the pull direction d (DraftDirection and DraftAngle unless given): "
            "positive, negative and insufficient (area fractions with draft >= angle, <= -angle and between, "
            "summing to 1), min and max (degrees), and faces: for CAD input one dict per face with face (as "
            "probe numbers it), min, max (degrees, from the exact surface) and class ('positive', 'negative', "
            "'insufficient', or 'mixed' for a face of more than one class); an empty list for meshes.");
}
