// oxhost check over a batch of parts as a release gate runs it: copies of Debian's sample parts
// (occt-misc) and of our own samples, 200 unless given, checked with --jobs 1 and with --jobs 2
// into fresh folders, then the --jobs 2 batch again, where every part is sealed. Without the CAD
// cache, so that every copy is read. Usage: bench_checkbatch [parts]
#include "oxCadImporter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace
{
const char* const DebianParts[] = {
    "step/screw.step",   "occ/Pump_Nut.brep", "occ/Ball.brep",    "occ/Pump_TopCover.brep", "occ/fuse.brep",
    "occ/solid.brep",    "occ/mal_tige.brep", "occ/mal_vis.brep", "occ/mal_ecrou.brep",     "occ/wing.brep",
    "occ/wedge_ok.brep", "occ/CrankArm.brep", "occ/bottle.brep",  "occ/face.brep"};
const char* const DebianData = "/usr/share/opencascade/data/";

// The kinds of part the batch cycles through; empty when none can be had.
QStringList kinds(const QDir& dir)
{
    QStringList found;
    for (const char* part : DebianParts)
        if (QFile::exists(QString(DebianData) + part))
            found << QString(DebianData) + part;
    for (const char* sample : {"sphere.step", "filletedbox.igs", "joins.brep", "draftbox.step"})
    {
        const QString path = dir.filePath(sample);
        std::string error;
        if (oxCadImporter::writeSample(QFileInfo(path).completeBaseName().toStdString(), path.toStdString(), error))
            found << path;
        else
            std::fprintf(stderr, "bench_checkbatch: %s\n", error.c_str());
    }
    return found;
}

// CPU seconds of every finished child process and its descendants so far.
double childrenCpu()
{
    rusage u;
    ::getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Run
{
    double seconds = 0;
    double cpu = 0; // of oxhost and its part processes: the load, whatever the machine's other work
    int status = -1;
    QString summary; // the last line printed
};

Run check(const QString& parts, const QString& out, int jobs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OXHOST_NO_CACHE", "1");
    if (!env.contains("OXHOST_READER"))
        env.insert("OXHOST_READER", OXREADER);
    QProcess host;
    host.setProcessEnvironment(env);
    host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    const double cpu = childrenCpu();
    host.start(OXHOST, {"check", parts, "--jobs", QString::number(jobs), "--out", out});
    Run r;
    if (!host.waitForFinished(-1) || host.exitStatus() != QProcess::NormalExit)
        return r;
    r.seconds = timer.elapsed() / 1000.0;
    r.cpu = childrenCpu() - cpu;
    r.status = host.exitCode();
    const QStringList lines = QString::fromUtf8(host.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.summary = lines.isEmpty() ? QString() : lines.last();
    return r;
}

void report(const char* what, const Run& r)
{
    std::printf("%-28s %8.2f s wall %8.2f s CPU  (exit %d) %s\n", what, r.seconds, r.cpu, r.status,
                qPrintable(r.summary));
}
// What every checked part costs besides its read and check: the part's process and its reader
// started and ended, and the parent's bookkeeping; measured on copies of a single plane, whose read
// and check take next to nothing. The rest of the serial part is what --jobs cannot spread.
void fixedCost(const QDir& dir, int count)
{
    const QString plane = QString(DebianData) + "occ/face1.brep";
    if (!QFile::exists(plane) || !QDir().mkpath(dir.filePath("planes")))
        return;
    for (int i = 0; i < count; ++i)
        if (!QFile::copy(plane, dir.filePath(QString("planes/%1.brep").arg(i))))
            return;
    const Run r = check(dir.filePath("planes"), dir.filePath("planes-out"), 1);
    report("single planes, --jobs 1", r);
    std::printf("fixed cost of a part: %.3f s CPU, %.3f s wall\n", r.cpu / count, r.seconds / count);
}
} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir dir;
    const QDir parts(dir.filePath("parts"));
    if (count < 1 || !dir.isValid() || !QDir().mkpath(parts.path()))
        return 1;
    const QStringList sources = kinds(QDir(dir.path()));
    if (sources.isEmpty())
    {
        std::fprintf(stderr, "bench_checkbatch: no parts to copy (install occt-misc)\n");
        return 1;
    }
    for (int i = 0; i < count; ++i)
    {
        const QFileInfo source(sources[i % sources.size()]);
        const QString name = QString("%1-%2").arg(i, 3, 10, QChar('0')).arg(source.fileName());
        if (!QFile::copy(source.filePath(), parts.filePath(name)))
            return 1;
    }
    std::printf("%d parts, %d kinds\n", count, int(sources.size()));
    const Run one = check(parts.path(), dir.filePath("one"), 1);
    report("--jobs 1", one);
    const Run two = check(parts.path(), dir.filePath("two"), 2);
    report("--jobs 2", two);
    const Run sealed = check(parts.path(), dir.filePath("two"), 2);
    report("--jobs 2 again, all sealed", sealed);
    if (one.status < 0 || two.status < 0 || sealed.status < 0)
        return 1;
    std::printf("speed-up of --jobs 2: %.2f x (target >= 1.8; on two idle cores at most %.2f x, the CPU ratio)\n",
                one.seconds / two.seconds, 2 * one.cpu / two.cpu);
    std::printf("sealed run / first run: %.3f (target < 0.1)\n", sealed.seconds / two.seconds);
    std::printf("CPU per part: %.3f s\n", one.cpu / count);
    fixedCost(QDir(dir.path()), std::min(count, 50));
    return 0;
}
