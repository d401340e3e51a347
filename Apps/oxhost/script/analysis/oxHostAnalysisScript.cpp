#include "oxHostValues.h"

#include "oxHostAnalysisScript.h"

#include "OSGSurfaceAnalysisAttachment.h"
#include "oxAnalysisFit.h"
#include "oxAnalysisShading.h"
#include "oxCurvatureExport.h"
#include "oxCurvatureStats.h"
#include "oxDeviation.h"
#include "oxDraftStats.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostReport.h"
#include "oxHostResults.h"
#include "oxProbe.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"

#include <cmath>
#include <limits>

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
oxHostAnalysisScript::Setters& setters()
{
    static oxHostAnalysisScript::Setters s;
    return s;
}

// A finite number, or a Python exception naming the argument.
double number(const bp::object& value, const std::string& what)
{
    bp::extract<double> x(value);
    if (!x.check() || PyBool_Check(value.ptr()))
        V::raise(PyExc_TypeError, what + " must be a number");
    const double d = x();
    if (!std::isfinite(d))
        V::raise(PyExc_ValueError, what + " must be finite, not " + std::to_string(d));
    return d;
}

osg::Vec3f finiteVec3f(const bp::object& value, const std::string& what)
{
    if (!PySequence_Check(value.ptr()) || bp::len(value) != 3)
        V::raise(PyExc_TypeError, what + " must be three numbers");
    osg::Vec3f v;
    for (int i = 0; i < 3; ++i)
    {
        const std::string component = what + "[" + std::to_string(i) + "]";
        v[i] = float(number(value[i], component));
        if (!std::isfinite(v[i]))
            V::raise(PyExc_OverflowError, component + " is beyond the range of a 32-bit float");
    }
    return v;
}

oxRenderScene& scene()
{
    oxRenderer::the().syncScene();
    return oxRenderer::the().scene();
}

