#include "oxHostCheckCommand.h"

#include "oxAtomicFile.h"
#include "oxHostCheck.h"
#include "oxHostCheckOutputs.h"

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
    std::string out;
    std::string merge; // --merge DIR: the outputs of DIR's part results, no file checked
    bool help = false;
    std::string error;
};

// "--name VALUE" or "--name=VALUE" at args[i]; false when args[i] is another option.
bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                 std::string& error)
{
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0)
        value = arg.substr(name.size() + 1);
    else if (arg == name && i + 1 < args.size())
        value = args[++i];
    else if (arg == name)
        value.clear();
    else
        return false;
    if (value.empty())
        error = name + " needs a value";
    return true;
}

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
        else if (!optionValue(args, i, "--profile", a.profile, a.error) &&
                 !optionValue(args, i, "--out", a.out, a.error) && !optionValue(args, i, "--merge", a.merge, a.error))
            a.error = "unknown option \"" + arg + "\"";
    }
    if (a.error.empty() && !a.merge.empty() && !a.files.empty())
        a.error = "--merge reads the results in a folder and checks no file";
    if (a.error.empty() && a.files.empty() && a.merge.empty() && !a.help)
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

// Merges dir's part results into out; the merged exit status.
int merge(const std::string& dir, const std::string& out)
{
    std::string error;
    const int status = oxHostCheckOutputs::merge(dir, out, &error);
    for (const QString& line : QString::fromStdString(error).split('\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "oxhost: check: %s\n", qPrintable(line));
    return status;
}
} // namespace

std::string oxHostCheckCommand::usage()
{
    return "Usage: oxhost check FILE... [--profile P] [--out DIR]\n"
           "       oxhost check --merge DIR [--out DIR2]\n\n"
           "Checks each STEP, IGES or B-rep FILE against the data-quality criteria of profile P (default,\n"
           "class-a or a JSON profile file; default unless given), writes DIR/<name>.check.json per file\n"
           "(DIR: the current folder unless given), prints a verdict per file, then merges DIR as --merge does.\n\n"
           "--merge reads every DIR/*.check.json (written by one run or many, on any machine) and writes into\n"
           "DIR2 (DIR unless given) summary.json, junit.xml, findings.csv, index.html and a page per part.\n\n"
           "Exit status: 0 every part passed (perhaps with warnings); 1 a part failed; 2 a wrong command line\n"
           "or profile; 3 a part could not be read or checked, or a result could not be read or written.\n";
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
    if (!a.merge.empty())
        return merge(a.merge, a.out);
    const QDir out(QString::fromStdString(a.out.empty() ? "." : a.out));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "oxhost: check: cannot make the folder \"%s\"\n", a.out.c_str());
        return NotChecked;
    }
    int status = AllPass;
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
    }
    return std::max(status, merge(out.path().toStdString(), std::string()));
}
