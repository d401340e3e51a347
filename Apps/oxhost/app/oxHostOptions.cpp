#include "oxHostOptions.h"

#include "oxHostAnalysisKinds.h"
#include "oxHostAnalysisSettings.h"
#include "oxModelImporter.h"
#include "oxViewerCamera.h"

#include <QCommandLineParser>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

#include <cmath>
#include <cstdio>

// QCommandLineParser reads the options and their values, with its spellings: one or two dashes
// before any name, and --name=value for any value. What it cannot give stays here: the usage text,
// laid out by hand; the messages, which name the first wrong argument as it was written; and
// "-c CODE", after which everything belongs to the code even where it looks like an option.

namespace
{
// The options that take a value, what a missing or wrong value lacks, and where a text or a
// repeated value goes; the others are read in takeValue.
struct ValueOption
{
    const char* name;
    const char* valueName;
    const char* needs;
    std::string oxHostOptions::*text = nullptr;
    std::vector<std::string> oxHostOptions::*list = nullptr;
};

const ValueOption valueOptions[] = {
    {"c", "CODE", "the code to run"},
    {"project", "FILE", "a file", &oxHostOptions::project},
    {"mesh", "FILE", "a file", nullptr, &oxHostOptions::meshes},
    {"reference", "FILE", "a file", &oxHostOptions::reference},
    {"sample", "NAME", "a name", nullptr, &oxHostOptions::samples},
    {"analysis", "KIND", "an analysis kind"},
    {"view", "NAME", "a view"},
    {"draft", "DIR[:ANGLE]", "a pull direction (x, y, z, -x, -y, -z or X,Y,Z) and optionally :ANGLE"},
    {"comb-sections", "N[:X,Y,Z]", "a number of sections and optionally :X,Y,Z"},
    {"render", "FILE", "a file", &oxHostOptions::render},
    {"size", "WxH", "WIDTHxHEIGHT"},
    {"samples", "N", "a number"},
    {"report", "FILE", "a file", &oxHostOptions::report},
    {"continuity-csv", "FILE", "a file", &oxHostOptions::continuityCsv},
    {"deflection", "REL", "a deflection above 0, relative to the model's size"},
    {"angle", "DEG", "an angle in degrees above 0 and up to 90"},
};

const char* const flags[] = {"version",    "analysis-mode",   "auto-range", "no-fit",     "gui",     "no-exact",
                             "continuity", "show-continuity", "strict",     "comb-edges", "no-cache"};

const ValueOption* valueOption(const QString& name)
{
    for (const ValueOption& option : valueOptions)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

bool isFlag(const QString& name)
{
    if (name == "h" || name == "help")
        return true;
    for (const char* flag : flags)
        if (name == QLatin1String(flag))
            return true;
    return false;
}

// An argument's option name: "--mesh=a.stl" and "-mesh" name "mesh"; empty for a positional one.
QString optionName(const QString& arg)
{
    if (!arg.startsWith('-') || arg == "-" || arg == "--")
        return QString();
    return arg.mid(arg.startsWith("--") ? 2 : 1).section('=', 0, 0);
}

std::string needs(const ValueOption& option)
{
    return std::string(option.name[1] ? "--" : "-") + option.name + " needs " + option.needs;
}

void addOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    for (const char* flag : flags)
        parser.addOption(QCommandLineOption(flag));
    for (const ValueOption& option : valueOptions)
        parser.addOption(QCommandLineOption(option.name, QString(), option.valueName));
}

// The index after "-c CODE", or -1: a "--" put there tells the parser that the options end.
int afterCode(const QStringList& args)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const QString name = optionName(args[i]);
        const bool joined = args[i].contains('=');
        if (name.isEmpty())
            return -1;
        if (name == "c")
            return joined ? i + 1 : i + 1 < args.size() ? i + 2 : -1;
        if (valueOption(name) && !joined)
            ++i;
    }
    return -1;
}