bp::object probeResult(const oxProbe& p)
{
    const oxRenderScene& s = oxRenderer::the().scene();
    bp::dict d;
    d["point"] = V::toTuple(p.point.subZero());
    d["normal"] = V::toTuple(p.normal);
    d["k1"] = p.k1;
    d["k2"] = p.k2;
    d["dir1"] = V::toTuple(p.dir1);
    d["dir2"] = V::toTuple(p.dir2);
    d["mean"] = 0.5 * (double(p.k1) + p.k2);
    d["gauss"] = double(p.k1) * p.k2;
    const double bend = std::max(std::fabs(double(p.k1)), std::fabs(double(p.k2)));
    d["radiusMin"] = bend > 0 ? 1.0 / bend : std::numeric_limits<double>::infinity();
    d["mesh"] = s.mesh(p.mesh).name;
    d["face"] = p.face >= 0 ? bp::object(p.face) : bp::object();
    d["exact"] = p.exact;
    d["draft"] = oxDraftStats::draft(p.normal, oxHostAnalysisModel::the()->settings().DraftDirection);
    // The distance to the reference and its closest point, interpolated over the hit's triangle.
    d["deviation"] = bp::object();
    d["referencePoint"] = bp::object();
    const std::shared_ptr<const oxDeviationField> field = oxRenderer::the().deviation();
    const osg::UInt32* corner = s.mesh(p.mesh).indices.data() + 3 * size_t(p.triangle);
    if (field && p.mesh < field->distance.size() && p.mesh < field->closest.size() &&
        field->distance[p.mesh].size() == s.mesh(p.mesh).vertexCount() &&
        field->closest[p.mesh].size() == s.mesh(p.mesh).vertexCount())
    {
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
    return d;
}

bp::object probeRay(const bp::object& origin, const bp::object& direction)
{
    const osg::Vec3f o = finiteVec3f(origin, "origin");
    osg::Vec3f d;
    if (!oxRenderMath::direction(finiteVec3f(direction, "direction"), d))
        V::raise(PyExc_ValueError, "direction must be a direction, not the zero vector");
    oxProbe p;
    if (!oxProbe::trace(scene(), osg::Pnt3f(o[0], o[1], o[2]), d, p))
        return bp::object();
    return probeResult(p);
}

bp::object probe(const bp::object& xValue, const bp::object& yValue)
{
    const double x = number(xValue, "x"), y = number(yValue, "y");
    oxRenderer& r = oxRenderer::the();
    if (x < 0 || x >= r.viewWidth())
        V::raise(PyExc_ValueError,
                 "x must lie in the view, 0 <= x < " + std::to_string(r.viewWidth()) + ", not " + std::to_string(x));
    if (y < 0 || y >= r.viewHeight())
        V::raise(PyExc_ValueError,
                 "y must lie in the view, 0 <= y < " + std::to_string(r.viewHeight()) + ", not " + std::to_string(y));
    oxRenderCamera camera = r.hostCamera();
    camera.setup(r.viewWidth(), r.viewHeight());
    osg::Pnt3f o;
    osg::Vec3f d;
    // Pixel (x, y) covers [x, x + 1): its ray goes through the centre, as the renderer's does.
    camera.ray(float(std::floor(x)) + 0.5f, float(std::floor(y)) + 0.5f, o, d);
    oxProbe p;
    if (!oxProbe::trace(scene(), o, d, p))
        return bp::object();
    return probeResult(p);
}

void setViewSize(int width, int height)
{
    if (width < 1 || width > 16384)
        V::raise(PyExc_ValueError, "width must be between 1 and 16384, not " + std::to_string(width));
    if (height < 1 || height > 16384)
        V::raise(PyExc_ValueError, "height must be between 1 and 16384, not " + std::to_string(height));
    oxRenderer::the().setViewSize(width, height);
}

int recordKind()
{
    const osg::SurfaceAnalysisAttachmentPtr r = oxAnalysisSettings::hostRecord();
    return int(r == osg::NullFC ? osg::SurfaceAnalysisValues().CurvatureEvaluationType
                                : r->getCurvatureEvaluationType());
}

bp::list toList(const std::vector<double>& values)
{
    bp::list list;
    for (double v : values)
        list.append(v);
    return list;
}

bp::dict curvatureStats(const bp::object& kindValue, int bins, const bp::object& lowValue, const bp::object& highValue)
{
    int kind = recordKind();
    if (!kindValue.is_none())
    {
        const double k = number(kindValue, "kind");
        if (k != std::floor(k) || k < 0 || k > 3)
            V::raise(PyExc_ValueError, "kind must be 0 (Gaussian), 1 (mean), 2 (minimum) or 3 (maximum)");
        kind = int(k);
    }
    const double low = number(lowValue, "low"), high = number(highValue, "high");
    if (bins < 1 || bins > oxCurvatureStats::MaxBins)
        V::raise(PyExc_ValueError, oxCurvatureStats::binsRefusal(bins));
    if (!(low >= 0 && low < high && high <= 100))
        V::raise(PyExc_ValueError, "low and high must be percentiles with 0 <= low < high <= 100");
    oxCurvatureStats stats;
    std::string error;
    if (!oxCurvatureStats::compute(scene(), kind, bins, low, high, stats, error))
        V::raise(PyExc_RuntimeError, "cannot take curvature statistics: " + error);
    bp::dict d;
    d["kind"] = kind;
    V::putFields(d, oxHostResults::curvature(), stats);
    d["hist"] = toList(stats.hist);
    d["edges"] = toList(stats.edges);
    return d;
}

float scriptAutoRange(const bp::object& lowValue, const bp::object& highValue, bool symmetric)
{
    const double low = number(lowValue, "low"), high = number(highValue, "high");
    if (!(low >= 0 && low < high && high <= 100))
        V::raise(PyExc_ValueError, "low and high must be percentiles with 0 <= low < high <= 100");
    float scale = 0.f;
    std::string error;
    if (!oxHostAnalysisScript::autoRange(low, high, symmetric, scale, error))
        V::raise(PyExc_RuntimeError, error);
    return scale;
}

std::string scriptExportCurvature(const std::string& path)
{
    std::string error;
    if (!oxHostAnalysisScript::exportCurvature(path, error))
        V::raise(PyExc_RuntimeError, error);
    return path;
}

void scriptFitLights()
{
    std::string error;
    if (!oxHostAnalysisScript::fitLights(error))
        V::raise(PyExc_RuntimeError, error);
}

std::string report(const std::string& path, int width, int height)
{
    if (width < 64 || width > 4096)
        V::raise(PyExc_ValueError, "width must be between 64 and 4096, not " + std::to_string(width));
    if (height < 64 || height > 4096)
        V::raise(PyExc_ValueError, "height must be between 64 and 4096, not " + std::to_string(height));
    std::string error;
    if (!oxHostReport::write(path, width, height, error))
        V::raise(PyExc_RuntimeError, error);
    return path;
}
} // namespace

bool oxHostAnalysisScript::exportCurvature(const std::string& path, std::string& error)
{
    return oxCurvatureExport::write(scene(), path, error);
}

void oxHostAnalysisScript::setSetters(const Setters& s)
{
    setters() = s;
}

bool oxHostAnalysisScript::autoRange(double low, double high, bool symmetric, float& scale, std::string& error)
{
    if (!setters().curvatureDrawScale || oxAnalysisSettings::hostRecord() == osg::NullFC)
    {
        error = "cannot fit the curvature range: there is no analysis module with a settings record";
        return false;
    }
    oxCurvatureStats stats;
    std::string why;
    if (!oxCurvatureStats::compute(scene(), recordKind(), 1, low, high, stats, why))
    {
        error = "cannot fit the curvature range: " + why;
        return false;
    }
    scale = oxAnalysisFit::drawScale(stats.low, stats.high, symmetric);
    if (!(scale > 0.f))
    {
        error = "cannot fit the curvature range: the model's " + std::string(oxCurvatureStats::kindName(recordKind())) +
                " curvature is 0 between the percentiles";
        return false;
    }
    setters().curvatureDrawScale(scale);
    return true;
}

