// Curvature combs on CAD parts: the edge combs of every edge of a part of about 1 000 edges, and
// 20 section combs through a part of about 200 000 triangles. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxCurvatureComb.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
// The panel sample with rows x cols faces, triangulated with the given deflection.
bool load(const QTemporaryDir& dir, int rows, int cols, int poles, double deflection, oxRenderScene& scene)
{
    const std::string path = QDir(dir.path()).filePath(QString("panel-%1x%2.brep").arg(rows).arg(cols)).toStdString();
    std::string error;
    oxCadOptions options;
    options.deflection = deflection;
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    if (!oxCadImporter::writeSample("panel", path, error, rows, cols, poles) ||
        !oxCadImporter::load(path, options, *mesh, cad, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    scene.setMeshes({mesh}, {cad});
    std::printf("part: %zu faces, %zu shared and %zu free edges, %zu triangles\n", cad->model->faceCount(),
                cad->model->sharedEdgeCount(), cad->model->freeEdgeCount(), mesh->triangleCount());
    return true;
}
} // namespace

int main()
{
    QTemporaryDir dir;
    oxRenderScene scene;
    if (!load(dir, 22, 22, 6, oxCadOptions::DefaultDeflection, scene))
        return 1;
    std::vector<double> times;
    size_t combs = 0, teeth = 0;
    for (int run = 0; run < 5; ++run)
        times.push_back(seconds(
            [&]
            {
                const std::vector<oxComb> edges = oxCurvatureComb::edges(scene, 64);
                combs = edges.size();
                teeth = 0;
                for (const oxComb& c : edges)
                    teeth += c.points.size();
            }));
    std::printf("edge combs of %zu edges, %zu teeth: %.3f s (target < 0.2 s)\n", combs, teeth, median(times));

    if (!load(dir, 5, 8, 22, 0.000007, scene))
        return 1;
    oxHostAnalysisSettings settings;
    settings.CombActive = true;
    settings.CombEdges = false;
    settings.CombSections = 20;
    settings.CombSectionNormal = osg::Vec3f(1.f, 0.2f, 0.f);
    times.clear();
    for (int run = 0; run < 5; ++run)
        times.push_back(seconds([&] { combs = oxCurvatureComb::fromSettings(scene, settings).size(); }));
    std::printf("20 section planes, 64 samples per curve, %zu section combs: %.3f s (target < 1 s)\n", combs,
                median(times));
    times.clear();
    size_t lines = 0;
    settings.CombEdges = true;
    for (int run = 0; run < 5; ++run)
        times.push_back(seconds([&] { lines = oxCurvatureComb::lines(scene, settings).size(); }));
    std::printf("the frame's comb lines (sections and every edge, scale fitted), %zu lines: %.3f s\n", lines,
                median(times));

    // What each frame pays once the lines are kept: drawing them over a traced 1280 x 800 frame.
    const std::vector<oxOverlay::Polyline> kept = oxCurvatureComb::lines(scene, settings);
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(100.f, -120.f, 160.f);
    camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    camera.frame(min, max, 1.6f);
    std::vector<float> depth;
    const QImage frame =
        oxRaytracer().render(scene, camera, oxAnalysisShader(oxAnalysisSettings(), false), 1280, 800, &depth);
    times.clear();
    for (int run = 0; run < 10; ++run)
    {
        QImage image = frame.copy();
        times.push_back(seconds([&] { oxOverlay::drawPolylines(image, kept, camera, depth, 1280, 800, 0.01f); }));
    }
    std::printf("drawing them over a 1280 x 800 frame: %.1f ms\n", 1e3 * median(times));
    return 0;
}