// Model files (by their suffix) where the script would stand become --mesh FILE, and options may
// follow them; the first other positional argument is the script. Past "--" nothing is an option,
// but model files that lead the rest are still the model (their names may start with a dash).
QStringList takeModelFiles(const QStringList& args, bool& found)
{
    QStringList out;
    for (int i = 0; i < args.size(); ++i)
    {
        const QString& arg = args[i];
        const QString name = optionName(arg);
        if (arg == "--")
        {
            int rest = i + 1;
            for (; rest < args.size() && oxModelImporter::isSupported(args[rest].toStdString()); ++rest)
                out << "--mesh=" + args[rest];
            found = found || rest > i + 1;
            return out + QStringList("--") + args.mid(rest);
        }
        if (name.isEmpty() && oxModelImporter::isSupported(arg.toStdString()))
        {
            out << "--mesh" << arg;
            found = true;
            continue;
        }
        if (name.isEmpty() || name == "c")
            return out + args.mid(i);
        out << arg;
        if (valueOption(name) && !arg.contains('=') && i + 1 < args.size())
            out << args[++i];
    }
    return out;
}

// A script needs no .py: readable text whose first statement starts the way Python does. Null
// when the file cannot be read, which running it reports.
bool looksLikePython(const QString& path, bool& readable)
{
    QFile file(path);
    readable = file.open(QIODevice::ReadOnly);
    if (!readable)
        return false;
    QByteArray head = file.read(4096);
    const int lastLine = head.lastIndexOf('\n');
    if (head.size() == 4096 && lastLine >= 0)
        head.truncate(lastLine + 1); // no character cut in two
    const QString text = QString::fromUtf8(head);
    if (head.contains('\0') || text.contains(QChar::ReplacementCharacter))
        return false;
    static const QRegularExpression start(
        R"(^\s*(#|@|"""|'''|(import|from|def|class|if|for|while|with|try|async|print|assert|raise|pass)\b|)"
        R"([A-Za-z_][\w.]*\s*(=|\(|\[|[-+*/]=)))");
    return text.trimmed().isEmpty() || start.match(text).hasMatch();
}

std::string notAScript(const std::string& path)
{
    return "\"" + path +
           "\" is neither a model file (by its suffix: OBJ, STL, PLY, glTF, FBX, STEP, IGES, B-rep and the other "
           "formats Assimp reads) nor a Python script (.py, or text that starts like Python)";
}

// Three finite numbers "X,Y,Z", not all zero.
bool vectorText(const QString& text, std::array<float, 3>& v)
{
    const QStringList parts = text.split(',');
    if (parts.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i)
    {
        bool ok = false;
        v[i] = parts[i].trimmed().toFloat(&ok);
        if (!ok || !std::isfinite(v[i]))
            return false;
    }
    return v[0] != 0.f || v[1] != 0.f || v[2] != 0.f;
}

// x, y, z, -x, -y, -z or X,Y,Z.
bool directionText(const QString& text, std::array<float, 3>& v)
{
    const QString axes[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i)
        for (int sign : {1, -1})
            if (text == (sign < 0 ? "-" : "") + axes[i])
            {
                v = {0.f, 0.f, 0.f};
                v[i] = float(sign);
                return true;
            }
    return vectorText(text, v);
}

// The setting's counts but 0: the option switches the combs on with planes.
oxSettingDomain sectionCounts()
{
    oxSettingDomain counts = oxHostAnalysisRows::CombSections.domain;
    counts.min = std::max(counts.min, 1.0);
    return counts;
}

bool fail(oxHostOptions& o, const std::string& why)
{
    o.error = why;
    return false;
}

// --draft DIR[:ANGLE]
bool takeDraft(oxHostOptions& o, const std::string& value)
{
    // The last colon parts the angle off: directions hold none.
    const QString text = QString::fromStdString(value);
    const int colon = text.lastIndexOf(':');
    bool angleOk = colon < 0;
    const float angle = colon < 0 ? -1.f : text.mid(colon + 1).toFloat(&angleOk);
    const oxSettingDomain& angles = oxHostAnalysisRows::DraftAngle.domain;
    if (!directionText(colon < 0 ? text : text.left(colon), o.draftDirection) || !angleOk ||
        (colon >= 0 && !angles.contains(angle)))
        return fail(o, "--draft needs a pull direction x, y, z, -x, -y, -z or X,Y,Z (three numbers, not all zero), "
                       "optionally followed by :ANGLE, the least draft in degrees, " +
                           angles.text() + ", not \"" + value + "\"");
    o.draft = true;
    o.draftAngle = angle;
    return true;
}

// --comb-sections N[:X,Y,Z]
bool takeCombSections(oxHostOptions& o, const std::string& value)
{
    const QString text = QString::fromStdString(value);
    const int colon = text.indexOf(':');
    bool countOk = false;
    const uint count = (colon < 0 ? text : text.left(colon)).toUInt(&countOk);
    const bool normalOk = colon < 0 || vectorText(text.mid(colon + 1), o.combSectionNormal);
    const oxSettingDomain counts = sectionCounts();
    if (!countOk || !counts.contains(count) || !normalOk)
        return fail(o, "--comb-sections needs a number of sections " + counts.text() +
                           ", optionally followed by :X,Y,Z, the planes' normal (three numbers, not all zero), not \"" +
                           value + "\"");
    o.combSections = count;
    o.combSectionNormalGiven = colon >= 0;
    return true;
}

// --size WxH
bool takeSize(oxHostOptions& o, const std::string& value)
{
    // Whole numbers checked as such: sscanf's %d wraps 4294967297 round to 1.
    const QStringList parts = QString::fromStdString(value).toLower().split('x');
    bool wide = false, high = false;
    const int w = parts.size() == 2 ? parts[0].toInt(&wide) : 0;
    const int h = parts.size() == 2 ? parts[1].toInt(&high) : 0;
    if (!wide || !high || w < 1 || h < 1 || w > 16384 || h > 16384)
        return fail(o, "--size needs WIDTHxHEIGHT, each a whole number from 1 to 16384, not \"" + value + "\"");
    o.renderWidth = w;
    o.renderHeight = h;
    return true;
}

// Takes one option's value into o; false with o.error set when the value is wrong.
bool takeValue(oxHostOptions& o, const ValueOption& option, const std::string& value)
{
    const std::string name = option.name;
    char rest = 0;
    if (name == "c")
    {
        o.hasCode = true;
        o.code = value;
    }
    else if (name == "deflection" || name == "angle")
    {
        double number = 0;
        if (std::sscanf(value.c_str(), "%lf%c", &number, &rest) != 1 || !(number > 0) ||
            (name == "angle" && number > 90))
            return fail(o, needs(option));
        (name == "angle" ? o.angle : o.deflection) = number;
    }
    else if (value.empty())
        return fail(o, needs(option));
    else if (name == "analysis")
    {
        const std::vector<std::string> kinds = oxHostAnalysisKinds::names();
        if (std::find(kinds.begin(), kinds.end(), value) == kinds.end())
            return fail(o, "--analysis needs " + oxHostAnalysisKinds::list() + ", not \"" + value + "\"");
        o.analysis = value;
    }
    else if (name == "view")
    {
        oxViewerCamera::View view;
        if (!oxViewerCamera::viewNamed(value, view))
            return fail(o, "--view needs iso, top, bottom, front, back, left or right, not \"" + value + "\"");
        o.view = value;
    }
    else if (name == "draft")
        return takeDraft(o, value);
    else if (name == "comb-sections")
        return takeCombSections(o, value);
    else if (option.text)
        o.*option.text = value;
    else if (option.list)
        (o.*option.list).push_back(value);
    else if (name == "samples")
    {
        int n = 0;
        if (std::sscanf(value.c_str(), "%d%c", &n, &rest) != 1 || n < 1 || n > 16)
            return fail(o, "--samples needs a number from 1 to 16, not \"" + value + "\"");
        o.renderSamples = n;
    }
    else
        return takeSize(o, value);
    return true;
}

// Why the parser failed: the first argument it could not take, or the first wrong value before it.
std::string parseError(const QStringList& args)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const QString& arg = args[i];
        const QString name = optionName(arg);
        if (name.isEmpty())
            break;
        const ValueOption* option = valueOption(name);
        const int assign = arg.indexOf('=');
        if (!option && (!isFlag(name) || assign >= 0))
            return "unknown option \"" + arg.toStdString() + "\"";
        if (!option)
            continue;
        if (assign < 0 && ++i == args.size())
            return needs(*option);
        oxHostOptions checked;
        if (!takeValue(checked, *option, (assign < 0 ? args[i] : arg.mid(assign + 1)).toStdString()))
            return checked.error;
    }
    return "the command line cannot be read";
}

// The values in the order they were given, so that the first wrong one is the one named.
bool takeValues(oxHostOptions& o, const QCommandLineParser& parser)
{
    QHash<QString, int> taken;
    for (const QString& name : parser.optionNames())
        if (const ValueOption* option = valueOption(name))
            if (!takeValue(o, *option, parser.values(name).at(taken[name]++).toStdString()))
                return false;
    return true;
}

// The synopsis, examples and what oxhost does.
std::string usageIntro()
{
    return std::string(
        "Usage: oxhost [options] [script.py [args...]]\n"
        "       oxhost [options] -c CODE [args...]\n"
        "       oxhost [options] model [options] [script.py [args...]]\n"
        "\n"
        "  oxhost part.step                                     the viewer on the part, zebra stripes on\n"
        "  oxhost part.step --analysis curvature --render c.png  an image, in the three-quarter view\n"
        "\n"
        "The reference host of the surface analysis module. It starts the host layer, loads the module as a\n"
        "plug-in, and runs a Python script, a piece of code, or, when neither is given, an interactive\n"
        "console on standard input (which may be a pipe). The Python modules oxSurfaceAnalysis and oxHost\n"
        "are imported, and the fourteen oxSurfaceAnalysis functions can be called by their bare names.\n"
        "\n"
        "Options:\n");
}

// Options that say what is loaded, and how.
std::string usageInputs()
{
    return std::string(
        "  model             a model file (by its suffix: OBJ, STL, PLY, glTF, FBX, ... STEP, STP, IGES, IGS,\n"
        "                    BREP) is read as with --mesh; options may follow it. With nothing else to do (no\n"
        "                    script, -c, --render, --report or continuity table) the viewer opens on it, which\n"
        "                    needs a display\n"
        "  -c CODE           run CODE instead of a script; sys.argv is ['-c', args...]\n"
        "  --                no options after it: model files, then the script and its arguments, even\n"
        "                    where a name starts with a dash\n"
        "  --analysis-mode   run in the host's analysis application mode: the module switches the host\n"
        "                    into surface mode one second after it starts (oxHost.wait lets that time pass)\n"
        "  --project FILE    load the project FILE before the script runs\n"
        "  --mesh FILE       add the meshes of FILE (OBJ, STL, PLY, glTF, ... through Assimp) to the model\n"
        "                    before the project and the script; may be repeated. CAD files (STEP .step/.stp,\n"
        "                    IGES .iges/.igs, B-rep .brep) are read through Open CASCADE, sewn, triangulated\n"
        "                    and shaded from their exact surfaces\n"
        "  --reference FILE  read FILE (any file --mesh reads) as the reference the model is measured\n"
        "                    against (oxHost.loadReference), after --mesh\n"
        "  --sample NAME     add a sample surface: sphere, torus, cylinder, saddle, teapot or joins; may be\n"
        "                    repeated. With --mesh or --sample the view is framed on the model and, without\n"
        "                    --project, the lights are fitted to it (oxHost.fitLights)\n"
        "  --no-fit          keep the default lights after --mesh or --sample\n");
}

// Options that switch an analysis on, and the view.
std::string usageAnalysis()
{
    return std::string(
        "  --analysis KIND   switch the analysis on before the script, with settings that read well on any\n"
        "                    model (oxHost.showAnalysis): isophotes, zebra (reflection lines of light tubes),\n"
        "                    rings (of the light sphere), highlight (lines) or curvature (range fitted, with\n"
        "                    the legend). The viewer opens a model in zebra unless a project or a script says\n"
        "                    otherwise\n"
        "  --draft DIR[:ANGLE]  switch the draft angle analysis on before the script, and the surface\n"
        "                    analysis off: the pull direction x, y, z, -x, -y, -z or X,Y,Z (three numbers),\n"
        "                    and the least draft in degrees, " +
        oxHostAnalysisRows::DraftAngle.domain.text() + " (" +
        oxSettingDomain::number(oxHostAnalysisSettings().DraftAngle) +
        " unless given):\n"
        "                    --draft z:3\n"
        "  --comb-edges      before the script, draw curvature combs on every edge of a CAD model\n"
        "  --comb-sections N[:X,Y,Z]  before the script, draw curvature combs on N section planes\n"
        "                    (" +
        sectionCounts().text() +
        ") spread evenly across the model, normal to X,Y,Z (default 1,0,0)\n"
        "  --view NAME       the direction a model is seen from, on the viewer's up axis (oxHost.setView):\n"
        "                    iso (the default, three-quarter from above), top, bottom, front, back, left, right\n"
        "  --auto-range      fit the curvature colour range to the model after loading (oxHost.autoRange)\n"
        "                    and show the curvature legend with the histogram of the model's values\n");
}

// Options for reading CAD files and their continuity.
std::string usageCad()
{
    return std::string(
        "  --deflection REL  CAD triangulation: linear deflection relative to the model's size (0.0005)\n"
        "  --angle DEG       CAD triangulation: angular deflection in degrees (12)\n"
        "  --no-exact        shade CAD faces from interpolated vertex data, not the exact surfaces\n"
        "  --continuity      after loading, print how the CAD faces meet along each shared edge (G2, G1,\n"
        "                    G0 or open, with the measured gap, angle and curvature mismatch)\n"
        "  --continuity-csv FILE  write that table as CSV\n"
        "  --strict          refuse a damaged file (lost CAD entities, lost mesh triangles) instead of\n"
        "                    loading the rest of it with a warning\n"
        "  --no-cache        read CAD files afresh, neither from the cache of files read before\n"
        "                    (~/.cache/oxhost/cad) nor into it\n"
        "  --show-continuity draw the shared CAD edges in rendered images, coloured by class (G2 green,\n"
        "                    G1 yellow, G0 red, open magenta)\n");
}

// Options for the outputs, the window, and the exit status.
std::string usageOutputs()
{
    return std::string(
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
        "loaded; 2 for a wrong command line or a script that cannot be read; sys.exit(n) gives n.\n");
}
} // namespace

bool oxHostOptions::onlyLooking() const
{
    return modelFile && !hasCode && script.empty() && render.empty() && report.empty() && !continuity &&
           continuityCsv.empty();
}

std::vector<std::string> oxHostOptions::scriptArgv() const
{
    std::vector<std::string> argv{hasCode ? std::string("-c") : script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

oxHostOptions oxHostOptions::parse(const std::vector<std::string>& args)
{
    QStringList list;
    for (const std::string& arg : args)
        list << QString::fromStdString(arg);
    bool modelFile = false;
    list = takeModelFiles(list, modelFile);
    const int codeEnd = afterCode(list);
    if (codeEnd >= 0)
        list.insert(codeEnd, "--");

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    addOptions(parser);
    oxHostOptions o;
    if (!parser.parse(QStringList("oxhost") + list))
        o.error = parseError(list);
    else if (takeValues(o, parser))
    {
        o.action = parser.isSet("help") ? ShowHelp : parser.isSet("version") ? ShowVersion : Run;
        o.analysisMode = parser.isSet("analysis-mode");
        o.gui = parser.isSet("gui");
        o.autoRange = parser.isSet("auto-range");
        o.fitLights = !parser.isSet("no-fit");
        o.exactShading = !parser.isSet("no-exact");
        o.continuity = parser.isSet("continuity");
        o.showContinuity = parser.isSet("show-continuity");
        o.strict = parser.isSet("strict");
        o.cache = !parser.isSet("no-cache");
        o.combEdges = parser.isSet("comb-edges");
        QStringList positional = parser.positionalArguments();
        if (!o.hasCode && !positional.isEmpty())
            o.script = positional.takeFirst().toStdString();
        for (const QString& arg : positional)
            o.arguments.push_back(arg.toStdString());
        o.modelFile = modelFile;
        bool readable = false;
        const QString script = QString::fromStdString(o.script);
        if (o.action != Run || o.script.empty() || script.endsWith(".py", Qt::CaseInsensitive) ||
            looksLikePython(script, readable) || !readable)
            return o;
        o.error = notAScript(o.script);
    }
    o.action = Invalid;
    o.error += "; see oxhost --help";
    return o;
}

std::string oxHostOptions::usage()
{
    return usageIntro() + usageInputs() + usageAnalysis() + usageCad() + usageOutputs();
}
