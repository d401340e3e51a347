#include "oxHostCheckBatch.h"
#include "oxHostCheckOutputs.h"

#include "oxAtomicFile.h"
#include "oxCadImporter.h"
#include "oxHostCheck.h"
#include "oxIsolatedProcess.h"
#include "oxMeshImporter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include <limits.h>
#include <sched.h>
#include <unistd.h>

#ifndef OXHOST_VERSION
#define OXHOST_VERSION "unknown"
#endif

using oxHostCheckBatch::Status;

namespace
{
// A part of the batch: its file, its result's file, and what came of it.
struct Part
{
    std::string file;
    std::string json;
    oxCheckResult result;
    bool done = false;
    bool sealed = false; // unchanged since its result was written: not checked again
};

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// part.step -> part.check.json, and part-2.check.json for the next part.step from another folder.
std::string jsonName(const std::string& path, std::set<std::string>& taken)
{
    const std::string base = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
    std::string name = base + ".check.json";
    for (int n = 2; !taken.insert(name).second; ++n)
        name = base + "-" + std::to_string(n) + ".check.json";
    return name;
}

oxCheckResult errorResult(const std::string& source, const std::string& profile, const std::string& why)
{
    oxCheckResult r;
    r.source = source;
    r.profile = profile;
    r.verdict = oxCheckResult::Error;
    r.reason = why;
    return r;
}

// A part's JSON as a result and its seal; false, with why, for anything but a whole result.
bool readResultFile(const std::string& path, oxCheckResult& r, std::string& seal, std::string& why)
{
    return oxHostCheckOutputs::readPart(path, r, why, &seal);
}

// The earlier result of a part stands when it is whole, of the same file, and sealed with the
// seal the part has now. Errors are never sealed: they are tried again.
bool sealedResult(Part& part, const std::string& seal)
{
    std::string kept, why;
    oxCheckResult r;
    if (seal.empty() || !readResultFile(part.json, r, kept, why) || kept != seal || r.source != part.file ||
        r.verdict == oxCheckResult::Error)
        return false;
    part.result = std::move(r);
    part.sealed = true;
    return true;
}

std::string verdictLine(const Part& part)
{
    const oxCheckResult& r = part.result;
    const std::string unchanged = part.sealed ? ", unchanged since its last check" : "";
    if (r.verdict == oxCheckResult::Error)
        return r.source + ": error: " + r.reason;
    size_t errors = 0, warnings = 0;
    for (const oxCheckFinding& f : r.findings)
        (f.severity == oxCheckSeverity::Error ? errors : warnings) += 1;
    return r.source + ": " + oxCheckResult::verdictName(r.verdict) + " (" + std::to_string(errors) + " errors, " +
           std::to_string(warnings) + " warnings shown" + unchanged + ")";
}

// What the user sees while the batch runs: on a terminal one progress line overwritten in place
// ("[37/200] screw.step pass") with fails and errors kept above it; otherwise a line per part.
class Progress
{
public:
    explicit Progress(size_t total) : _total(total), _terminal(::isatty(STDOUT_FILENO) == 1) {}

    void partDone(const Part& part)
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        ++_done;
        const oxCheckResult::Verdict v = part.result.verdict;
        if (!_terminal)
            std::printf("%s\n", verdictLine(part).c_str());
        else
        {
            if (v == oxCheckResult::Fail || v == oxCheckResult::Error)
                std::printf("\r\033[K%s\n", verdictLine(part).c_str());
            const std::string name = QFileInfo(QString::fromStdString(part.file)).fileName().toStdString();
            std::printf("\r\033[K[%zu/%zu] %s %s", _done, _total, name.c_str(), oxCheckResult::verdictName(v));
        }
        std::fflush(stdout);
    }

    void finish()
    {
        if (_terminal && _done > 0)
            std::printf("\r\033[K");
        std::fflush(stdout);
    }

private:
    std::mutex _mutex;
    size_t _total, _done = 0;
    bool _terminal;
};

// Ctrl+C and SIGTERM stop the batch: no part is started after, running ones are killed.
std::atomic<bool> g_stop{false};

void onStop(int)
{
    g_stop = true;
}

