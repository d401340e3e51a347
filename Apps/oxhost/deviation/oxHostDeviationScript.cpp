#include "oxHostValues.h"

#include "oxHostDeviationScript.h"

#include "oxHostCadScript.h"
#include "oxCurvatureStats.h"
#include "oxHostDeviation.h"
#include "oxHostDeviationResults.h"
#include "oxProbe.h"
#include "oxRenderer.h"

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
std::string loadReference(const std::string& path, const bp::object& deflection, const bp::object& angle)
{
    const oxCadOptions cad = V::toCadOptions(deflection, angle);
    std::string error;
    if (!oxHostDeviation::loadReference(path, error, cad))
        V::raise(PyExc_RuntimeError, error);
    return path;
}

bp::dict referenceInfo()
{
    return oxHostCadScript::toDict(oxHostDeviation::referenceInfo());
}

bp::list toList(const std::vector<double>& values)
{
    bp::list list;
    for (double v : values)
        list.append(v);
    return list;
}

bp::dict deviationStats(int bins)
{
    // The argument first: a wrong one is wrong with or without a reference.
    if (bins < 1 || bins > oxCurvatureStats::MaxBins)
        V::raise(PyExc_ValueError, oxCurvatureStats::binsRefusal(bins));
    oxDeviationStats s;
    std::string error;
    if (!oxHostDeviation::stats(bins, s, error))
        V::raise(PyExc_RuntimeError, error);
    bp::dict d;
    V::putFields(d, oxHostDeviationResults::fields(), s);
    d["hist"] = toList(s.hist);
    d["edges"] = toList(s.edges);
    return d;
}

std::string exportDeviation(const std::string& path)
{
    std::string error;
    if (!oxHostDeviation::exportDeviation(path, error))
        V::raise(PyExc_RuntimeError, error);
    return path;
}

bp::tuple toTuple(const osg::Vec3f& v)
{
    return bp::make_tuple(double(v[0]), double(v[1]), double(v[2]));
}

bp::list freeMotions(const std::vector<oxAlignment::FreeMotion>& motions)
{
    bp::list list;
    for (const oxAlignment::FreeMotion& m : motions)
    {
        bp::dict d;
        d["kind"] = m.rotation ? "rotation" : "translation";
        d["axis"] = toTuple(m.axis);
        if (m.rotation)
        {
            d["point"] = toTuple(m.point.subZero());
            d["pitch"] = double(m.pitch);
        }
        list.append(d);
    }
    return list;
}

bp::dict alignToReference(int iterations)
{
    oxAlignment::Result fit;
    std::string error;
    if (!oxHostDeviation::alignToReference(iterations, fit, error))
        V::raise(PyExc_RuntimeError, error);
    bp::list matrix;
    for (int row = 0; row < 4; ++row)
    {
        bp::list values;
        for (int column = 0; column < 4; ++column)
            values.append(double(fit.matrix.element(row, column)));
        matrix.append(values);
    }
    bp::dict d;
    d["matrix"] = matrix;
    d["rmsBefore"] = fit.rmsBefore;
    d["rmsAfter"] = fit.rmsAfter;
    d["iterations"] = fit.iterations;
    d["moved"] = fit.moved;
    d["free"] = freeMotions(fit.free);
    return d;
}
} // namespace

void oxHostDeviationScript::putProbeFields(bp::dict& d, const oxProbe& p)
{
    const oxRenderScene& s = oxRenderer::the().scene();
    // The distance to the reference and its closest point, interpolated over the hit's triangle.
    d["deviation"] = bp::object();
    d["referencePoint"] = bp::object();
    const std::shared_ptr<const oxDeviationField> field = oxRenderer::the().deviation();
    const osg::UInt32* corner = s.mesh(p.mesh).indices.data() + 3 * size_t(p.triangle);
    if (field && p.mesh < field->distance.size() && p.mesh < field->closest.size() &&
        field->distance[p.mesh].size() == s.mesh(p.mesh).vertexCount() &&
        field->closest[p.mesh].size() == s.mesh(p.mesh).vertexCount())
    {
        if (s.points(p.mesh))
        {
            // A cloud's point has its own distance.
            d["deviation"] = double(field->distance[p.mesh].at(p.triangle));
            d["referencePoint"] = V::toTuple(field->closest[p.mesh].at(p.triangle).subZero());
            return;
        }
        const float w[3] = {1.f - p.u - p.v, p.u, p.v};
        double distance = 0;
        osg::Vec3f closest(0.f, 0.f, 0.f);
        for (int k = 0; k < 3; ++k)
        {
            distance += double(w[k] * field->distance[p.mesh][corner[k]]);
            closest += field->closest[p.mesh][corner[k]].subZero() * w[k];
        }
        d["deviation"] = distance;
        d["referencePoint"] = V::toTuple(closest);
    }
}

void oxHostDeviationScript::define()
{
    using bp::arg;
    bp::def("loadReference", &loadReference,
            (arg("path"), arg("deflection") = bp::object(), arg("angle") = bp::object()),
            "loadReference(path, deflection=None, angle=None)\n\nReads the reference the model is measured against, "
            "from any file loadMesh reads (deflection and angle as there), in place of the one before; it is not "
            "coloured. A file that cannot be read leaves the old reference. Returns the path.");
    bp::def("clearReference", &oxHostDeviation::clearReference,
            "clearReference()\n\nDrops the reference; DeviationActive goes off with it.");
    bp::def("referenceInfo", &referenceInfo,
            "referenceInfo()\n\nWhat the reference holds, as modelInfo() says it for the model (no meshes and "
            "no source without a reference).");
    bp::def("deviationStats", &deviationStats, (arg("bins") = 32),
            "deviationStats(bins=32)\n\nThe signed distances of the model's vertices to the reference (+ outside "
            "it), area-weighted (a cloud's points count one each): mean, rms, std, min, max, within (the area "
            "fraction with |d| within the tolerance: DeviationTolerance, or a thousandth of the reference's size "
            "while that is 0), tolerance, p95 (of |d|), distances (\"signed\", or \"unsigned: the reference is a "
            "point cloud\": then each is to the cloud's nearest point), hist (bins area fractions) and edges (bins "
            "+ 1 values from min to max). Raises ValueError for bins outside 1 to 10000, RuntimeError without a "
            "reference.");
    bp::def("exportDeviation", &exportDeviation, (arg("path")),
            "exportDeviation(path)\n\nWrites every vertex of the model with its distance to the reference and the "
            "reference's closest point: PLY (properties x y z d rx ry rz, faces kept) or CSV (x,y,z,d,rx,ry,rz) by "
            "the suffix. Returns the path.");
    bp::def("alignToReference", &alignToReference, (arg("iterations") = 50),
            "alignToReference(iterations=50)\n\nMoves the whole model onto the reference by a rigid best fit "
            "(point-to-plane ICP that leaves out the tenth of the points furthest off, so a partial scan's strays "
            "do not pull it), one undo step. It solves only for the motions the shapes determine: a plane fixes its "
            "offset along its normal, not a slide along it. Returns matrix (4 x 4, rows, the move applied), "
            "rmsBefore and rmsAfter (of the distances of the points the fit keeps), iterations, moved (False when "
            "the fit moves nothing: the matrix is the identity and no undo step is recorded) and free (the motions "
            "the shapes leave undetermined at the fitted place, each a dict: kind \"translation\" with its axis, or "
            "kind \"rotation\" with its axis, a point on it and pitch, the slide along it per radian, 0 but for a "
            "screw).");
}
