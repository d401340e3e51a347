// The zebra stripes on Debian's sample parts (occt-misc): the share of the visible model pixels
// that have both a dark and a light stripe pixel within 8 pixels, at 640 x 400 from the default
// (three-quarter) view and the six axis views, and the cost of a stripes frame against an
// isophote frame, traced and re-shaded from the kept surface buffer. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"

#include <QFileInfo>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
const int Width = 640, Height = 400, Reach = 8, Runs = 9;
unsigned s_count = oxHostAnalysisSettings().StripesCount;
float s_distance = oxHostAnalysisSettings().StripesDistance;
bool s_timed = true;
std::string s_pictures;
const char* const Parts[] = {"occ/bottle.brep", "step/screw.step", "occ/Motor-c.brep", "step/linkrods.step",
                             "occ/CrankArm.brep"};

struct View
{
    const char* name;
    osg::Vec3f forward, up;
};
// As the viewer lays them out with Z up.
const View Views[] = {
    {"iso", osg::Vec3f(-1.f, 1.2f, -0.8f), osg::Vec3f(0, 0, 1)}, {"front", osg::Vec3f(0, 1, 0), osg::Vec3f(0, 0, 1)},
    {"back", osg::Vec3f(0, -1, 0), osg::Vec3f(0, 0, 1)},         {"right", osg::Vec3f(1, 0, 0), osg::Vec3f(0, 0, 1)},
    {"left", osg::Vec3f(-1, 0, 0), osg::Vec3f(0, 0, 1)},         {"top", osg::Vec3f(0, 0, -1), osg::Vec3f(0, 1, 0)},
    {"bottom", osg::Vec3f(0, 0, 1), osg::Vec3f(0, -1, 0)}};

oxFrame::Request stripesFrame(const oxRenderScene& scene, const View& view)
{
    oxFrame::Request r;
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    r.camera.at = min + (max - min) * 0.5f;
    r.camera.from = r.camera.at - view.forward;
    r.camera.up = view.up;
    r.camera.frame(min, max, float(Width) / Height);
    r.width = Width;
    r.height = Height;
    r.settings.ShadingMode = 1; // as --analysis zebra sets it
    r.hostAnalyses.StripesActive = true;
    r.hostAnalyses.StripesCount = s_count;
    r.hostAnalyses.StripesDistance = s_distance;
    return r;
}

oxFrame::Request isophoteFrame(oxFrame::Request r)
{
    r.hostAnalyses.StripesActive = false;
    r.analysis = true;
    r.settings.AnalysisMode = osg::IsophotesAnalysis;
    r.settings.LineMode = osg::IsoStripes;
    r.settings.Isolines = 16;
    return r;
}

// Of the model's pixels (finite depth), the share with a dark (luma below 0.25) and a light (above
// 0.5) model pixel in the square of Reach pixels around it.
double striped(const QImage& image, const std::vector<float>& depth)
{
    const int w = image.width(), h = image.height();
    std::vector<int> dark((w + 1) * (h + 1)), light((w + 1) * (h + 1));
    auto at = [w](int x, int y) { return size_t(y) * size_t(w + 1) + size_t(x); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const bool model = std::isfinite(depth[size_t(y) * size_t(w) + size_t(x)]);
            const int luma = qGray(image.pixel(x, y));
            dark[at(x + 1, y + 1)] = dark[at(x, y + 1)] + dark[at(x + 1, y)] - dark[at(x, y)] + (model && luma < 64);
            light[at(x + 1, y + 1)] =
                light[at(x, y + 1)] + light[at(x + 1, y)] - light[at(x, y)] + (model && luma > 128);
        }
    auto window = [&](const std::vector<int>& sum, int x, int y)
    {
        const int x0 = std::max(0, x - Reach), y0 = std::max(0, y - Reach);
        const int x1 = std::min(w, x + Reach + 1), y1 = std::min(h, y + Reach + 1);
        return sum[at(x1, y1)] - sum[at(x0, y1)] - sum[at(x1, y0)] + sum[at(x0, y0)];
    };
    long model = 0, both = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (std::isfinite(depth[size_t(y) * size_t(w) + size_t(x)]))
            {
                ++model;
                both += window(dark, x, y) > 0 && window(light, x, y) > 0;
            }
    return model ? double(both) / double(model) : 0.;
}

void timeFrames(const char* name, const oxRenderScene& scene, const oxFrame::Request& stripes)
{
    const oxFrame::Request isophotes = isophoteFrame(stripes);
    oxRaytracer tracer;
    std::vector<float> depth;
    const auto [traced, tracedIsophotes] = alternate([&] { oxFrame::compose(stripes, scene, tracer, depth); },
                                                     [&] { oxFrame::compose(isophotes, scene, tracer, depth); }, Runs);
    // Re-shaded from the kept surface, as after a change of a setting.
    oxSurfaceBuffer buffer;
    oxFrame::Options kept;
    kept.buffer = &buffer;
    const auto [shaded, shadedIsophotes] =
        alternate([&] { oxFrame::compose(stripes, scene, tracer, depth, kept); },
                  [&] { oxFrame::compose(isophotes, scene, tracer, depth, kept); }, Runs);
    std::printf("  %s frames: traced stripes %.1f ms, isophotes %.1f ms, ratio %.2f (target <= 1.1); re-shaded "
                "%.1f / %.1f ms, ratio %.2f\n",
                name, 1e3 * traced, 1e3 * tracedIsophotes, traced / tracedIsophotes, 1e3 * shaded,
                1e3 * shadedIsophotes, shaded / shadedIsophotes);
}

bool benchPart(const std::string& path)
{
    oxRenderScene scene;
    std::string error;
    if (!loadCadPart(scene, path, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const std::string name = QFileInfo(QString::fromStdString(path)).baseName().toStdString();
    std::printf("%s, striped share of the visible model:", name.c_str());
    oxRaytracer tracer;
    double least = 1;
    for (const View& view : Views)
    {
        std::vector<float> depth;
        const QImage image = oxFrame::compose(stripesFrame(scene, view), scene, tracer, depth);
        const double share = striped(image, depth);
        if (!s_pictures.empty())
            image.save(QString::fromStdString(s_pictures + "/" + name + "-" + view.name + ".png"));
        if (view.name != Views[0].name)
            least = std::min(least, share);
        std::printf(" %s %.2f", view.name, share);
    }
    std::printf(" (targets: iso >= 0.95, least axis view %.2f >= 0.9)\n", least);
    if (s_timed)
        timeFrames(name.c_str(), scene, stripesFrame(scene, Views[0]));
    return true;
}
} // namespace

// bench_stripes [DATA [COUNT [DISTANCE [PICTURES]]]]: the parts under DATA; with COUNT, that many
// stripes (and the tunnel DISTANCE model radii away) and no timing; with PICTURES, each view's image
// written there.
int main(int argc, char** argv)
{
    const std::string data = argc > 1 ? argv[1] : "/usr/share/opencascade/data";
    if (argc > 2)
    {
        s_count = unsigned(std::max(1, std::atoi(argv[2])));
        s_timed = false;
    }
    if (argc > 3)
        s_distance = std::max(1.f, float(std::atof(argv[3])));
    if (argc > 4)
        s_pictures = argv[4];
    bool ok = true;
    for (const char* part : Parts)
        ok = benchPart(data + "/" + part) && ok;
    return ok ? 0 : 1;
}
