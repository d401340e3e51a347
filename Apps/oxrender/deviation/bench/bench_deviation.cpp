// The deviation: distances of a one-million-vertex model to a one-million-triangle mesh reference
// and to a 200-face CAD reference, and the best fit of 200 000 points. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxAlignment.h"
#include "oxCadImporter.h"
#include "oxDeviation.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace
{
const int Runs = 5;

size_t vertexCount(const oxRenderScene& scene)
{
    size_t n = 0;
    for (size_t m = 0; m < scene.meshCount(); ++m)
        n += scene.mesh(m).vertexCount();
    return n;
}

// Every vertex moved along its normal, so that the model lies off the reference.
oxRenderMesh offset(oxRenderMesh mesh, float by)
{
    for (size_t v = 0; v < mesh.vertexCount() && mesh.hasNormals(); ++v)
        for (int k = 0; k < 3; ++k)
            mesh.positions[v][k] += mesh.normals[v][k] * by;
    return mesh;
}

// Median wall seconds, and the CPU seconds of all threads in that run: on a machine shared with
// other builds, CPU / 2 says what the two cores would take alone.
std::pair<double, double> timeCompute(const oxRenderScene& model, const oxRenderScene& reference)
{
    std::vector<std::pair<double, double>> t;
    for (int i = 0; i < Runs; ++i)
    {
        const std::clock_t cpu = std::clock();
        const double wall = seconds([&] { oxDeviation::compute(model, reference); });
        t.emplace_back(wall, double(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void benchMesh()
{
    oxRenderScene reference, model;
    reference.setForPointQueries(true);
    reference.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125))});
    model.setMeshes({std::make_shared<oxRenderMesh>(offset(oxSampleSurfaces::teapot(10.f, 176), 0.05f))});
    const double bvh = seconds([&] { reference.handle(); });
    const auto [wall, cpu] = timeCompute(model, reference);
    std::printf("mesh reference, %zu triangles (BVH %.3f s): %zu model vertices %.3f s, CPU %.3f s (target < 1 s)\n",
                reference.triangleCount(), bvh, vertexCount(model), wall, cpu);
}

bool benchCad()
{
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("panel.step").toStdString();
    std::string error;
    auto part = std::make_shared<oxRenderMesh>(), fine = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad, fineCad;
    oxCadOptions options, fineOptions;
    fineOptions.deflection = 0.0000007;
    if (!oxCadImporter::writeSample("panel", path, error, 10, 20, 8) ||
        !oxCadImporter::load(path, options, *part, cad, error) ||
        !oxCadImporter::load(path, fineOptions, *fine, fineCad, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    oxRenderScene reference, model;
    reference.setForPointQueries(true);
    reference.setMeshes({part}, {cad});
    model.setMeshes({std::make_shared<oxRenderMesh>(offset(*fine, 0.3f))});
    reference.handle();
    const auto [wall, cpu] = timeCompute(model, reference);
    std::printf("CAD reference, %zu faces, %zu triangles: %zu model vertices %.3f s, CPU %.3f s (target < 3 s)\n",
                cad->model->faceCount(), part->triangleCount(), vertexCount(model), wall, cpu);
    return true;
}

void benchAlign()
{
    oxRenderScene reference;
    reference.setForPointQueries(true);
    reference.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125))});
    reference.handle();
    oxRenderMesh moved = oxSampleSurfaces::teapot(10.f, 78);
    osg::Matrix m;
    m.setTransform(osg::Vec3f(2.f, -1.5f, 1.f), osg::Quaternion(osg::Vec3f(0.3f, 1.f, 0.2f), 0.0873f),
                   osg::Vec3f(1.f, 1.f, 1.f));
    moved.transform(m);
    std::vector<std::pair<double, double>> t;
    oxAlignment::Result fit;
    std::string error;
    for (int i = 0; i < Runs; ++i)
    {
        const std::clock_t cpu = std::clock();
        const double wall = seconds([&] { oxAlignment::align(moved.positions, reference, 50, fit, error); });
        t.emplace_back(wall, double(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
    std::sort(t.begin(), t.end());
    std::printf("align %zu points, %d iterations, rms %.2g -> %.2g: %.3f s, CPU %.3f s (target < 2 s)\n",
                moved.vertexCount(), fit.iterations, fit.rmsBefore, fit.rmsAfter, t[Runs / 2].first,
                t[Runs / 2].second);
}
} // namespace

int main(int argc, char** argv)
{
    // bench_deviation [mesh|cad|align]: one part alone, for a profiler.
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "mesh")
        benchMesh();
    if ((only.empty() || only == "cad") && !benchCad())
        return 1;
    if (only.empty() || only == "align")
        benchAlign();
    return 0;
}
