#include "oxHostCheckCommand.h"

#include "oxHostCheckBatch.h"
#include "oxHostCheckOutputs.h"
#include "oxHostCommandLine.h"

#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cstdio>

namespace
{
struct Arguments
{
    std::string profile = "default";
    std::string out; // the current folder unless given; DIR for --merge
    std::string jobs, seconds;
    std::string merge; // --merge DIR: the outputs of DIR's part results, no file checked
};

oxHostCommandLine::Arguments parse(const std::vector<std::string>& args, Arguments& a)
{
    oxHostCommandLine::Arguments c = oxHostCommandLine::parse(args, {{"--profile", &a.profile},
                                                                     {"--out", &a.out},
                                                                     {"--jobs", &a.jobs},
                                                                     {"--timeout", &a.seconds},
                                                                     {"--merge", &a.merge}});
    if (c.error.empty() && !a.merge.empty() && !c.files.empty())
        c.error = "--merge reads the results in a folder and checks no file";
    if (c.error.empty() && c.files.empty() && a.merge.empty() && !c.help)
        c.error = "check needs at least one file";
    return c;
}

// A whole number from 1 to 100000 for option name, or "" unless given; false with a sentence.
bool count(const std::string& name, const std::string& text, int& value, std::string& error)
{
    if (text.empty())
        return true;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && value >= 1 && value <= 100000)
        return true;
    error = name + " needs a whole number from 1 to 100000, not \"" + text + "\"";
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
    return "Usage: oxhost check FILE-OR-FOLDER... [--profile P] [--jobs N] [--timeout S] [--out DIR]\n"
           "       oxhost check --merge DIR [--out DIR2]\n\n"
           "Checks each STEP, IGES, B-rep or mesh (STL, OBJ, PLY, OFF, glTF, 3MF) FILE, and those in each\n"
           "FOLDER and its subfolders, against the\n"
           "data-quality criteria of profile P (default, class-a or a JSON profile file; default unless given),\n"
           "N at once (one per core unless given), each read and checked in a process of its own that may take\n"
           "S seconds (unless given 120, and 20 more per MiB of the file). Writes DIR/<name>.check.json per\n"
           "file (DIR: the current folder unless given), prints a verdict per file, then merges DIR as --merge\n"
           "does. A file whose content, profile and oxhost are unchanged since its result in DIR was written is\n"
           "not checked again.\n\n"
           "--merge reads every DIR/*.check.json (written by one run or many, on any machine) and writes into\n"
           "DIR2 (DIR unless given) summary.json, junit.xml, findings.csv, index.html and a page per part.\n\n"
           "Exit status: 0 every part passed (perhaps with warnings); 1 a part failed; 2 a wrong command line\n"
           "or profile, or a folder without CAD or mesh files; 3 a part could not be read or checked, a result could\n"
           "not be read or written, or the check was interrupted.\n";
}

int oxHostCheckCommand::run(const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == oxHostCheckBatch::PartMode)
        return oxHostCheckBatch::checkPart(args);
    Arguments a;
    const oxHostCommandLine::Arguments c = parse(args, a);
    if (c.help)
    {
        std::fputs(usage().c_str(), stdout);
        return AllPass;
    }
    if (c.error.empty() && !a.merge.empty())
        return merge(a.merge, a.out);
    oxHostCheckBatch::Options options;
    options.profile = a.profile;
    options.out = a.out.empty() ? "." : a.out;
    oxCheckProfile profile;
    std::vector<std::string> files;
    std::string error = c.error;
    if (error.empty() && count("--jobs", a.jobs, options.jobs, error) &&
        count("--timeout", a.seconds, options.seconds, error) && oxCheckProfile::find(a.profile, profile, error))
        oxHostCheckBatch::gather(c.files, files, error);
    if (!error.empty())
    {
        std::fprintf(stderr, "oxhost: check: %s; see oxhost check --help\n", error.c_str());
        return Usage;
    }
    const QDir out(QString::fromStdString(options.out));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "oxhost: check: cannot make the folder \"%s\"\n", a.out.c_str());
        return NotChecked;
    }
    return oxHostCheckBatch::run(files, profile, options);
}
