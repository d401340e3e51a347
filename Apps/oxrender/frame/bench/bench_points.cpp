// A scanned sheet from its file to its first frame: binary PLY files of a wavy sheet with normals,
// 1 000 x 1 000 and 3 163 x 3 163 points, each read the way the host reads it (reader program,
// transfer), put in a scene graph node and the render scene, its BVH built, and one 1280 x 800
// frame traced with one ray per pixel. Wall clock and CPU time per stage (the reader's CPU counted
// apart), and the largest resident set of this process. Figures in BENCHMARKS.md.
//   bench_points [points per side ...]   (default 1000 3163)
#include "benchTiming.h"
#include "oxAnalysisShading.h"
#include "oxModelImporter.h"
#include "oxPointCloud.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace
{
// The sheet z = sin(x / 7) cos(y / 11) over [0, 100]^2, with its unit normals; written row by
// row so that writing it takes no memory worth counting.
bool writeSheet(const std::string& path, int side)
{
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << (long long)side * side
        << "\nproperty float x\nproperty float y\nproperty float z\n"
           "property float nx\nproperty float ny\nproperty float nz\nend_header\n";
    std::vector<float> row(6 * size_t(side));
    const float step = 100.f / float(side - 1);
    for (int j = 0; j < side && out; ++j)
    {
        for (int i = 0; i < side; ++i)
        {
            const float x = float(i) * step, y = float(j) * step;
            const float dx = std::cos(x / 7.f) * std::cos(y / 11.f) / 7.f;
            const float dy = -std::sin(x / 7.f) * std::sin(y / 11.f) / 11.f;
            const float length = std::sqrt(dx * dx + dy * dy + 1.f);
            float* v = &row[6 * size_t(i)];
            v[0] = x, v[1] = y, v[2] = std::sin(x / 7.f) * std::cos(y / 11.f);
            v[3] = -dx / length, v[4] = -dy / length, v[5] = 1.f / length;
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * sizeof(float)));
    }
    return bool(out);
}

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

double peakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

struct Stage
{
    const char* name;
    double wall, cpu, readerCpu;
};

// Runs fn, noting its wall clock, this process's CPU and its finished children's CPU.
template <class Fn> Stage measure(const char* name, Fn fn)
{
    const double self = cpuSeconds(RUSAGE_SELF), children = cpuSeconds(RUSAGE_CHILDREN);
    const double wall = seconds(fn);
    return {name, wall, cpuSeconds(RUSAGE_SELF) - self, cpuSeconds(RUSAGE_CHILDREN) - children};
}

bool run(const QTemporaryDir& dir, int side)
{
    const std::string path = QDir(dir.path()).filePath(QString("sheet%1.ply").arg(side)).toStdString();
    if (!writeSheet(path, side))
    {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    // The peak from here on: the last file's stages, not an earlier one's.
    std::ofstream("/proc/self/clear_refs") << "5";
    std::vector<Stage> stages;
    oxMeshImporter::File file;
    std::string error;
    bool read = false;
    stages.push_back(measure("read (reader + transfer)",
                             [&] { read = oxModelImporter::read(path, file, error, 30.f, oxCadOptions()); }));
    if (!read)
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    oxRenderScene scene;
    stages.push_back(measure("scene set-up (node, sync)",
                             [&]
                             {
                                 const osg::NodePtr node = oxPointCloud::makeNode(std::move(file.points));
                                 scene.sync(node);
                             }));
    stages.push_back(measure("BVH build", [&] { scene.handle(); }));
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(-60.f, -80.f, 90.f);
    osg::Pnt3f low, high;
    scene.bounds(low, high);
    camera.frame(low, high, 1280.f / 800.f);
    oxAnalysisSettings plain;
    plain.ShadingMode = 0;
    QImage image;
    stages.push_back(
        measure("first frame (1280 x 800, 1 ray)",
                [&] { image = oxRaytracer().render(scene, camera, oxAnalysisShader(plain, false), 1280, 800); }));
    const char* keep = std::getenv("OX_BENCH_IMAGES");
    if (keep && *keep)
        image.save(QDir(keep).filePath(QString("sheet%1.png").arg(side)));
    std::printf("%d x %d points (%.0f MB)\n", side, side, double(QFileInfo(QString::fromStdString(path)).size()) / 1e6);
    Stage total{"total", 0, 0, 0};
    for (const Stage& s : stages)
    {
        std::printf("  %-34s %6.2f s wall  %6.2f s CPU  %6.2f s reader CPU\n", s.name, s.wall, s.cpu, s.readerCpu);
        total.wall += s.wall, total.cpu += s.cpu, total.readerCpu += s.readerCpu;
    }
    std::printf("  %-34s %6.2f s wall  %6.2f s CPU  %6.2f s reader CPU  target < 5 s\n", total.name, total.wall,
                total.cpu, total.readerCpu);
    std::printf("  largest resident set %.0f MB  target < 2048 MB\n", peakMegabytes());
    QFile::remove(QString::fromStdString(path));
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sides;
    for (int i = 1; i < argc; ++i)
        sides.push_back(std::max(2, std::atoi(argv[i])));
    if (sides.empty())
        sides = {1000, 3163};
    QTemporaryDir dir;
    for (int side : sides)
        if (!run(dir, side))
            return 1;
    return 0;
}
