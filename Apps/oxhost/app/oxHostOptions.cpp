#include "oxHostOptions.h"

#include <cstdio>

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
        else if (arg == "--auto-range")
            o.autoRange = true;
        else if (arg == "--no-fit")
            o.fitLights = false;
        else if (arg == "--samples" || arg == "--report")
        {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return invalid(arg + (arg == "--samples" ? " needs a number" : " needs a file"));
            const std::string& value = args[++i];
            if (arg == "--report")
                o.report = value;
            else
            {
                int n = 0;
                char rest = 0;
                if (std::sscanf(value.c_str(), "%d%c", &n, &rest) != 1 || n < 1 || n > 16)
                    return invalid("--samples needs a number from 1 to 16, not \"" + value + "\"");
                o.renderSamples = n;
            }
        }
        else if (arg == "--gui")
            o.gui = true;
        else if (arg == "--no-exact")
            o.exactShading = false;
        else if (arg == "--continuity")
            o.continuity = true;
        else if (arg == "--show-continuity")
            o.showContinuity = true;
        else if (arg == "--deflection" || arg == "--angle")
        {
            double value = 0;
            char rest = 0;
            if (i + 1 >= args.size() || std::sscanf(args[i + 1].c_str(), "%lf%c", &value, &rest) != 1 || !(value > 0) ||
                (arg == "--angle" && value > 90))
                return invalid(arg + (arg == "--angle" ? " needs an angle in degrees above 0 and up to 90"
                                                       : " needs a deflection above 0, relative to the model's size"));
            (arg == "--angle" ? o.angle : o.deflection) = value;
            ++i;
        }
        else if (arg == "--continuity-csv")
        {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return invalid("--continuity-csv needs a file");
            o.continuityCsv = args[++i];
        }
        else if (arg == "--project" || arg.rfind("--project=", 0) == 0)
        {
            if (arg == "--project" && i + 1 >= args.size())
                return invalid("--project needs a file");
            o.project = arg == "--project" ? args[++i] : arg.substr(10);
            if (o.project.empty())
                return invalid("--project needs a file");
        }
        else if (arg == "--mesh" || arg == "--sample" || arg == "--render" || arg == "--size")
        {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return invalid(arg + (arg == "--size"     ? " needs WIDTHxHEIGHT"
                                      : arg == "--sample" ? " needs a name"
                                                          : " needs a file"));
            const std::string& value = args[++i];
            if (arg == "--mesh")
                o.meshes.push_back(value);
            else if (arg == "--sample")
                o.samples.push_back(value);
            else if (arg == "--render")
                o.render = value;
            else
            {
                int w = 0, h = 0;
                char x = 0, rest = 0;
                if (std::sscanf(value.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X') || w < 1 ||
                    h < 1 || w > 16384 || h > 16384)
                    return invalid("--size needs WIDTHxHEIGHT between 1x1 and 16384x16384, not \"" + value + "\"");
                o.renderWidth = w;
                o.renderHeight = h;
            }
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
           "  --mesh FILE       add the meshes of FILE (OBJ, STL, PLY, glTF, ... through Assimp) to the model\n"
           "                    before the project and the script; may be repeated. CAD files (STEP .step/.stp,\n"
           "                    IGES .iges/.igs, B-rep .brep) are read through Open CASCADE, sewn, triangulated\n"
           "                    and shaded from their exact surfaces\n"
           "  --sample NAME     add a sample surface: sphere, torus, cylinder, saddle, teapot or joins; may be\n"
           "                    repeated. With --mesh or --sample the view is framed on the model and, without\n"
           "                    --project, the lights are fitted to it (oxHost.fitLights)\n"
           "  --no-fit          keep the default lights after --mesh or --sample\n"
           "  --auto-range      fit the curvature colour range to the model after loading (oxHost.autoRange)\n"
           "                    and show the curvature legend with the histogram of the model's values\n"
           "  --deflection REL  CAD triangulation: linear deflection relative to the model's size (0.0005)\n"
           "  --angle DEG       CAD triangulation: angular deflection in degrees (12)\n"
           "  --no-exact        shade CAD faces from interpolated vertex data, not the exact surfaces\n"
           "  --continuity      after loading, print how the CAD faces meet along each shared edge (G2, G1,\n"
           "                    G0 or open, with the measured gap, angle and curvature mismatch)\n"
           "  --continuity-csv FILE  write that table as CSV\n"
           "  --show-continuity draw the shared CAD edges in rendered images, coloured by class (G2 green,\n"
           "                    G1 yellow, G0 red, open magenta)\n"
           "  --render FILE     after the project and the script, raytrace the view into the image FILE (PNG\n"
           "                    unless its suffix names another format); without a script, no console runs\n"
           "  --size WxH        the size of the --render image (default 1280x800)\n"
           "  --samples N       N x N rays per pixel for the --render image (1 to 16, default 3)\n"
           "  --report FILE     after the project and the script, write an HTML report of the model in view\n"
           "                    (oxHost.report), images at --size up to 960x600; without a script, no\n"
           "                    console runs\n"
           "  --gui             open the viewer window: the model in the analysis, the lights dragged with the\n"
           "                    mouse, the module's panel; a script runs once the window is shown, and the window\n"
           "                    stays open until it is closed or the script calls oxHost.quit()\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Exit status: 0 on success; 1 when the script raised, or the project or a plug-in could not be\n"
           "loaded; 2 for a wrong command line or a script that cannot be read; sys.exit(n) gives n.\n";
}
