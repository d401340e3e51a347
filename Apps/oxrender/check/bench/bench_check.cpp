// The data-quality check: the whole default check of a 500-face B-spline part after it is read,
// and on every part of Debian's occt-misc beside Open CASCADE's own checkers (BRepCheck_Analyzer
// and BOPAlgo_ArgumentAnalyzer with the tests BRepAlgoAPI_Check runs) on the same shapes, with the
// ratio ours/theirs per part and in all. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxCheckModel.h"

#include <BOPAlgo_ArgumentAnalyzer.hxx>
#include <BRepCheck_Analyzer.hxx>

#include <QDir>
#include <QStringList>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace
{
const int Runs = 3;

std::shared_ptr<oxCadMesh> read(const std::string& path)
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    if (!oxCadImporter::load(path, oxCadOptions(), mesh, cad, error))
        std::fprintf(stderr, "%s\n", error.c_str());
    return cad;
}

// Wall and CPU seconds (all threads of the process) of fn: on a machine shared with other work the
// CPU time says more of what a run costs than the wall time.
std::pair<double, double> wallAndCpu(const std::function<void()>& fn)
{
    const std::clock_t start = std::clock();
    const double wall = seconds(fn);
    return {wall, double(std::clock() - start) / CLOCKS_PER_SEC};
}

size_t errors(const oxCheckResult& r)
{
    size_t n = 0;
    for (size_t i = 0; i < r.counts.size(); ++i)
        n += r.counts[i];
    return n;
}

// Open CASCADE's validity check and its argument analyser with the tests BRepAlgoAPI_Check runs
// (type, self-intersection, small edges, curves on surfaces), as FreeCAD's geometry check does.
void theirs(const TopoDS_Shape& shape, bool& valid, bool& faulty)
{
    valid = BRepCheck_Analyzer(shape).IsValid();
    BOPAlgo_ArgumentAnalyzer a;
    a.SetShape1(shape);
    a.ArgumentTypeMode() = true;
    a.SelfInterMode() = true;
    a.SmallEdgeMode() = true;
    a.CurveOnSurfaceMode() = true;
    a.Perform();
    faulty = a.HasFaulty();
}

// The profile with one criterion on, as the default has it; the others off.
oxCheckProfile only(oxCheckCriterion c)
{
    oxCheckProfile p = oxCheckProfile::standard();
    for (oxCheckProfile::Rule& rule : p.rules)
        rule.severity = oxCheckSeverity::Off;
    p.rule(c) = oxCheckProfile::standard().rule(c);
    return p;
}

// Each criterion the default profile has on, alone: where our time goes on a part.
void perCriterion(const oxCadModel& model)
{
    std::printf("    per criterion, wall / CPU ms:");
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        if (oxCheckProfile::standard().rule(c.criterion).severity != oxCheckSeverity::Off)
        {
            const oxCheckProfile p = only(c.criterion);
            const std::pair<double, double> t = wallAndCpu([&] { oxCheck::run(model, p); });
            std::printf(" %s %.1f / %.1f", c.code, 1e3 * t.first, 1e3 * t.second);
        }
    std::printf("\n");
}

void benchPanel()
{
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("panel.step").toStdString();
    std::string error;
    if (!oxCadImporter::writeSample("panel", path, error, 20, 25, 8))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return;
    }
    const std::shared_ptr<oxCadMesh> cad = read(path);
    if (!cad)
        return;
    std::vector<double> wall, cpu;
    oxCheckResult result;
    for (int i = 0; i < Runs; ++i)
    {
        const std::pair<double, double> t =
            wallAndCpu([&] { result = oxCheck::run(*cad->model, oxCheckProfile::standard()); });
        wall.push_back(t.first);
        cpu.push_back(t.second);
    }
    std::printf("panel, %zu B-spline faces: the default check %.0f ms (target < 1000), %.0f ms of CPU, verdict %s, "
                "%zu findings\n",
                cad->model->faceCount(), 1e3 * median(wall), 1e3 * median(cpu),
                oxCheckResult::verdictName(result.verdict), errors(result));
    perCriterion(*cad->model);
}

struct Totals
{
    double ours = 0, theirs = 0, logRatios = 0;
    int parts = 0, over = 0;
};

// Ours (default profile, without self-intersection) against theirs (which includes it), each the
// median of Runs taking turns; the criteria's times where ours is over 1.5 times theirs.
void benchPart(const std::string& path, Totals& totals)
{
    const std::shared_ptr<oxCadMesh> cad = read(path);
    if (!cad)
        return;
    const TopoDS_Shape& shape = cad->model->impl().shape;
    oxCheckResult result;
    bool valid = false, faulty = false;
    auto ourCheck = [&] { result = oxCheck::run(*cad->model, oxCheckProfile::standard()); };
    auto theirCheck = [&] { theirs(shape, valid, faulty); };
    // A part that takes seconds is timed once: the whole set must fit in a sitting.
    std::pair<double, double> t(seconds(ourCheck), seconds(theirCheck));
    if (t.first + t.second < 2)
        t = alternate(ourCheck, theirCheck, Runs);
    const double ratio = t.first / std::max(t.second, 1e-9);
    std::printf("%-34s %5zu faces: ours %8.1f ms (%s, %zu findings); theirs %8.1f ms (%s, %s); ours/theirs %.2f\n",
                QFileInfo(QString::fromStdString(path)).fileName().toUtf8().constData(), cad->model->faceCount(),
                1e3 * t.first, oxCheckResult::verdictName(result.verdict), errors(result), 1e3 * t.second,
                valid ? "valid" : "invalid", faulty ? "faulty" : "clean", ratio);
    if (ratio > 1.5)
        perCriterion(*cad->model);
    totals.ours += t.first;
    totals.theirs += t.second;
    totals.logRatios += std::log(ratio);
    totals.parts += 1;
    totals.over += ratio > 1.5;
}
} // namespace

// bench_check [PART...]: the panel, then the parts named, or else every part of Debian's occt-misc.
int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each part's line as it is measured
    benchPanel();
    QStringList parts;
    for (int i = 1; i < argc; ++i)
        parts << QString::fromLocal8Bit(argv[i]);
    if (parts.isEmpty())
        for (const char* folder : {"occ", "step", "iges"})
            for (const QFileInfo& f :
                 QDir(QString("/usr/share/opencascade/data/") + folder)
                     .entryInfoList({"*.brep", "*.step", "*.stp", "*.iges", "*.igs"}, QDir::Files, QDir::Name))
                parts << f.filePath();
    Totals totals;
    for (const QString& part : parts)
        benchPart(part.toStdString(), totals);
    if (totals.parts > 0)
        std::printf("%d parts: ours %.0f ms, theirs %.0f ms, ours/theirs %.2f in all, %.2f geometric mean per part; "
                    "%d over 1.5\n",
                    totals.parts, 1e3 * totals.ours, 1e3 * totals.theirs, totals.ours / totals.theirs,
                    std::exp(totals.logRatios / totals.parts), totals.over);
    return 0;
}
