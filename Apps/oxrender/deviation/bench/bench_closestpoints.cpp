// Exact closest points on real CAD parts (Debian's occt-misc): 1 M and 10 M points scattered near
// Motor-c's 223 faces, and the release compare of Motor-c and CrankArm against themselves and
// against a moved copy. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxCompare.h"
#include "oxDeviation.h"
#include "oxRenderTestSupport.h"
#include "oxRenderScene.h"

#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <QDir>
#include <QTemporaryDir>
#include <TopoDS_Shape.hxx>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ctime>
#include <memory>
#include <random>
#include <string>

namespace
{
const std::string Data = "/usr/share/opencascade/data/occ/";

bool loadPart(const std::string& path, oxRenderScene& scene)
{
    scene.setForPointQueries(true);
    std::string error;
    if (!loadCadPart(scene, path, error))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    scene.handle();
    return true;
}

// count points on the part's triangles, spread by area, each moved along its triangle's normal by
// up to spread either way; the same points every run.
std::vector<osg::Pnt3f> nearPoints(const oxRenderScene& scene, size_t count, float spread,
                                   std::vector<float>* offsets = nullptr)
{
    const oxRenderMesh& mesh = scene.mesh(0);
    std::vector<double> cumulative;
    double area = 0;
    for (size_t t = 0; t < mesh.triangleCount(); ++t)
    {
        const osg::UInt32* i = &mesh.indices[3 * t];
        area +=
            0.5 *
            (mesh.positions[i[1]] - mesh.positions[i[0]]).cross(mesh.positions[i[2]] - mesh.positions[i[0]]).length();
        cumulative.push_back(area);
    }
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<osg::Pnt3f> points(count);
    for (osg::Pnt3f& p : points)
    {
        const size_t t =
            size_t(std::lower_bound(cumulative.begin(), cumulative.end(), unit(random) * area) - cumulative.begin());
        const osg::UInt32* i = &mesh.indices[3 * std::min(t, mesh.triangleCount() - 1)];
        float a = float(unit(random)), b = float(unit(random));
        if (a + b > 1)
            a = 1 - a, b = 1 - b;
        const osg::Vec3f ab = mesh.positions[i[1]] - mesh.positions[i[0]],
                         ac = mesh.positions[i[2]] - mesh.positions[i[0]];
        osg::Vec3f n = ab.cross(ac);
        n.normalize();
        const float offset = spread * float(2 * unit(random) - 1);
        p = mesh.positions[i[0]] + ab * a + ac * b + n * offset;
        if (offsets)
            offsets->push_back(offset);
    }
    return points;
}

float partSize(const oxRenderScene& scene)
{
    osg::Pnt3f low, high;
    scene.bounds(low, high);
    return (high - low).length();
}

void benchPoints(const oxRenderScene& part, const char* name, size_t count)
{
    const std::vector<osg::Pnt3f> points = nearPoints(part, count, 0.01f * partSize(part));
    std::vector<oxClosestPoint> out;
    const std::clock_t cpu = std::clock();
    const double wall = seconds([&] { oxDeviation::closestPoints(part, points, out); });
    size_t missing = 0;
    for (const oxClosestPoint& c : out)
        missing += !std::isfinite(c.distance);
    std::printf("%s, %zu points within 1 %% of its size: %.3f s, CPU %.3f s, %zu without a distance\n", name, count,
                wall, double(std::clock() - cpu) / CLOCKS_PER_SEC, missing);
}

// The part moved by a thousandth of its size: every face modified.
bool writeMoved(const std::string& from, const std::string& to, double by)
{
    TopoDS_Shape shape;
    BRep_Builder builder;
    if (!BRepTools::Read(shape, from.c_str(), builder))
        return false;
    gp_Trsf move;
    move.SetTranslation(gp_Vec(by, -by, by));
    return BRepTools::Write(BRepBuilderAPI_Transform(shape, move, true).Shape(), to.c_str());
}

void benchCompare(const std::string& file, const QTemporaryDir& dir)
{
    oxRenderScene part, moved;
    const std::string movedPath = QDir(dir.path()).filePath(QString::fromStdString(file)).toStdString();
    if (!loadPart(Data + file, part))
        return;
    if (!writeMoved(Data + file, movedPath, 1e-3 * partSize(part) / std::sqrt(3.0)) || !loadPart(movedPath, moved))
        return;
    for (const oxRenderScene* other : {&part, &moved})
    {
        oxCompareResult r;
        std::string error;
        const std::clock_t cpu = std::clock();
        const double wall = seconds([&] { oxCompare::run(part, *other, oxCompareOptions(), r, error); });
        std::printf("compare %s against %s: %.3f s, CPU %.3f s, %zu faces, Hausdorff %.3g, %zu unchanged\n",
                    file.c_str(), other == &part ? "itself" : "a moved copy", wall,
                    double(std::clock() - cpu) / CLOCKS_PER_SEC, r.oldFaces.size(), r.hausdorff(),
                    r.count(r.oldFaces, oxFaceChange::Unchanged));
    }
}

// Writes the closest points of points near Motor-c and CrankArm to file, or where file exists,
// compares them with those written there (by an earlier build): the largest differences.
bool check(const std::string& file)
{
    std::vector<float> now;
    for (const char* part : {"Motor-c.brep", "CrankArm.brep"})
    {
        oxRenderScene scene;
        if (!loadPart(Data + part, scene))
            return false;
        std::vector<oxClosestPoint> out;
        std::vector<float> offsets;
        oxDeviation::closestPoints(scene, nearPoints(scene, 200000, 0.01f * partSize(scene), &offsets), out);
        size_t against = 0;
        for (size_t i = 0; i < out.size(); ++i)
            against += std::fabs(offsets[i]) > 1e-3f * partSize(scene) && (out[i].distance < 0) != (offsets[i] < 0);
        std::printf("%s: %zu signed against the side the point was moved to\n", part, against);
        for (const oxClosestPoint& c : out)
            now.insert(now.end(),
                       {c.distance, c.point[0], c.point[1], c.point[2], c.normal[0], c.normal[1], c.normal[2]});
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
    {
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(now.data()), long(now.size() * 4));
        std::printf("wrote %zu closest points to %s\n", now.size() / 7, file.c_str());
        return true;
    }
    std::vector<float> before(now.size());
    in.read(reinterpret_cast<char*>(before.data()), long(before.size() * 4));
    double distance = 0, point = 0;
    size_t signs = 0, differ = 0, further = 0;
    for (size_t i = 0; i < now.size(); i += 7)
    {
        distance = std::max(distance, double(std::fabs(now[i] - before[i])));
        further += std::fabs(now[i]) > std::fabs(before[i]);
        signs += (now[i] < 0) != (before[i] < 0);
        double moved = 0;
        for (int k = 1; k < 4; ++k)
            moved = std::max(moved, double(std::fabs(now[i + k] - before[i + k])));
        point = std::max(point, moved);
        differ += now[i] != before[i] || moved > 0;
    }
    std::printf("%zu closest points against %s: %zu differ (%zu further than before), largest distance change %.3g, "
                "point change %.3g, %zu signs changed\n",
                now.size() / 7, file.c_str(), differ, further, distance, point, signs);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    // bench_closestpoints [points|compare] [count]: one part alone, for a profiler;
    // bench_closestpoints check FILE: the results written to FILE, or compared with it.
    const std::string only = argc > 1 ? argv[1] : "";
    if (only == "check")
        return argc > 2 && check(argv[2]) ? 0 : 1;
    const size_t count = argc > 2 ? size_t(std::atof(argv[2])) : 0;
    if (only.empty() || only == "points")
    {
        oxRenderScene motor;
        if (!loadPart(Data + "Motor-c.brep", motor))
            return 1;
        for (size_t n : count ? std::vector<size_t>{count} : std::vector<size_t>{1000000, 10000000})
            benchPoints(motor, "Motor-c", n);
    }
    if (only.empty() || only == "compare")
    {
        QTemporaryDir dir;
        for (const char* file : {"Motor-c.brep", "CrankArm.brep"})
            benchCompare(file, dir);
    }
    return 0;
}
