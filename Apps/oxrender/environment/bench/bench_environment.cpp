// The environment on Debian's sample parts (occt-misc): the cost of an environment frame against an
// isophote frame at 640 x 400 from the three-quarter view, traced and re-shaded from the kept
// surface buffer, for each built-in studio. With an output folder, it writes each part in each
// studio there instead (the pictures of docs/analyses/environment.md). Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxColouringInput.h"
#include "oxEnvironmentColouring.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <vector>

namespace
{
const int Width = 640, Height = 400, Runs = 9;
const char* const Parts[] = {"occ/bottle.brep", "step/screw.step", "occ/Motor-c.brep", "step/linkrods.step",
                             "occ/CrankArm.brep"};

oxFrame::Request environmentFrame(const oxRenderScene& scene, unsigned map)
{
    oxFrame::Request r;
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    r.camera.at = min + (max - min) * 0.5f;
    r.camera.from = r.camera.at - osg::Vec3f(-1.f, 1.2f, -0.8f);
    r.camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    r.camera.frame(min, max, float(Width) / Height);
    r.width = Width;
    r.height = Height;
    r.settings.ShadingMode = 1; // as --analysis environment sets it
    r.hostAnalyses.EnvironmentActive = true;
    r.hostAnalyses.EnvironmentMap = map;
    return r;
}

oxFrame::Request isophoteFrame(oxFrame::Request r)
{
    r.hostAnalyses.EnvironmentActive = false;
    r.analysis = true;
    r.settings.AnalysisMode = osg::IsophotesAnalysis;
    r.settings.LineMode = osg::IsoStripes;
    r.settings.Isolines = 16;
    return r;
}

void timeFrames(const oxRenderScene& scene, unsigned map)
{
    const oxFrame::Request environment = environmentFrame(scene, map), isophotes = isophoteFrame(environment);
    oxRaytracer tracer;
    std::vector<float> depth;
    const auto [traced, tracedIsophotes] = alternate([&] { oxFrame::compose(environment, scene, tracer, depth); },
                                                     [&] { oxFrame::compose(isophotes, scene, tracer, depth); }, Runs);
    oxSurfaceBuffer buffer;
    oxFrame::Options kept;
    kept.buffer = &buffer;
    const auto [shaded, shadedIsophotes] =
        alternate([&] { oxFrame::compose(environment, scene, tracer, depth, kept); },
                  [&] { oxFrame::compose(isophotes, scene, tracer, depth, kept); }, Runs);
    std::printf("  %s: traced %.1f ms, isophotes %.1f ms, ratio %.2f (target <= 1.1); re-shaded %.1f / %.1f ms, "
                "ratio %.2f\n",
                oxEnvironmentNames[map], 1e3 * traced, 1e3 * tracedIsophotes, traced / tracedIsophotes, 1e3 * shaded,
                1e3 * shadedIsophotes, shaded / shadedIsophotes);
}

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The colouring's shading alone, in this thread's CPU time (which a loaded machine inflates far less
// than the wall clock): a tile of 16 x 16 hits on a sphere's cap, 60 degrees across, seen along +y.
void timeShading()
{
    auto tile = std::make_unique<oxShadingBatch>(), b = std::make_unique<oxShadingBatch>();
    tile->stride = 16;
    tile->count = 256;
    for (int i = 0; i < tile->count; ++i)
    {
        const float a = (float(i % 16) - 7.5f) * 0.035f, e = (float(i / 16) - 7.5f) * 0.035f;
        tile->n.set(i, osg::Vec3f(std::sin(a) * std::cos(e), -std::cos(a) * std::cos(e), std::sin(e)));
        tile->d.set(i, osg::Vec3f(0.f, 1.f, 0.f));
        tile->p.set(i, osg::Vec3f(0.f, 0.f, 0.f));
        tile->side[i] = 1.f;
        tile->pixel[i] = i;
    }
    const int tiles = 20000;
    for (unsigned map = 0; map < oxEnvironmentImage; ++map)
    {
        oxColouringInput in;
        in.camera.from = osg::Pnt3f(0.f, -10.f, 0.f);
        in.host.EnvironmentActive = true;
        in.host.EnvironmentMap = map;
        const oxEnvironmentColouring colouring(in);
        double best = 1e30;
        for (int run = 0; run < 5; ++run)
        {
            const double start = threadSeconds();
            for (int k = 0; k < tiles; ++k)
            {
                *b = *tile;
                colouring.shade(*b);
            }
            best = std::min(best, threadSeconds() - start);
        }
        std::printf("shading alone, %s: %.1f ns a pixel\n", oxEnvironmentNames[map], 1e9 * best / (tiles * 256.0));
    }
}

bool benchPart(const std::string& path, const QString& pictures)
{
    oxRenderScene scene;
    std::string error;
    if (!loadCadPart(scene, path, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const QString name = QFileInfo(QString::fromStdString(path)).baseName();
    std::printf("%s\n", qPrintable(name));
    for (unsigned map = 0; map < oxEnvironmentImage; ++map)
    {
        if (pictures.isEmpty())
        {
            timeFrames(scene, map);
            continue;
        }
        oxRaytracer tracer;
        std::vector<float> depth;
        const QString file = QDir(pictures).filePath(QString("%1-%2.png").arg(name, oxEnvironmentNames[map]));
        if (!oxFrame::compose(environmentFrame(scene, map), scene, tracer, depth).save(file))
        {
            std::fprintf(stderr, "cannot write \"%s\"\n", qPrintable(file));
            return false;
        }
    }
    return true;
}
} // namespace

// bench_environment [DATA [PICTURES]]: the parts under DATA; with PICTURES, pictures there, no timing.
// A DATA without the parts times the shading alone.
int main(int argc, char** argv)
{
    const std::string data = argc > 1 ? argv[1] : "/usr/share/opencascade/data";
    const QString pictures = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (pictures.isEmpty())
        timeShading();
    bool ok = true;
    for (const char* part : Parts)
        ok = benchPart(data + "/" + part, pictures) && ok;
    return ok ? 0 : 1;
}
