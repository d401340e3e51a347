#include "oxHostValues.h"

#include "oxHostCombScript.h"

#include "oxCurvatureComb.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"

#include <cmath>
#include <string>

namespace bp = boost::python;

namespace
{
bp::tuple toTuple(const osg::Pnt3f& p)
{
    return oxHostValues::toTuple(p.subZero());
}

bp::dict toDict(const oxComb& comb)
{
    bp::list points, curvature, normals;
    for (size_t i = 0; i < comb.points.size(); ++i)
    {
        points.append(toTuple(comb.points[i]));
        curvature.append(comb.curvature[i]);
        normals.append(oxHostValues::toTuple(comb.normals[i]));
    }
    bp::dict d;
    d["points"] = points;
    d["curvature"] = curvature;
    d["normals"] = normals;
    d["max"] = comb.max;
    return d;
}

// The samples of a comb: CombSamples's domain.
int samplesOf(const bp::object& value, const char* function)
{
    const unsigned samples = oxHostValues::toUnsigned(value, std::string(function) + ": samples");
    const oxSettingDomain& domain = oxHostAnalysisRows::CombSamples.domain;
    if (!domain.contains(samples))
        oxHostValues::raise(PyExc_ValueError, std::string(function) + ": samples must be " + domain.text() + ", not " +
                                                  std::to_string(samples));
    return int(samples);
}

// The scene as of now; a ValueError when there is nothing to cut or measure.
const oxRenderScene& modelScene(const char* function)
{
    oxRenderer::the().syncScene();
    const oxRenderScene& scene = oxRenderer::the().scene();
    if (scene.triangleCount() == 0)
        oxHostValues::raise(PyExc_ValueError,
                            std::string(function) + ": there is no model; load a mesh or a CAD file first");
    return scene;
}

bp::dict edgeComb(const bp::object& edgeValue, const bp::object& samplesValue)
{
    if (PyBool_Check(edgeValue.ptr()) || !PyLong_Check(edgeValue.ptr()))
        oxHostValues::raise(PyExc_TypeError, "edgeComb: edge must be a whole number, an index of continuity()'s table");
    const long long edge = PyLong_AsLongLong(edgeValue.ptr());
    if (edge == -1 && PyErr_Occurred())
        bp::throw_error_already_set();
    const int samples = samplesOf(samplesValue, "edgeComb");
    const oxRenderScene& scene = modelScene("edgeComb");
    const size_t count = oxCurvatureComb::sharedEdgeCount(scene);
    oxComb comb;
    if (edge < 0 || size_t(edge) >= count || !oxCurvatureComb::sharedEdge(scene, size_t(edge), samples, comb))
        oxHostValues::raise(PyExc_IndexError, "edgeComb: there is no edge " + std::to_string(edge) +
                                                  "; the model has " + std::to_string(count) +
                                                  " shared CAD edges, numbered from 0 as continuity() lists them");
    return toDict(comb);
}

bp::list sectionComb(const bp::object& originValue, const bp::object& normalValue, const bp::object& samplesValue)
{
    const osg::Vec3f origin = oxHostValues::toVec3f(originValue, "sectionComb: origin");
    oxHostValues::requireFinite(origin, "sectionComb: origin");
    const osg::Vec3f normalValues = oxHostValues::toVec3f(normalValue, "sectionComb: normal");
    oxHostValues::requireFinite(normalValues, "sectionComb: normal");
    oxCurvatureComb::Vec normal;
    if (!oxRenderMath::direction(normalValues, normal.data()))
        oxHostValues::raise(PyExc_ValueError, "sectionComb: normal must be a direction, not the zero vector");
    const int samples = samplesOf(samplesValue, "sectionComb");
    const oxRenderScene& scene = modelScene("sectionComb");
    bp::list result;
    for (const oxComb& comb : oxCurvatureComb::sections(scene, {origin[0], origin[1], origin[2]}, normal, samples))
    {
        bp::dict d = toDict(comb);
        bp::list faces;
        for (size_t face : comb.faces)
            faces.append(face);
        d["faces"] = faces;
        result.append(d);
    }
    return result;
}
} // namespace

void oxHostCombScript::define()
{
    using bp::arg;
    bp::def("edgeComb", &edgeComb, (arg("edge"), arg("samples") = 64),
            "edgeComb(edge, samples=64)\n\nThe curvature comb of a shared CAD edge (its index in continuity()'s "
            "table), from the edge curve's own curvature at samples points evenly spaced by its parameter, both "
            "ends included: a dict with points, curvature (per sample, 0 or more), normals (the unit tooth "
            "directions, away from the centre of curvature) and max. IndexError for an edge that does not exist.");
    bp::def("sectionComb", &sectionComb, (arg("origin"), arg("normal"), arg("samples") = 64),
            "sectionComb(origin, normal, samples=64)\n\nThe curvature combs of the model's section by the plane "
            "through origin across normal: one dict per section curve, as edgeComb's, with samples points evenly "
            "spaced along it and faces, the CAD faces it crosses in order (empty for meshes). On CAD faces the "
            "curvature is the exact section curve's; on meshes it is fitted to the section polyline.");
}
