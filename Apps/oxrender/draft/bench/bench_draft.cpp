// The draft angle: a 1280 x 800 draft frame of the one-million-triangle teapot against the bare
// primary-ray cast of the same frame, the exact draft frame of a CAD part against its exact
// isophote stripes, draftStats on the teapot, and the per-face values of a 500-face CAD part.
// Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxAnalysisFit.h"
#include "oxCadImporter.h"
#include "oxDraftColouring.h"
#include "oxDraftStats.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxSampleSurfaces.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
const int Width = 1280, Height = 800, Runs = 15;

oxFrame::Request frameOf(const oxRenderScene& scene, const osg::Pnt3f& from)
{
    oxFrame::Request r;
    r.camera.from = from;
    r.camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    r.camera.frame(min, max, float(Width) / Height);
    r.width = Width;
    r.height = Height;
    r.hostAnalyses.DraftActive = true;
    return r;
}

void benchMesh()
{
    // 32 patches x 125 x 125 quads x 2 = 1 000 000 triangles, as bench_render.
    auto teapot = std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125));
    oxRenderScene scene;
    scene.setMeshes({teapot});
    const oxFrame::Request request = frameOf(scene, osg::Pnt3f(40.f, 30.f, 100.f));
    oxRaytracer tracer;
    std::vector<float> depth;
    const auto [draft, cast] =
        alternate([&] { oxFrame::compose(request, scene, tracer, depth); },
                  [&] { tracer.castPrimaryRays(scene, request.camera, Width, Height, depth); }, Runs);
    std::printf("teapot, %zu triangles, 1280 x 800: draft frame %.1f ms, bare primary-ray cast %.1f ms, ratio %.2f "
                "(target <= 1.3)\n",
                teapot->triangleCount(), 1e3 * draft, 1e3 * cast, draft / cast);
    std::vector<double> stats;
    oxDraftStats out;
    std::string error;
    for (int i = 0; i < 5; ++i)
        stats.push_back(seconds([&] { oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 1.f), 1.0, out, error); }));
    std::printf("draftStats on the teapot: %.3f s (target < 0.3 s); insufficient %.4f\n", median(stats),
                out.insufficient);
}

bool benchCad()
{
    // A wavy sheet cut into 20 x 25 B-spline faces, triangulated finely (about 150 000 triangles).
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("panel.step").toStdString();
    std::string error;
    auto part = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    oxCadOptions options;
    options.deflection = 0.00002;
    if (!oxCadImporter::writeSample("panel", path, error, 20, 25, 8) ||
        !oxCadImporter::load(path, options, *part, cad, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    oxRenderScene scene;
    scene.setMeshes({part}, {cad});
    std::vector<double> faces;
    oxDraftStats out;
    for (int i = 0; i < 5; ++i)
        faces.push_back(seconds([&] { oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 1.f), 1.0, out, error); }));
    std::printf("CAD part, %zu faces, %zu triangles: draftStats with per-face values %.3f s (target < 0.5 s)\n",
                out.faces.size(), part->triangleCount(), median(faces));

    oxFrame::Request draftFrame = frameOf(scene, osg::Pnt3f(100.f, -120.f, 160.f));
    oxFrame::Request stripes = draftFrame;
    stripes.hostAnalyses.DraftActive = false;
    stripes.analysis = true;
    stripes.settings.AnalysisMode = osg::IsophotesAnalysis;
    stripes.settings.LineMode = osg::IsoStripes;
    stripes.settings.Isolines = 16;
    oxRaytracer tracer;
    std::vector<float> depth;
    const auto [draft, isophotes] = alternate([&] { oxFrame::compose(draftFrame, scene, tracer, depth); },
                                              [&] { oxFrame::compose(stripes, scene, tracer, depth); }, Runs);
    std::printf("CAD part, exact shading, 1280 x 800: draft frame %.1f ms, isophote stripes frame %.1f ms, ratio "
                "%.2f (target <= 1)\n",
                1e3 * draft, 1e3 * isophotes, draft / isophotes);
    // Zebra: reflection lines of the light plane's tubes as stripes, the lights fitted to the part.
    oxFrame::Request zebra = stripes;
    zebra.settings.AnalysisMode = osg::ReflectionLinesAnalysis;
    zebra.settings.ReflectionMode = osg::ParallelLinearLights;
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    oxAnalysisFit::Lights lights;
    if (oxAnalysisFit::lights(min, max, zebra.settings.LightPlaneAxisU, zebra.settings.LightPlaneAxisV,
                              zebra.settings.Isolines, lights))
    {
        zebra.settings.LightPlaneOrigin = lights.planeOrigin;
        zebra.settings.LightLinesDistance = lights.linesDistance;
        zebra.settings.LightLinesLength = lights.linesLength;
    }
    const auto [draftAgain, zebraFrame] = alternate([&] { oxFrame::compose(draftFrame, scene, tracer, depth); },
                                                    [&] { oxFrame::compose(zebra, scene, tracer, depth); }, Runs);
    std::printf("CAD part, exact shading, 1280 x 800: draft frame %.1f ms, zebra stripes frame %.1f ms, ratio %.2f "
                "(target <= 1)\n",
                1e3 * draftAgain, 1e3 * zebraFrame, draftAgain / zebraFrame);
    // The traced images alone, without the frames' overlays: the cost of the shading itself.
    const oxDraftColouring draftShader(draftFrame.settings, draftFrame.hostAnalyses);
    const oxAnalysisShader stripesShader(stripes.settings, true);
    std::vector<float> sines;
    const auto [tracedDraft, tracedStripes] =
        alternate([&] { tracer.render(scene, draftFrame.camera, draftShader, Width, Height, &depth, 1, &sines); },
                  [&] { tracer.render(scene, draftFrame.camera, stripesShader, Width, Height, &depth, 1); }, Runs);
    std::printf("  traced only: draft (with its values) %.1f ms, isophote stripes %.1f ms, ratio %.2f\n",
                1e3 * tracedDraft, 1e3 * tracedStripes, tracedDraft / tracedStripes);
    return true;
}
} // namespace

int main()
{
    benchMesh();
    return benchCad() ? 0 : 1;
}
