#include "oxHostOptions.h"

std::vector<std::string> oxHostOptions::scriptArgv() const
{
    std::vector<std::string> argv{hasCode ? std::string("-c") : script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

oxHostOptions oxHostOptions::parse(const std::vector<std::string>& args)
{
    oxHostOptions o;
    const auto invalid = [&o](const std::string& why)
    {
        o.action = Invalid;
        o.error = why + "; see oxhost --help";
        return o;
    };
    std::size_t i = 0;
    for (; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (arg == "--")
        {
            ++i;
            break;
        }
        if (arg.empty() || arg[0] != '-' || arg == "-")
            break;
        if (arg == "-h" || arg == "--help")
            o.action = ShowHelp;
        else if (arg == "--version")
        {
            if (o.action != ShowHelp)
                o.action = ShowVersion;
        }
        else if (arg == "--analysis-mode")
            o.analysisMode = true;
        else if (arg == "--project" || arg.rfind("--project=", 0) == 0)
        {
            if (arg == "--project" && i + 1 >= args.size())
                return invalid("--project needs a file");
            o.project = arg == "--project" ? args[++i] : arg.substr(10);
            if (o.project.empty())
                return invalid("--project needs a file");
        }
        else if (arg == "-c")
        {
            if (i + 1 >= args.size())
                return invalid("-c needs the code to run");
            o.hasCode = true;
            o.code = args[++i];
            o.arguments.assign(args.begin() + std::ptrdiff_t(i) + 1, args.end());
            return o;
        }
        else
            return invalid("unknown option \"" + arg + "\"");
    }
    if (i < args.size())
    {
        o.script = args[i];
        o.arguments.assign(args.begin() + std::ptrdiff_t(i) + 1, args.end());
    }
    return o;
}

std::string oxHostOptions::usage()
{
    return "Usage: oxhost [options] [script.py [args...]]\n"
           "       oxhost [options] -c CODE [args...]\n"
           "\n"
           "The reference host of the surface analysis module. It starts the host layer, loads the module as a\n"
           "plug-in, and runs a Python script, a piece of code, or, when neither is given, an interactive\n"
           "console on standard input (which may be a pipe). The Python modules oxSurfaceAnalysis and oxHost\n"
           "are imported, and the fourteen oxSurfaceAnalysis functions can be called by their bare names.\n"
           "\n"
           "Options:\n"
           "  -c CODE           run CODE instead of a script; sys.argv is ['-c', args...]\n"
           "  --analysis-mode   run in the host's analysis application mode: the module switches the host\n"
           "                    into surface mode one second after it starts (oxHost.wait lets that time pass)\n"
           "  --project FILE    load the project FILE before the script runs\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Exit status: 0 on success; 1 when the script raised, or the project or a plug-in could not be\n"
           "loaded; 2 for a wrong command line or a script that cannot be read; sys.exit(n) gives n.\n";
}
