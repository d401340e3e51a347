#include "oxHostValues.h"

#include "oxHostDraftScript.h"

#include "oxDraftStats.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostDraftResults.h"
#include "oxProbe.h"
#include "oxRenderer.h"

#include <cmath>

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
bp::dict draftStats(const bp::object& directionValue, const bp::object& angleValue)
{
    const oxHostAnalysisSettings settings = oxHostAnalysisModel::the()->settings();
    const osg::Vec3f direction =
        directionValue.is_none() ? settings.DraftDirection : V::toDirection(directionValue, "direction");
    double angle = settings.DraftAngle;
    if (!angleValue.is_none())
    {
        const float value = V::toFloat(angleValue, "angle");
        V::requireFinite(value, "angle");
        // The setting's own answer: draftStats(angle=a) takes what set("DraftAngle", a) takes.
        const oxSettingDomain& angles = oxHostAnalysisRows::DraftAngle.domain;
        if (!angles.contains(value))
            V::raise(PyExc_ValueError, "angle must be " + angles.text() + ", not " + oxSettingDomain::number(value));
        angle = value;
    }
    oxRenderer::the().syncScene();
    oxDraftStats stats;
    std::string error;
    if (!oxDraftStats::compute(oxRenderer::the().scene(), direction, angle, stats, error))
        V::raise(PyExc_RuntimeError, "cannot take draft statistics: " + error);
    bp::dict d;
    V::putFields(d, oxHostDraftResults::fields(), stats);
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

void oxHostDraftScript::putProbeFields(bp::dict& d, const oxProbe& p)
{
    d["draft"] = oxDraftStats::draft(p.normal, oxHostAnalysisModel::the()->settings().DraftDirection);
}

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