class StopOnSignals
{
public:
    StopOnSignals()
    {
        g_stop = false;
        struct sigaction stop = {};
        stop.sa_handler = onStop;
        sigemptyset(&stop.sa_mask);
        ::sigaction(SIGINT, &stop, &_int);
        ::sigaction(SIGTERM, &stop, &_term);
    }
    ~StopOnSignals()
    {
        ::sigaction(SIGINT, &_int, nullptr);
        ::sigaction(SIGTERM, &_term, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    struct sigaction _int, _term;
};

std::string selfProgram()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, size_t(n)) : std::string("oxhost");
}

// The checker of one part: oxhost in its part mode, or OXHOST_CHECKER, which tests stand in.
std::vector<std::string> checker()
{
    const char* set = std::getenv("OXHOST_CHECKER");
    if (set && *set)
        return {set};
    return {selfProgram(), "check", oxHostCheckBatch::PartMode};
}

// Why a part's process gave no result, in the user's words; empty when it did, or was stopped.
std::string childProblem(const oxIsolatedProcess::Ending& e, const std::string& file, int seconds,
                         const std::string& answer)
{
    typedef oxIsolatedProcess::Ending E;
    const std::string of = "the check of " + quoted(file);
    switch (e.kind)
    {
    case E::Answered:
    case E::Cancelled:
    case E::Interrupted:
        return std::string();
    case E::NotStarted:
        return "cannot start " + of + ": " + e.problem;
    case E::TimedOut:
        return of + " took longer than " + std::to_string(seconds) + " s and was stopped; the file is probably damaged";
    case E::Crashed:
        return of + " crashed (signal " + std::to_string(e.signal) + "); the file is probably damaged";
    case E::OutOfMemory:
        return of + " needed more than the " + std::to_string(e.megabytes) +
               " MiB of memory it may use; the file is probably damaged (OXHOST_READER_MEMORY_MB allows more)";
    case E::Failed:
        break;
    }
    return of + " failed" + (answer.empty() ? std::string() : ": " + answer);
}

bool saveJson(const std::string& path, const std::string& json)
{
    std::string why;
    if (oxAtomicFile::save(path, json, why))
        return true;
    std::fprintf(stderr, "oxhost: check: cannot write %s: %s\n", quoted(path).c_str(), why.c_str());
    return false;
}
} // namespace

