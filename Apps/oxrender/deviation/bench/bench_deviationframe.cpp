// The deviation's frames: a 1280 x 800 deviation frame of the one-million-triangle teapot (its
// distances given, as the renderer keeps them once computed) against a curvature frame of the same
// view with its legend, and the reference's ghost over the deviation frame. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxDeviation.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxSampleSurfaces.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace
{
const int Width = 1280, Height = 800, Runs = 15;

} // namespace

int main()
{
    // 32 patches x 125 x 125 quads x 2 = 1 000 000 triangles, as bench_render.
    auto teapot = std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125));
    oxRenderScene scene;
    scene.setMeshes({teapot});
    // A smooth field of both signs over the model, as a slightly bent copy gives.
    auto field = std::make_shared<oxDeviationField>();
    field->distance.resize(1);
    field->closest.resize(1);
    for (const osg::Pnt3f& p : teapot->positions)
    {
        field->distance[0].push_back(0.05f * std::sin(0.3f * p[0]) * std::cos(0.2f * p[2]));
        field->closest[0].push_back(p);
    }

    oxFrame::Request deviation;
    deviation.camera.from = osg::Pnt3f(40.f, 30.f, 100.f);
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    deviation.camera.frame(min, max, float(Width) / Height);
    deviation.width = Width;
    deviation.height = Height;
    deviation.legend = true;
    oxFrame::Request curvature = deviation;
    deviation.hostAnalyses.DeviationActive = true;
    deviation.deviation = field;
    deviation.deviationTolerance = 0.01f;
    curvature.analysis = true;
    curvature.settings.AnalysisMode = osg::CurvatureAnalysis;
    curvature.settings.CurvatureDrawScale = 5.f;

    oxRaytracer tracer;
    std::vector<float> depth;
    const auto [deviationFrame, curvatureFrame] =
        alternate([&] { oxFrame::compose(deviation, scene, tracer, depth); },
                  [&] { oxFrame::compose(curvature, scene, tracer, depth); }, Runs);
    std::printf("teapot, %zu triangles, 1280 x 800 with legends: deviation frame %.1f ms, curvature frame %.1f ms, "
                "ratio %.2f (target <= 1.0)\n",
                teapot->triangleCount(), 1e3 * deviationFrame, 1e3 * curvatureFrame, deviationFrame / curvatureFrame);

    // The reference's ghost: the same teapot as its own reference, the worst case for the cast.
    oxRenderScene reference;
    reference.setMeshes({teapot});
    oxFrame::Request ghosted = deviation;
    ghosted.ghost = &reference;
    const auto [withGhost, without] = alternate([&] { oxFrame::compose(ghosted, scene, tracer, depth); },
                                                [&] { oxFrame::compose(deviation, scene, tracer, depth); }, Runs);
    std::printf("the reference's ghost over it: %.1f ms against %.1f ms, +%.1f ms\n", 1e3 * withGhost, 1e3 * without,
                1e3 * (withGhost - without));
    return 0;
}
