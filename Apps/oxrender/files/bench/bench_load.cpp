// Mesh files to their first curvature statistics: a 1 M-triangle torus written as a binary PLY
// and a binary STL, loaded the way the host loads a mesh (importer child, scene graph node,
// scene sync), then its curvatures estimated and their statistics taken. Each stage separately,
// over several runs. Figures in BENCHMARKS.md.
#include "OSGSurfaceAnalysisModes.h"
#include "oxCurvatureStats.h"
#include "oxMeshFileWriter.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxMeshNodes.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace
{
double seconds(const std::function<void()>& fn)
{
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One run's stages, in the order they happen. The last two are outside the sum: the BVH, built
// when the first frame asks for it, and the scene sync's copy of the node's geometry alone.
const char* const StageNames[] = {"read (child)", "weld",        "transfer",        "normals",
                                  "node",         "scene",       "curvature",       "stats",
                                  "first stats",  "(BVH later)", "(mesh from node)"};
const int StageCount = 11;

bool loadOnce(const std::string& path, std::vector<double>& stage, size_t& vertices)
{
    oxMeshImporter::File file;
    oxMeshImporter::Stages s;
    std::string error;
    if (!oxModelImporter::read(path, file, error, 30.f, oxCadOptions(), &s))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    osg::NodePtr node;
    const double makeNode = seconds([&] { node = oxMeshImporter::makeNode(file); });
    file = oxMeshImporter::File();
    oxRenderScene scene;
    const double sync = seconds([&] { scene.sync(node); });
    const double estimate = seconds([&] { scene.prepareCurvatures(); });
    oxCurvatureStats stats;
    const double statistics =
        seconds([&] { oxCurvatureStats::compute(scene, osg::MeanCurvature, 32, 2, 98, stats, error); });
    vertices = scene.mesh(0).vertexCount();
    const double all = s.total + makeNode + sync + estimate + statistics;
    const double bvh = seconds([&] { scene.handle(); });
    const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getChild(0)->getCore());
    const double fromNode = seconds([&] { oxMeshNodes::fromGeometry(*geometry, osg::Matrix()); });
    stage = {s.read, s.weld, s.transfer, s.normals, makeNode, sync, estimate, statistics, all, bvh, fromNode};
    return true;
}

void report(const std::string& path, int runs)
{
    std::vector<std::vector<double>> stages(StageCount);
    size_t vertices = 0;
    for (int run = 0; run < runs; ++run)
    {
        std::vector<double> stage;
        if (!loadOnce(path, stage, vertices))
            std::exit(1);
        for (int i = 0; i < StageCount; ++i)
            stages[size_t(i)].push_back(stage[size_t(i)]);
    }
    std::printf("%s, %.1f MB, %zu welded vertices; seconds over %d runs: median (min to max)\n",
                QFileInfo(QString::fromStdString(path)).fileName().toUtf8().constData(),
                QFileInfo(QString::fromStdString(path)).size() / 1048576.0, vertices, runs);
    for (int i = 0; i < StageCount; ++i)
    {
        std::vector<double> v = stages[size_t(i)];
        std::sort(v.begin(), v.end());
        std::printf("  %-12s %6.3f  (%.3f to %.3f)%s\n", StageNames[i], v[v.size() / 2], v.front(), v.back(),
                    i == StageCount - 3 ? "  target < 1 s" : "");
    }
}
} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const std::string ply = QDir(dir.path()).filePath("torus.ply").toStdString();
    const std::string stl = QDir(dir.path()).filePath("torus.stl").toStdString();
    // 1000 around by 500 along the tube: 500 000 vertices, 1 000 000 triangles.
    const oxRenderMesh torus = oxSampleSurfaces::torus(3.f, 1.f, 1000);
    if (!oxMeshFileWriter::writePly(torus, ply) || !oxMeshFileWriter::writeStl(torus, stl))
    {
        std::fprintf(stderr, "cannot write the torus files in %s\n", dir.path().toUtf8().constData());
        return 1;
    }
    std::printf("torus: %zu triangles, %zu vertices\n", torus.triangleCount(), torus.vertexCount());
    report(ply, runs);
    report(stl, runs);
    return 0;
}
