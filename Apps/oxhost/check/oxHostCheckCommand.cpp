#include "oxHostCheckCommand.h"

#include "oxAtomicFile.h"
#include "oxHostCommandLine.h"
#include "oxHostCheck.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <set>

namespace
{
struct Arguments
{
    std::vector<std::string> files;
    std::string profile = "default";
    std::string out = ".";
    bool help = false;
    std::string error;
};

Arguments parse(const std::vector<std::string>& args)
{
    Arguments a;
    bool options = true;
    for (size_t i = 0; i < args.size() && a.error.empty(); ++i)
    {
        const std::string& arg = args[i];
        if (!options || arg.empty() || arg[0] != '-' || arg == "-")
            a.files.push_back(arg);
        else if (arg == "--")
            options = false;
        else if (arg == "-h" || arg == "--help")
            a.help = true;
        else if (!oxHostCommandLine::optionValue(args, i, "--profile", a.profile, a.error) &&
                 !oxHostCommandLine::optionValue(args, i, "--out", a.out, a.error))
            a.error = "unknown option \"" + arg + "\"";
    }
    if (a.error.empty() && a.files.empty() && !a.help)
        a.error = "check needs at least one file";
    return a;
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

void printVerdict(const oxCheckResult& r)
{
    if (r.verdict == oxCheckResult::Error)
    {
        std::printf("%s: error: %s\n", r.source.c_str(), r.reason.c_str());
        return;
    }
    size_t errors = 0, warnings = 0;
    for (const oxCheckFinding& f : r.findings)
        (f.severity == oxCheckSeverity::Error ? errors : warnings) += 1;
    std::printf("%s: %s (%zu errors, %zu warnings shown)\n", r.source.c_str(), oxCheckResult::verdictName(r.verdict),
                errors, warnings);
}

bool save(const std::string& path, const std::string& text)
{
    std::string why;
    if (oxAtomicFile::save(path, text, why))
        return true;
    std::fprintf(stderr, "oxhost: check: cannot write \"%s\": %s\n", path.c_str(), why.c_str());
    return false;
}
} // namespace

std::string oxHostCheckCommand::usage()
{
    return "Usage: oxhost check FILE... [--profile P] [--out DIR]\n\n"
           "Checks each STEP, IGES or B-rep FILE against the data-quality criteria of profile P (default,\n"
           "class-a or a JSON profile file; default unless given), writes DIR/<name>.check.json per file and\n"
           "DIR/findings.csv (DIR: the current folder unless given), and prints a verdict per file.\n\n"
           "Exit status: 0 every file passed (perhaps with warnings); 1 a file failed; 2 a wrong command line\n"
           "or profile; 3 a file could not be read or checked, or a result could not be written.\n";
}

int oxHostCheckCommand::run(const std::vector<std::string>& args)
{
    const Arguments a = parse(args);
    if (a.help)
    {
        std::fputs(usage().c_str(), stdout);
        return AllPass;
    }
    oxCheckProfile profile;
    std::string error = a.error;
    if (error.empty())
        oxCheckProfile::find(a.profile, profile, error);
    if (!error.empty())
    {
        std::fprintf(stderr, "oxhost: check: %s; see oxhost check --help\n", error.c_str());
        return Usage;
    }
    const QDir out(QString::fromStdString(a.out));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "oxhost: check: cannot make the folder \"%s\"\n", a.out.c_str());
        return NotChecked;
    }
    int status = AllPass;
    std::vector<oxCheckResult> results;
    std::set<std::string> names;
    for (const std::string& file : a.files)
    {
        oxCheckResult r = oxHostCheck::file(file, profile);
        r.source = file;
        printVerdict(r);
        const std::string path = out.filePath(QString::fromStdString(jsonName(file, names))).toStdString();
        const int verdict = r.verdict == oxCheckResult::Error  ? NotChecked
                            : r.verdict == oxCheckResult::Fail ? Failed
                                                               : AllPass;
        status = std::max(status, save(path, oxHostCheck::json(r)) ? verdict : int(NotChecked));
        results.push_back(std::move(r));
    }
    if (!save(out.filePath("findings.csv").toStdString(), oxHostCheck::csv(results)))
        status = NotChecked;
    return status;
}