namespace
{
struct Batch
{
    Batch(const oxCheckProfile& p, const oxHostCheckBatch::Options& o, size_t total)
        : profile(p), options(o), progress(total)
    {
    }
    const oxCheckProfile& profile;
    const oxHostCheckBatch::Options& options;
    const std::vector<std::string> program = checker();
    std::vector<Part> parts;
    std::atomic<size_t> next{0};
    Progress progress;
};

// Reads and checks one part in its own process, which writes its result; or takes the sealed
// result of an earlier run. False when the batch was stopped before the part had a result.
bool checkOne(Part& part, const Batch& b)
{
    if (QFileInfo::exists(QString::fromStdString(part.json)) &&
        sealedResult(part, oxHostCheckBatch::seal(part.file, b.profile)))
        return true;
    // The result of the file as it was must not stand for it if this check does not finish.
    QFile::remove(QString::fromStdString(part.json));
    const int seconds = b.options.seconds > 0 ? b.options.seconds : oxHostCheckBatch::partSeconds(part.file);
    std::string answer;
    typedef oxIsolatedProcess::Ending E;
    const E e = oxIsolatedProcess::runProgram(b.program, {part.file, b.options.profile, part.json}, seconds, answer,
                                              oxIsolatedProcess::Options());
    // Ctrl+C on a terminal reaches the children too: they end by it, not by the file.
    const bool stopped = e.kind == E::Cancelled || e.kind == E::Interrupted ||
                         (e.kind == E::Crashed && (e.signal == SIGINT || e.signal == SIGTERM));
    if (stopped || (g_stop && e.kind != E::Answered))
    {
        g_stop = true;
        return false;
    }
    std::string problem = childProblem(e, part.file, seconds, answer);
    std::string seal, why;
    if (problem.empty() && !readResultFile(part.json, part.result, seal, why))
        problem = "the check of " + quoted(part.file) + " left no result that can be read in " + quoted(part.json) +
                  ": " + why;
    if (!problem.empty())
    {
        part.result = errorResult(part.file, b.profile.name, problem);
        saveJson(part.json, oxHostCheck::json(part.result));
    }
    return true;
}

void work(Batch& b)
{
    const oxIsolatedProcess::CancelScope scope(g_stop);
    for (size_t i = b.next++; i < b.parts.size() && !g_stop; i = b.next++)
    {
        Part& part = b.parts[i];
        if (!checkOne(part, b))
            return;
        part.done = true;
        b.progress.partDone(part);
    }
}

// The mesh formats a folder is walked for: those that hold parts. Assimp claims more suffixes
// (.xml, .raw, ...), which a folder of parts holds for other reasons.
const char* const meshSuffixes[] = {"stl", "obj", "ply", "off", "gltf", "glb", "3mf"};

bool checkable(const std::string& file)
{
    const QString suffix = QFileInfo(QString::fromStdString(file)).suffix().toLower();
    return oxCadImporter::isCadFile(file) ||
           (std::find(std::begin(meshSuffixes), std::end(meshSuffixes), suffix) != std::end(meshSuffixes) &&
            oxMeshImporter::isSupported(file));
}

// A file as it is given; a folder's CAD and mesh files at any depth, in name order.
std::vector<std::string> walk(const std::string& argument)
{
    const QString path = QString::fromStdString(argument);
    if (!QFileInfo(path).isDir())
        return {argument};
    std::vector<std::string> found;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        if (checkable(it.next().toStdString()))
            found.push_back(it.filePath().toStdString());
    std::sort(found.begin(), found.end());
    return found;
}

int cores()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

// The batch's end: the outputs merged from every part's result in the folder, the single record
// of the parts, as oxhost check --merge writes them; the merged exit status.
int collect(const QDir& out)
{
    std::string error;
    const int status = oxHostCheckOutputs::merge(out.path().toStdString(), std::string(), &error);
    for (const QString& line : QString::fromStdString(error).split('\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "oxhost: check: %s\n", qPrintable(line));
    return status;
}

// "12 files: 9 pass, 1 warning, 1 fail, 1 error; 8 unchanged since their last check"
int summarise(const Batch& b)
{
    size_t verdicts[4] = {0, 0, 0, 0}, done = 0, sealed = 0;
    int status = oxHostCheckBatch::AllPass;
    for (const Part& part : b.parts)
        if (part.done)
        {
            const oxCheckResult::Verdict v = part.result.verdict;
            ++verdicts[v];
            ++done;
            sealed += part.sealed;
            status = std::max(status, v == oxCheckResult::Error  ? int(oxHostCheckBatch::NotChecked)
                                      : v == oxCheckResult::Fail ? int(oxHostCheckBatch::Failed)
                                                                 : int(oxHostCheckBatch::AllPass));
        }
    std::string line = std::to_string(done) + (done == 1 ? " file: " : " files: ");
    for (int v = oxCheckResult::Pass; v <= oxCheckResult::Error; ++v)
        line += std::to_string(verdicts[v]) + " " + oxCheckResult::verdictName(oxCheckResult::Verdict(v)) +
                (v < oxCheckResult::Error ? ", " : "");
    if (sealed > 0)
        line += "; " + std::to_string(sealed) + " unchanged since their last check";
    std::printf("%s\n", line.c_str());
    return status;
}
} // namespace

bool oxHostCheckBatch::gather(const std::vector<std::string>& arguments, std::vector<std::string>& files,
                              std::string& error)
{
    std::set<QString> seen;
    for (const std::string& argument : arguments)
    {
        std::vector<std::string> found = walk(argument);
        if (found.empty())
        {
            error = "the folder " + quoted(argument) +
                    " holds no CAD or mesh file (.step, .stp, .iges, .igs, .brep, .stl, .obj, .ply, .off, .gltf, "
                    ".glb or .3mf, in any case)";
            return false;
        }
        // A file given twice, or also in a folder given, is checked once.
        for (std::string& file : found)
        {
            const QString canonical = QFileInfo(QString::fromStdString(file)).canonicalFilePath();
            if (canonical.isEmpty() || seen.insert(canonical).second)
                files.push_back(std::move(file));
        }
    }
    return true;
}

int oxHostCheckBatch::partSeconds(const std::string& path)
{
    const qint64 megabytes = QFileInfo(QString::fromStdString(path)).size() >> 20;
    return int(2 * (60 + 10 * std::min<qint64>(megabytes, 1 << 20)));
}

std::string oxHostCheckBatch::seal(const std::string& path, const oxCheckProfile& profile)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    std::string what = std::string("oxhost check seal\nprogram " OXHOST_VERSION "\njson ") +
                       std::to_string(oxHostCheck::JsonVersion) + "\nprofile " + profile.name + "\nfindings " +
                       std::to_string(profile.findingsPerCriterion) + "\n";
    char threshold[32];
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
    {
        const oxCheckProfile::Rule& rule = profile.rule(c.criterion);
        std::snprintf(threshold, sizeof threshold, "%.17g", rule.threshold);
        what += std::string(c.code) + " " + threshold + " " + oxCheckCriteria::severityName(rule.severity) + "\n";
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(what.data(), int(what.size()));
    if (!hash.addData(&file))
        return std::string();
    return hash.result().toHex().toStdString();
}

int oxHostCheckBatch::run(const std::vector<std::string>& files, const oxCheckProfile& profile, const Options& options)
{
    const QDir out(QString::fromStdString(options.out));
    Batch b(profile, options, files.size());
    std::set<std::string> names;
    for (const std::string& file : files)
    {
        b.parts.emplace_back();
        b.parts.back().file = file;
        b.parts.back().json = out.filePath(QString::fromStdString(jsonName(file, names))).toStdString();
    }
    {
        const StopOnSignals signals;
        const size_t jobs = std::min(files.size(), size_t(options.jobs > 0 ? options.jobs : cores()));
        std::vector<std::thread> workers;
        for (size_t i = 0; i < jobs; ++i)
            workers.emplace_back(work, std::ref(b));
        for (std::thread& worker : workers)
            worker.join();
    }
    b.progress.finish();
    const int status = std::max(summarise(b), collect(out));
    if (!g_stop)
        return status;
    const size_t done = size_t(std::count_if(b.parts.begin(), b.parts.end(), [](const Part& p) { return p.done; }));
    std::fprintf(stderr, "oxhost: check: interrupted after %zu of %zu files; their results are in %s\n", done,
                 files.size(), quoted(options.out).c_str());
    return NotChecked;
}

namespace
{
// The child's work: the part read and checked, its result written; why not, or "".
std::string checkedPart(const std::string& file, const std::string& profileName, const std::string& json)
{
    oxCheckProfile profile;
    std::string why;
    if (!oxCheckProfile::find(profileName, profile, why))
        return why;
    // Hashed before the read: a file changed meanwhile gets another seal next time.
    const std::string seal = oxHostCheckBatch::seal(file, profile);
    oxCheckResult r = oxHostCheck::file(file, profile);
    r.source = file;
    if (!oxAtomicFile::save(json, oxHostCheck::json(r, r.verdict == oxCheckResult::Error ? "" : seal), why))
        return "cannot write " + quoted(json) + ": " + why;
    return std::string();
}
} // namespace

int oxHostCheckBatch::checkPart(const std::vector<std::string>& args)
{
    // --part <host pid> <memory MiB> quiet|verbose <file> <profile> <json>
    if (args.size() != 7)
    {
        std::fprintf(stderr, "oxhost: check: %s is for the parts of oxhost's own batches; see oxhost check --help\n",
                     PartMode);
        return Usage;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int out = oxIsolatedProcess::becomeReader(argv.data());
    if (out < 0)
        return 1;
    std::string answer;
    try
    {
        answer = checkedPart(args[4], args[5], args[6]);
    }
    catch (const std::bad_alloc&)
    {
        ::_exit(oxIsolatedProcess::OutOfMemoryStatus);
    }
    catch (const std::exception& e)
    {
        answer = e.what();
    }
    // A short sentence fits the pipe in one write; a lost one still leaves the exit status.
    const ssize_t told = answer.empty() ? 0 : ::write(out, answer.data(), answer.size());
    (void)told;
    ::close(out);
    return answer.empty() ? 0 : 1;
}
