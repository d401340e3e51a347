// Speed of the analysis raytracer on a one-million-triangle mesh (Newell's teapot, finely
// tessellated): BVH build, curvature estimation (and its accuracy on a torus), 1280 x 800 analysis
// frames against a bare primary-ray cast of the same frame in the same run, anti-aliased frames
// against single-sample ones, and downscaled interactive frames.
#include "oxCurvature.h"
#include "oxMeshNodes.h"
#include "oxOSGWidget.h"
#include "oxRaytracer.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace
{
const int Width = 1280, Height = 800;

const std::shared_ptr<oxRenderMesh>& millionTriangles()
{
    // 32 patches x 125 x 125 quads x 2 = 1 000 000 triangles.
    static const auto mesh = std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125));
    return mesh;
}

oxRenderScene& sharedScene()
{
    static oxRenderScene* scene = []
    {
        auto* s = new oxRenderScene;
        s->setMeshes({millionTriangles()});
        return s;
    }();
    return *scene;
}

oxRenderCamera framedCamera()
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(40.f, 30.f, 100.f);
    osg::Pnt3f min, max;
    sharedScene().bounds(min, max);
    camera.frame(min, max, float(Width) / Height);
    return camera;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void BM_BvhBuild(benchmark::State& state)
{
    const auto mesh = millionTriangles();
    for (auto _ : state)
    {
        oxRenderScene scene;
        scene.setMeshes({mesh});
        benchmark::DoNotOptimize(scene.handle());
    }
    state.counters["triangles"] = double(mesh->triangleCount());
    state.counters["target_s"] = 1.0;
}
BENCHMARK(BM_BvhBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Curvature(benchmark::State& state)
{
    const auto mesh = millionTriangles();
    for (auto _ : state)
        benchmark::DoNotOptimize(oxCurvature::estimate(*mesh).kMax.data());
    state.counters["triangles"] = double(mesh->triangleCount());
    state.counters["target_s"] = 0.5;
}
BENCHMARK(BM_Curvature)->Unit(benchmark::kMillisecond)->Iterations(3);

// Accuracy beside speed: torus R = 3, r = 1 as a regular 200 x 100 grid, normals from the faces;
// RMS error of the mean curvature against the analytic value.
void BM_CurvatureTorusAccuracy(benchmark::State& state)
{
    const double R = 3, r = 1;
    oxRenderMesh mesh = oxSampleSurfaces::torus(float(R), float(r), 200);
    mesh.normals.clear();
    double rms = 0;
    for (auto _ : state)
    {
        const oxPrincipalCurvatures c = oxCurvature::estimate(mesh);
        double sum = 0;
        for (size_t i = 0; i < mesh.positions.size(); ++i)
        {
            const osg::Pnt3f& p = mesh.positions[i];
            const double cosA = (std::hypot(double(p[0]), double(p[2])) - R) / r;
            const double mean = (R + 2 * r * cosA) / (2 * r * (R + r * cosA));
            const double e = 0.5 * (double(c.kMax[i]) + c.kMin[i]) - mean;
            sum += e * e;
        }
        rms = std::sqrt(sum / double(mesh.positions.size()));
    }
    state.counters["rms_mean_error"] = rms;
    state.counters["target_rms"] = 0.001;
}
BENCHMARK(BM_CurvatureTorusAccuracy)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PrimaryRayCast(benchmark::State& state)
{
    const oxRenderScene& scene = sharedScene();
    const oxRenderCamera camera = framedCamera();
    std::vector<float> depth;
    oxRaytracer tracer;
    for (auto _ : state)
        tracer.castPrimaryRays(scene, camera, Width, Height, depth);
}
BENCHMARK(BM_PrimaryRayCast)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Each analysis kind against the bare cast, both timed in every iteration so that the ratio
// compares like with like on a machine whose speed drifts.
void analysisFrame(benchmark::State& state, oxAnalysisSettings settings)
{
    const oxRenderScene& scene = sharedScene();
    const oxRenderCamera camera = framedCamera();
    const oxAnalysisShader shader(settings, true);
    oxRaytracer tracer;
    std::vector<float> depth;
    tracer.render(scene, camera, shader, Width, Height); // curvatures estimated here, once
    double frames = 0, baselines = 0;
    for (auto _ : state)
    {
        const auto t0 = std::chrono::steady_clock::now();
        tracer.castPrimaryRays(scene, camera, Width, Height, depth);
        const auto t1 = std::chrono::steady_clock::now();
        const QImage image = tracer.render(scene, camera, shader, Width, Height, &depth);
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(image.constBits());
        baselines += seconds(t0, t1);
        frames += seconds(t1, t2);
        state.SetIterationTime(seconds(t1, t2));
    }
    state.counters["baseline_ms"] = 1000 * baselines / double(state.iterations());
    state.counters["ratio"] = frames / baselines;
    state.counters["target_ratio"] = 1.3;
}

oxAnalysisSettings kind(osg::AnalysisMode mode, osg::ReflectionMode reflection, osg::LineMode lineMode)
{
    oxAnalysisSettings s;
    s.AnalysisMode = mode;
    s.ReflectionMode = reflection;
    s.LineMode = lineMode;
    s.ShadingMode = osg::GlossyShading;
    s.StripeThickness = 0.5f;
    s.LightPlaneOrigin = osg::Vec3f(0.f, 60.f, 0.f);
    s.LightPlaneAxisU = osg::Vec3f(1.f, 0.f, 0.f);
    s.LightPlaneAxisV = osg::Vec3f(0.f, 0.f, 1.f);
    s.CurvatureDrawScale = 5.f;
    s.CurvatureUseBands = true;
    s.CurvatureUseRadiusLimit = true;
    return s;
}

BENCHMARK_CAPTURE(analysisFrame, isophotes, kind(osg::IsophotesAnalysis, osg::SphericalLights, osg::IsoStripes))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(analysisFrame, reflection_lines_plane,
                  kind(osg::ReflectionLinesAnalysis, osg::ParallelLinearLights, osg::IsoLines))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(analysisFrame, reflection_lines_sphere,
                  kind(osg::ReflectionLinesAnalysis, osg::SphericalLights, osg::IsoStripes))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(analysisFrame, highlight_lines_plane,
                  kind(osg::HighlightLinesAnalysis, osg::ParallelLinearLights, osg::IsoStripes))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(analysisFrame, curvature, kind(osg::CurvatureAnalysis, osg::SphericalLights, osg::IsoLines))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// A part far from the origin against the same part at it: the primary cast and a reflection-line
// frame of the light plane (which moves with the part) and of the light sphere, 10^range(0) units
// out along (1, 1, 1); 0 is the part at the origin.
void BM_FarFromOrigin(benchmark::State& state)
{
    const float offset = state.range(0) == 0 ? 0.f : std::pow(10.f, float(state.range(0)));
    auto mesh = std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 40));
    osg::Matrix move;
    move.setTranslate(osg::Vec3f(offset, offset, offset));
    mesh->transform(move);
    oxRenderScene scene;
    scene.setMeshes({mesh});
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(offset + 40.f, offset + 30.f, offset + 100.f);
    camera.at = osg::Pnt3f(offset, offset, offset);
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    camera.frame(min, max, float(Width) / Height);
    oxAnalysisSettings plane = kind(osg::ReflectionLinesAnalysis, osg::ParallelLinearLights, osg::IsoLines);
    plane.LightPlaneOrigin += osg::Vec3f(offset, offset, offset);
    const oxAnalysisShader planeShader(plane, true);
    const oxAnalysisShader sphereShader(kind(osg::ReflectionLinesAnalysis, osg::SphericalLights, osg::IsoStripes),
                                        true);
    oxRaytracer tracer;
    std::vector<float> depth;
    double cast = 0, planeFrame = 0, sphereFrame = 0;
    for (auto _ : state)
    {
        const auto t0 = std::chrono::steady_clock::now();
        tracer.castPrimaryRays(scene, camera, Width, Height, depth);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(tracer.render(scene, camera, planeShader, Width, Height).constBits());
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(tracer.render(scene, camera, sphereShader, Width, Height).constBits());
        const auto t3 = std::chrono::steady_clock::now();
        cast += seconds(t0, t1);
        planeFrame += seconds(t1, t2);
        sphereFrame += seconds(t2, t3);
        state.SetIterationTime(seconds(t1, t2));
    }
    const double n = double(state.iterations());
    state.counters["cast_ms"] = 1000 * cast / n;
    state.counters["plane_ms"] = 1000 * planeFrame / n;
    state.counters["sphere_ms"] = 1000 * sphereFrame / n;
}
BENCHMARK(BM_FarFromOrigin)->Arg(0)->Arg(6)->Arg(7)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The cost of anti-aliasing: an isophote frame with 3 x 3 samples per pixel against the same
// frame with one, both timed in every iteration.
void BM_AntiAliasedFrame(benchmark::State& state)
{
    const oxRenderScene& scene = sharedScene();
    const oxRenderCamera camera = framedCamera();
    const oxAnalysisShader shader(kind(osg::IsophotesAnalysis, osg::SphericalLights, osg::IsoStripes), true);
    oxRaytracer tracer;
    const int samples = int(state.range(0));
    double single = 0, multi = 0;
    for (auto _ : state)
    {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(tracer.render(scene, camera, shader, Width, Height, nullptr, 1).constBits());
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(tracer.render(scene, camera, shader, Width, Height, nullptr, samples).constBits());
        const auto t2 = std::chrono::steady_clock::now();
        single += seconds(t0, t1);
        multi += seconds(t1, t2);
        state.SetIterationTime(seconds(t1, t2));
    }
    state.counters["single_ms"] = 1000 * single / double(state.iterations());
    state.counters["ratio"] = multi / single;
    state.counters["target_ratio"] = 10;
}
BENCHMARK(BM_AntiAliasedFrame)->Arg(3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The whole interactive path of the host: scene sync, record, trace at 1 / 4, scale up,
// light visuals on top.
void BM_DownscaledHostFrame(benchmark::State& state)
{
    static bool setUp = []
    {
        oxScenegraph::getRoot()->addChild(oxMeshNodes::makeNode(*millionTriangles()));
        oxRaytracingManager::createRaytracingUtils();
        oxAnalysisSettings::hostRecord()->setAnalysisMode(osg::ReflectionLinesAnalysis);
        oxOSGWidget::setRenderingMode(oxOSGWidget::AnalysisRenderingMode, -1);
        oxRenderCamera camera = framedCamera();
        oxOSGWidget::setCamera(camera.from, camera.fovDegrees);
        oxRenderer::the().setLookAt(camera.at, camera.up);
        oxRenderer::the().syncScene();
        return true;
    }();
    (void)setUp;
    oxOSGWidget::enableRaytracingDownscale(1);
    oxOSGWidget::setRaytracingDownscaleFactor(unsigned(state.range(0)));
    oxRenderer::the().renderView({Width, Height});
    for (auto _ : state)
        benchmark::DoNotOptimize(oxRenderer::the().renderView({Width, Height}).constBits());
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["target_fps"] = 30;
}
BENCHMARK(BM_DownscaledHostFrame)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