bool oxHostAnalysisScript::showCurvatureLegend()
{
    if (!setters().curvatureLegend)
        return false;
    setters().curvatureLegend(true);
    return true;
}

bool oxHostAnalysisScript::fitLights(std::string& error)
{
    const osg::SurfaceAnalysisAttachmentPtr r = oxAnalysisSettings::hostRecord();
    const Setters& s = setters();
    if (!s.lightPlaneOrigin || r == osg::NullFC)
    {
        error = "cannot fit the lights: there is no analysis module with a settings record";
        return false;
    }
    osg::Pnt3f min, max;
    oxAnalysisFit::Lights lights;
    if (!scene().bounds(min, max) ||
        !oxAnalysisFit::lights(min, max, r->getLightPlaneAxisU(), r->getLightPlaneAxisV(), r->getIsolines(), lights))
    {
        error = "cannot fit the lights: the scene has no meshes";
        return false;
    }
    oxUndoStack& stack = oxUndoStack::get(0);
    stack.beginMacro("Fit lights");
    s.lightPlaneOrigin(lights.planeOrigin);
    s.lightLinesDistance(lights.linesDistance);
    if (r->getIsLightLinesLengthLimited())
        s.lightLinesLength(lights.linesLength);
    stack.endMacro();
    return true;
}

void oxHostAnalysisScript::define()
{
    using bp::arg;
    using bp::def;
    def("setViewSize", &setViewSize, (arg("width"), arg("height")),
        "setViewSize(width, height)\n\nThe view size probe() reads pixels of; each render sets it too.");
    def("probe", &probe, (arg("x"), arg("y")),
        "probe(x, y)\n\nWhat the model holds under pixel (x, y) of the view (as last rendered, or as given with "
        "setViewSize): None where nothing is hit, else a dict with point, normal, k1 >= k2 (principal "
        "curvatures, positive on a sphere seen from outside), dir1, dir2 (their directions), mean, gauss, "
        "radiusMin (1 / max(|k1|, |k2|), inf on a plane), mesh (its name), face (the CAD face, None for meshes), "
        "exact (True where the values come from an exact surface), draft (asin(normal . DraftDirection), "
        "degrees), deviation (the signed distance to the reference) and referencePoint (the closest point on "
        "it), both None without a reference. A pixel outside the view raises ValueError.");
    def("probeRay", &probeRay, (arg("origin"), arg("direction")),
        "probeRay(origin, direction)\n\nAs probe, at the first hit of a ray.");
    def("curvatureStats", &curvatureStats,
        (arg("kind") = bp::object(), arg("bins") = 32, arg("low") = 2.0, arg("high") = 98.0),
        "curvatureStats(kind=None, bins=32, low=2, high=98)\n\nArea-weighted statistics of a curvature kind (0 "
        "Gaussian, 1 mean, 2 minimum, 3 maximum; the record's CurvatureEvaluationType by default) over the whole "
        "model: min, max, mean, median, low and high (the values at those percentiles), hist (area fractions "
        "summing to 1) and edges (bins + 1 values from low to high; values outside count in the end bins).");
    def("autoRange", &scriptAutoRange, (arg("low") = 2.0, arg("high") = 98.0, arg("symmetric") = true),
        "autoRange(low=2, high=98, symmetric=True)\n\nSets CurvatureDrawScale through the module (one undo "
        "step) so that the values between the percentiles fill the colour ramp, whose middle is zero: "
        "symmetric takes the larger end of the range, otherwise its half width. Returns the scale.");
    def("exportCurvature", &scriptExportCurvature, (arg("path")),
        "exportCurvature(path)\n\nWrites the curvatures the renderer shades with, per vertex of the whole scene: "
        "PLY (binary little-endian, x y z nx ny nz k1 k2 mean gauss, faces kept) or CSV (a header line, one "
        "vertex a line) by the suffix. Atomic: on failure the old file stays. Returns the path.");
    def("fitLights", &scriptFitLights,
        "fitLights()\n\nPlaces the light plane for the model in view, through the module, as one undo step "
        "\"Fit lights\": its origin just outside the bounding box along the plane's normal, Isolines lines over "
        "the model's size, lines twice that long when their length is limited.");
    def("report", &report, (arg("path"), arg("width") = 960, arg("height") = 600),
        "report(path, width=960, height=600)\n\nWrites one self-contained HTML page about the model in view: the "
        "model, an image per analysis kind with its settings, the curvature statistics and histogram, and the "
        "continuity of shared edges where the model has them. Changes no setting. Returns the path.");
}
