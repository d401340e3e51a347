// The data-quality check: the whole default check of a 500-face B-spline part after it is read,
// and on Debian's Open CASCADE sample parts beside Open CASCADE's own checkers (BRepCheck_Analyzer
// and BOPAlgo_ArgumentAnalyzer with the tests BRepAlgoAPI_Check runs) on the same shapes. Figures in BENCHMARKS.md.
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxCheckModel.h"

#include <BOPAlgo_ArgumentAnalyzer.hxx>
#include <BRepCheck_Analyzer.hxx>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace
{
const int Runs = 5;

std::shared_ptr<oxCadMesh> read(const std::string& path)
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    if (!oxCadImporter::load(path, oxCadOptions(), mesh, cad, error))
        std::fprintf(stderr, "%s\n", error.c_str());
    return cad;
}

size_t errors(const oxCheckResult& r)
{
    size_t n = 0;
    for (size_t i = 0; i < r.counts.size(); ++i)
        n += r.counts[i];
    return n;
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
    std::vector<double> times;
    oxCheckResult result;
    for (int i = 0; i < Runs; ++i)
        times.push_back(seconds([&] { result = oxCheck::run(*cad->model, oxCheckProfile::standard()); }));
    std::printf("panel, %zu B-spline faces: the default check %.0f ms (target < 1000), verdict %s, %zu findings\n",
                cad->model->faceCount(), 1e3 * median(times), oxCheckResult::verdictName(result.verdict),
                errors(result));
}

// Ours (default profile, without self-intersection) against Open CASCADE's validity check and its
// argument analyser's tests, which include self-intersection.
void benchPart(const std::string& path)
{
    const std::shared_ptr<oxCadMesh> cad = read(path);
    if (!cad)
        return;
    const TopoDS_Shape& shape = cad->model->impl().shape;
    oxCheckResult result;
    const double ours = seconds([&] { result = oxCheck::run(*cad->model, oxCheckProfile::standard()); });
    bool valid = false;
    const double analyzer = seconds([&] { valid = BRepCheck_Analyzer(shape).IsValid(); });
    bool faulty = false;
    const double arguments = seconds(
        [&]
        {
            BOPAlgo_ArgumentAnalyzer a;
            a.SetShape1(shape);
            // What BRepAlgoAPI_Check asks of an argument: its type, self-intersection, small edges
            // and curves on surfaces.
            a.ArgumentTypeMode() = true;
            a.SelfInterMode() = true;
            a.SmallEdgeMode() = true;
            a.CurveOnSurfaceMode() = true;
            a.Perform();
            faulty = a.HasFaulty();
        });
    std::printf("%-28s %5zu faces: ours %8.1f ms (%s, %zu findings); BRepCheck_Analyzer %8.1f ms (%s), "
                "BOPAlgo_ArgumentAnalyzer %9.1f ms (%s)\n",
                QFileInfo(QString::fromStdString(path)).fileName().toUtf8().constData(), cad->model->faceCount(),
                1e3 * ours, oxCheckResult::verdictName(result.verdict), errors(result), 1e3 * analyzer,
                valid ? "valid" : "invalid", 1e3 * arguments, faulty ? "faulty" : "clean");
}
} // namespace

int main()
{
    benchPanel();
    const QString data = "/usr/share/opencascade/data/";
    for (const char* part : {"occ/bottle.brep", "occ/CrankArm.brep", "occ/Motor-c.brep", "occ/Pump_Nut.brep",
                             "occ/Pump_TopCover.brep", "iges/bearing.iges", "iges/hammer.iges"})
        if (QFileInfo::exists(data + part))
            benchPart((data + part).toStdString());
    return 0;
}
