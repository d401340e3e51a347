// Curvature combs on CAD parts: the edge combs of every edge of a part of about 1 000 edges, and
// 20 section combs through a part of about 200 000 triangles. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxCurvatureComb.h"
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
    return 0;
}
