#include "oxHostValues.h"

#include "oxHostCadScript.h"

#include "oxCadImporter.h"
#include "oxController.h"
#include "oxHostCad.h"
#include "oxHostResults.h"
#include "oxRenderer.h"

namespace bp = boost::python;

namespace
{
bp::dict modelInfo()
{
    return oxHostCadScript::toDict(oxHostCad::modelInfo());
}

double tolerance(const bp::object& value, double fallback, const char* name)
{
    if (value.is_none())
        return fallback;
    const double number = oxHostValues::toFloat(value, std::string("the tolerance ") + name);
    if (!(number >= 0))
        oxHostValues::raise(PyExc_ValueError,
                            std::string("the tolerance ") + name + " must be 0 or more, not " + std::to_string(number));
    return number;
}

bp::list continuity(const bp::object& g0, const bp::object& g1, const bp::object& g2, const bp::object& g3)
{
    oxContinuityTolerances t;
    t.g0 = tolerance(g0, t.g0, "g0");
    t.g1 = tolerance(g1, t.g1, "g1");
    t.g2 = tolerance(g2, t.g2, "g2");
    t.g3 = tolerance(g3, t.g3, "g3");
    bp::list rows;
    for (const oxEdgeContinuity& e : oxHostCad::continuity(t))
    {
        bp::dict row;
        oxHostValues::putFields(row, oxHostResults::continuity(), e);
        rows.append(row);
    }
    return rows;
}

// Both change what the view shows: the host redraws, as for any change of its render settings.
void setExactShading(bool exact)
{
    oxRenderer::the().scene().setExactShading(exact);
    oxController::updateRender(false);
}

bool exactShading()
{
    return oxRenderer::the().scene().exactShading();
}

void setShowContinuity(bool show)
{
    oxRenderer::the().setShowContinuity(show);
    oxController::updateRender(false);
}

std::string writeCadSample(const std::string& name, const std::string& path)
{
    std::string error;
    if (!oxCadImporter::writeSample(name, path, error))
        oxHostValues::raise(PyExc_RuntimeError, error);
    return path;
}
} // namespace

bp::dict oxHostCadScript::toDict(const oxHostCad::ModelInfo& info)
{
    bp::dict d;
    oxHostValues::putFields(d, oxHostResults::model(), info);
    d["bounds"] = info.hasBounds ? bp::object(bp::make_tuple(oxHostValues::toTuple(info.min.subZero()),
                                                             oxHostValues::toTuple(info.max.subZero())))
                                 : bp::object();
    bp::list sources;
    for (const std::string& s : info.sources)
        sources.append(s);
    d["source"] = sources;
    return d;
}

void oxHostCadScript::define()
{
    using bp::arg;
    bp::def("modelInfo", &modelInfo,
            "modelInfo()\n\nWhat the model holds, as a dict: triangles, vertices, meshes, faces (B-rep faces; 0 for "
            "meshes), edges (edges shared by two B-rep faces), freeEdges (edges of one face only, left after "
            "sewing), lostEntities (entities of damaged CAD files that could not be read), lostTriangles (triangles of "
            "damaged "
            "mesh files that could not be read: a corner that is no finite number, a missing vertex), bounds ((min "
            "corner, max "
            "corner), or None for an empty model) and source (the files read "
            "whose models are still in the scene).");
    bp::def(
        "continuity", &continuity,
        (arg("g0") = bp::object(), arg("g1") = bp::object(), arg("g2") = bp::object(), arg("g3") = bp::object()),
        "continuity(g0=None, g1=None, g2=None, g3=None)\n\nHow the faces of the CAD model meet along each shared edge, "
        "from samples of both faces along it (16 per edge, more on long ones): a list of dicts with edge, faces "
        "(two face indices), length, g0 (largest gap), g1 (largest angle between the normals, degrees), g2 "
        "(largest relative mismatch of the normal curvatures across the edge, |k1 - k2| / (|k1| + |k2|)), g2abs "
        "(largest |1/R1 - 1/R2|), g3 (largest relative mismatch of the normal curvature's rate of change across "
        "the edge, |k1' - k2'| / (|k1'| + |k2'|)) and class: 'open' when g0 exceeds the G0 tolerance, else 'G0' "
        "when g1 exceeds the G1 tolerance, else 'G1' when g2 exceeds the G2 tolerance, else 'G2' when g3 exceeds "
        "the G3 tolerance, else 'G3'. Tolerances: g0 in model units (default 0.01, or 1e-5 of the model's size "
        "if larger), g1 in degrees (0.5), g2 and g3 relative (0.05 each). Seams and degenerate edges are left out; a "
        "model of meshes only gives an empty list.");
    bp::def("setExactShading", &setExactShading, (arg("exact")),
            "setExactShading(exact)\n\nOn (the default), CAD faces are shaded per pixel from their exact surface; "
            "off, from the vertex data interpolated over the triangles, as meshes are.");
    bp::def("exactShading", &exactShading, "exactShading()\n\nWhether CAD faces are shaded from their exact surface.");
    bp::def("setShowContinuity", &setShowContinuity, (arg("show")),
            "setShowContinuity(show)\n\nDraws the shared edges of CAD faces over rendered images, coloured by their "
            "continuity class with the default tolerances: G3 blue, G2 green, G1 yellow, G0 red, open magenta.");
    bp::def("writeCadSample", &writeCadSample, (arg("name"), arg("path")),
            "writeCadSample(name, path)\n\nWrites a solid made with Open CASCADE as STEP, IGES or B-rep (by the "
            "suffix): 'sphere', 'cylinder', 'torus', 'filletedbox', 'joins' (a plane strip meeting a bend with G0, "
            "G1 and G2 continuity), 'panel' (a wavy sheet of 40 B-spline faces) or 'draftbox' (a box whose four sides "
            "lean inwards by 3 degrees towards +z). Returns the path.");
}
