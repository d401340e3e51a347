#include "oxHostCompareCommand.h"

#include "oxAtomicFile.h"
#include "oxHostCommandLine.h"
#include "oxHostCompare.h"

#include <QDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{
struct Arguments
{
    std::vector<std::string> files;
    oxCompareOptions options;
    std::string out = ".";
    bool help = false;
    std::string error;
};

void parseTolerance(const std::string& text, Arguments& a)
{
    char* end = nullptr;
    const double t = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(t) || !(t > 0))
        a.error = "--tolerance needs a number more than 0, not \"" + text + "\"";
    a.options.tolerance = t;
}

Arguments parse(const std::vector<std::string>& args)
{
    Arguments a;
    bool options = true;
    std::string tolerance;
    for (size_t i = 0; i < args.size() && a.error.empty(); ++i)
    {
        const std::string& arg = args[i];
        if (!options || arg.empty() || arg[0] != '-' || arg == "-")
            a.files.push_back(arg);
        else if (arg == "--")
            options = false;
        else if (arg == "-h" || arg == "--help")
            a.help = true;
        else if (arg == "--align")
            a.options.align = true;
        else if (oxHostCommandLine::optionValue(args, i, "--tolerance", tolerance, a.error))
        {
            if (a.error.empty())
                parseTolerance(tolerance, a);
        }
        else if (!oxHostCommandLine::optionValue(args, i, "--out", a.out, a.error))
            a.error = "unknown option \"" + arg + "\"";
    }
    if (a.error.empty() && a.files.size() != 2 && !a.help)
        a.error = "compare needs two files, the old release and the new one, not " + std::to_string(a.files.size());
    return a;
}

bool save(const QDir& out, const char* name, const std::string& text)
{
    const std::string path = out.filePath(name).toStdString();
    std::string why;
    if (oxAtomicFile::save(path, text, why))
        return true;
    std::fprintf(stderr, "oxhost: compare: cannot write \"%s\": %s\n", path.c_str(), why.c_str());
    return false;
}
} // namespace

std::string oxHostCompareCommand::usage()
{
    return "Usage: oxhost compare OLD NEW [--tolerance T] [--align] [--out DIR]\n\n"
           "Compares two releases of a part face by face: each face of either is unchanged, modified, added\n"
           "(in NEW only) or removed (in OLD only). Writes DIR/compare.json and DIR/compare.csv (DIR: the\n"
           "current folder unless given) and prints a verdict. T is the largest distance of an unchanged face\n"
           "(default: 5e-4 of OLD's bounding box diagonal); --align best-fits NEW onto OLD first.\n\n"
           "Exit status: 0 unchanged within the tolerance; 1 changed; 2 a wrong command line; 3 a file could\n"
           "not be read or compared, or a result could not be written.\n";
}

int oxHostCompareCommand::run(const std::vector<std::string>& args)
{
    const Arguments a = parse(args);
    if (a.help)
    {
        std::fputs(usage().c_str(), stdout);
        return Unchanged;
    }
    if (!a.error.empty())
    {
        std::fprintf(stderr, "oxhost: compare: %s; see oxhost compare --help\n", a.error.c_str());
        return Usage;
    }
    const QDir out(QString::fromStdString(a.out));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "oxhost: compare: cannot make the folder \"%s\"\n", a.out.c_str());
        return NotCompared;
    }
    oxHostComparison comparison;
    std::string error;
    if (!oxHostCompare::files(a.files[0], a.files[1], a.options, comparison, error))
    {
        std::fprintf(stderr, "oxhost: compare: %s\n", error.c_str());
        return NotCompared;
    }
    std::printf("%s\n", oxHostCompare::verdict(comparison).c_str());
    if (!save(out, "compare.json", oxHostCompare::json(comparison)) ||
        !save(out, "compare.csv", oxHostCompare::csv(comparison)))
        return NotCompared;
    return comparison.result.unchanged() ? Unchanged : Changed;
}
