#include "oxHostOptions.h"

#include "oxHostAnalysisKinds.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostCommandLine.h"
#include "oxHostRoomOptions.h"
#include "oxModelImporter.h"
#include "oxViewerCamera.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <memory>

// QCommandLineParser reads the options and their values, with its spellings: one or two dashes
// before any name, and --name=value for any value, and it lays out --help. What it cannot give
// stays here: the messages, which name the first wrong argument as it was written, and "-c CODE",
// after which everything belongs to the code even where it looks like an option. The man page is
// made from the same table.

namespace
{
struct Option;
typedef bool (*Take)(oxHostOptions&, const Option&, const std::string& value);

// One option: its names, its value, its help and what takes its value into oxHostOptions.
struct Option
{
    const char* names;                      // "h,help": the last name is the one messages use
    const char* valueName;                  // nullptr for a switch
    const char* needs;                      // what a missing or wrong value lacks
    const char* help;                       // %1, %2 ... stand for the domain's texts
    QStringList (*domain)();                // the values the help's placeholders stand for, from the settings table
    Take take;                              // false with o.error set when the value is wrong
    bool hidden;                            // left out of --help and the man page
    const oxHostRoomOption* room = nullptr; // a room's row: take keeps its value for the room
};

bool fail(oxHostOptions& o, const std::string& why)
{
    o.error = why;
    return false;
}

QString lastName(const Option& option)
{
    return QString::fromLatin1(option.names).section(',', -1);
}

std::string needs(const Option& option)
{
    const QString name = lastName(option);
    return (name.size() > 1 ? "--" : "-") + name.toStdString() + " needs " + option.needs;
}

bool text(oxHostOptions& o, const Option& option, const std::string& value, std::string& into)
{
    if (value.empty())
        return fail(o, needs(option));
    into = value;
    return true;
}

bool append(oxHostOptions& o, const Option& option, const std::string& value, std::vector<std::string>& into)
{
    if (value.empty())
        return fail(o, needs(option));
    into.push_back(value);
    return true;
}

// A number above 0, and for an angle at most 90 degrees.
bool positive(oxHostOptions& o, const Option& option, const std::string& value, double& into, double most)
{
    double number = 0;
    char rest = 0;
    if (std::sscanf(value.c_str(), "%lf%c", &number, &rest) != 1 || !(number > 0) || number > most)
        return fail(o, needs(option));
    into = number;
    return true;
}

bool takeAnalysis(oxHostOptions& o, const Option& option, const std::string& value)
{
    if (value.empty())
        return fail(o, needs(option));
    const std::vector<std::string> kinds = oxHostAnalysisKinds::names();
    if (std::find(kinds.begin(), kinds.end(), value) == kinds.end())
        return fail(o, "--analysis needs " + oxHostAnalysisKinds::list() + ", not \"" + value + "\"");
    o.analysis = value;
    return true;
}

bool takeView(oxHostOptions& o, const Option& option, const std::string& value)
{
    oxViewerCamera::View view;
    if (value.empty())
        return fail(o, needs(option));
    if (!oxViewerCamera::viewNamed(value, view))
        return fail(o, "--view needs iso, top, bottom, front, back, left or right, not \"" + value + "\"");
    o.view = value;
    return true;
}

bool takeSamples(oxHostOptions& o, const Option& option, const std::string& value)
{
    int n = 0;
    char rest = 0;
    if (value.empty())
        return fail(o, needs(option));
    if (std::sscanf(value.c_str(), "%d%c", &n, &rest) != 1 || n < 1 || n > 16)
        return fail(o, "--samples needs a number from 1 to 16, not \"" + value + "\"");
    o.renderSamples = n;
    return true;
}

bool takeSize(oxHostOptions& o, const Option& option, const std::string& value);
bool takeColourMap(oxHostOptions& o, const Option& option, const std::string& value);

// Help first and the version second whatever their order; the man page below them both.
bool show(oxHostOptions& o, oxHostOptions::Action action)
{
    if (o.action == oxHostOptions::Run || action < o.action)
        o.action = action;
    return true;
}

#define OX_TAKE(body)                                                                                                  \
    [](oxHostOptions& o, [[maybe_unused]] const Option& option, const std::string& value) -> bool { body; }
#define OX_SWITCH(body)                                                                                                \
    [](oxHostOptions& o, const Option&, const std::string&) -> bool                                                    \
    {                                                                                                                  \
        body;                                                                                                          \
        return true;                                                                                                   \
    }

// The host's own options in the order --help lists them; the rooms' join them (see options()).
const Option hostOptions[] = {
    {"c", "CODE", "the code to run", "run CODE instead of a script; sys.argv is ['-c', args...]", nullptr,
     OX_TAKE(o.hasCode = true; o.code = value; return true), false},
    {"analysis-mode", nullptr, "",
     "run in the host's analysis application mode: the module switches the host into "
     "surface mode one second after it starts (oxHost.wait lets that time pass)",
     nullptr, OX_SWITCH(o.analysisMode = true), false},
    {"project", "FILE", "a file", "load the project FILE before the script runs", nullptr,
     OX_TAKE(return text(o, option, value, o.project)), false},
    {"mesh", "FILE", "a file",
     "add the meshes of FILE (OBJ, STL, PLY, glTF, ... through Assimp) to the model "
     "before the project and the script; may be repeated. CAD files (STEP .step/.stp, IGES .iges/.igs, B-rep "
     ".brep) are read through Open CASCADE, sewn, triangulated and shaded from their exact surfaces",
     nullptr, OX_TAKE(return append(o, option, value, o.meshes)), false},
    {"reference", "FILE", "a file",
     "read FILE (any file --mesh reads) as the reference the model is measured "
     "against (oxHost.loadReference), after --mesh",
     nullptr, OX_TAKE(return text(o, option, value, o.reference)), false},
    {"sample", "NAME", "a name",
     "add a sample surface: sphere, torus, cylinder, saddle, teapot or joins; may be "
     "repeated. With --mesh or --sample the view is framed on the model and, without --project, the lights are "
     "fitted to it (oxHost.fitLights)",
     nullptr, OX_TAKE(return append(o, option, value, o.samples)), false},
    {"no-fit", nullptr, "", "keep the default lights after --mesh or --sample", nullptr, OX_SWITCH(o.fitLights = false),
     false},
    {"analysis", "KIND", "an analysis kind",
     "switch the analysis on before the script, with settings that read "
     "well on any model (oxHost.showAnalysis): isophotes, zebra (stripes reflected from a striped cylinder around the "
     "model, on every surface), environment (a studio reflected on every surface; --environment chooses it), "
     "reflection (lines of light tubes above the model), rings (of the light sphere), "
     "highlight (lines) or curvature (range fitted, with the legend). The viewer opens a model in "
     "zebra unless a project or a script says otherwise",
     nullptr, takeAnalysis, false},
    {"colour-map,colormap", "NAME[,reverse][,steps=N]", "a colour map's name, optionally ,reverse and ,steps=N",
     "before the script, colour the curvature, the draft's ramp and the deviation on a colour map: %1; reverse "
     "turns it round, steps=N (%2) steps it into bands: --colormap viridis,reverse,steps=8 (also written "
     "--colour-map viridis_r:8)",
     oxHostCommandLine::colourMapDomain, takeColourMap, false},
    {"flat-colours", nullptr, "",
     "before the script, colour the curvature, the draft and the deviation flat, exactly the legend's colours, "
     "instead of lit by the surface's shading (ColoursLit off)",
     nullptr, OX_SWITCH(o.flatColours = true), false},
    {"view", "NAME", "a view",
     "the direction a model is seen from, on the viewer's up axis (oxHost.setView): iso "
     "(the default, three-quarter from above), top, bottom, front, back, left, right",
     nullptr, takeView, false},
    {"auto-range", nullptr, "",
     "fit the curvature colour range to the model after loading (oxHost.autoRange) and "
     "show the curvature legend with the histogram of the model's values",
     nullptr, OX_SWITCH(o.autoRange = true), false},
    {"deflection", "REL", "a deflection above 0, relative to the model's size",
     "CAD triangulation: linear "
     "deflection relative to the model's size (0.0005)",
     nullptr, OX_TAKE(return positive(o, option, value, o.deflection, HUGE_VAL)), false},
    {"angle", "DEG", "an angle in degrees above 0 and up to 90",
     "CAD triangulation: angular deflection in degrees "
     "(12)",
     nullptr, OX_TAKE(return positive(o, option, value, o.angle, 90)), false},
    {"no-exact", nullptr, "", "shade CAD faces from interpolated vertex data, not the exact surfaces", nullptr,
     OX_SWITCH(o.exactShading = false), false},
    {"continuity", nullptr, "",
     "after loading, print how the CAD faces meet along each shared edge (G2, G1, G0 "
     "or open, with the measured gap, angle and curvature mismatch)",
     nullptr, OX_SWITCH(o.continuity = true), false},
    {"continuity-csv", "FILE", "a file", "write that table as CSV", nullptr,
     OX_TAKE(return text(o, option, value, o.continuityCsv)), false},
    {"strict", nullptr, "",
     "refuse a damaged file (lost CAD entities, lost mesh triangles) instead of loading the "
     "rest of it with a warning",
     nullptr, OX_SWITCH(o.strict = true), false},
    {"no-cache", nullptr, "",
     "read CAD files afresh, neither from the cache of files read before "
     "(~/.cache/oxhost/cad) nor into it",
     nullptr, OX_SWITCH(o.cache = false), false},
    {"show-continuity", nullptr, "",
     "draw the shared CAD edges in rendered images, coloured by class (G3 blue, G2 green, "
     "G1 yellow, G0 red, open magenta)",
     nullptr, OX_SWITCH(o.showContinuity = true), false},
    {"render", "FILE", "a file",
     "after the project and the script, raytrace the view into the image FILE (PNG "
     "unless its suffix names another format); without a script, no console runs",
     nullptr, OX_TAKE(return text(o, option, value, o.render)), false},
    {"size", "WxH", "WIDTHxHEIGHT", "the size of the --render image (default 1280x800)", nullptr, takeSize, false},
    {"samples", "N", "a number", "N x N rays per pixel for the --render image (1 to 16, default 3)", nullptr,
     takeSamples, false},
    {"report", "FILE", "a file",
     "after the project and the script, write an HTML report of the model in view "
     "(oxHost.report), images at --size up to 960x600; without a script, no console runs",
     nullptr, OX_TAKE(return text(o, option, value, o.report)), false},
    {"gui", nullptr, "",
     "open the viewer window: the model in the analysis, the lights dragged with the mouse, "
     "the module's panel; a script runs once the window is shown, and the window stays open until it is closed "
     "or the script calls oxHost.quit()",
     nullptr, OX_SWITCH(o.gui = true), false},
    {"h,help", nullptr, "", "show this help and exit", nullptr, OX_SWITCH(show(o, oxHostOptions::ShowHelp)), false},
    {"version", nullptr, "", "show the version and exit", nullptr, OX_SWITCH(show(o, oxHostOptions::ShowVersion)),
     false},
    {"help-man", nullptr, "", "write this help as a man page and exit", nullptr,
     OX_SWITCH(show(o, oxHostOptions::ShowManPage)), true},
};

#undef OX_TAKE
#undef OX_SWITCH

// A room's value, checked now and applied by the room after the project.
bool takeRoom(oxHostOptions& o, const Option& option, const std::string& value)
{
    if (option.valueName && value.empty())
        return fail(o, needs(option));
    if (option.room->check && !option.room->check(value, o.error))
        return false;
    o.roomOptions[lastName(option).toStdString()].push_back(value);
    return true;
}

// Each row followed by the rooms' rows that follow it; a room's row whose place is no row's comes
// last.
void appendWithFollowers(std::vector<Option>& table, const Option& row, std::vector<bool>& placed)
{
    table.push_back(row);
    const std::vector<oxHostRoomOption>& rooms = oxHostRoomOptions::all();
    for (size_t i = 0; i < rooms.size(); ++i)
        if (!placed[i] && lastName(row) == QLatin1String(rooms[i].after))
        {
            placed[i] = true;
            const oxHostRoomOption& r = rooms[i];
            appendWithFollowers(table, Option{r.names, r.valueName, r.needs, r.help, r.domain, takeRoom, false, &r},
                                placed);
        }
}

// The options in the order --help lists them: the host's, the rooms' at their places.
const std::vector<Option>& options()
{
    static const std::vector<Option> table = []
    {
        std::vector<Option> all;
        std::vector<bool> placed(oxHostRoomOptions::all().size(), false);
        for (const Option& row : hostOptions)
            appendWithFollowers(all, row, placed);
        for (size_t i = 0; i < placed.size(); ++i)
            if (!placed[i])
            {
                const oxHostRoomOption& r = oxHostRoomOptions::all()[i];
                all.push_back(Option{r.names, r.valueName, r.needs, r.help, r.domain, takeRoom, false, &r});
            }
        return all;
    }();
    return table;
}

const Option* option(const QString& name)
{
    for (const Option& o : options())
        if (QString::fromLatin1(o.names).split(',').contains(name))
            return &o;
    return nullptr;
}

// An option that is followed by its value when it is not given as --name=value.
bool takesValue(const QString& name)
{
    const Option* o = option(name);
    return o && o->valueName;
}

QString helpText(const Option& o)
{
    QString text = QString::fromLatin1(o.help);
    if (o.domain)
        for (const QString& value : o.domain())
            text = text.arg(value);
    return text;
}

void addOptions(QCommandLineParser& parser)
{
    for (const Option& o : options())
    {
        QCommandLineOption qo(QString::fromLatin1(o.names).split(','), helpText(o),
                              o.valueName ? QString::fromLatin1(o.valueName) : QString());
        if (o.hidden)
            qo.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qo);
    }
}

// An argument's option name: "--mesh=a.stl" and "-mesh" name "mesh"; empty for a positional one.
QString optionName(const QString& arg)
{
    if (!arg.startsWith('-') || arg == "-" || arg == "--")
        return QString();
    return arg.mid(arg.startsWith("--") ? 2 : 1).section('=', 0, 0);
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
        if (takesValue(name) && !joined)
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
        if (takesValue(name) && !arg.contains('=') && i + 1 < args.size())
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

// --colormap NAME[,reverse][,steps=N], and its older spelling --colour-map NAME[_r][:STEPS]
bool takeColourMap(oxHostOptions& o, const Option& option, const std::string& value)
{
    if (value.empty())
        return fail(o, needs(option));
    oxHostCommandLine::ColourMap map;
    if (!oxHostCommandLine::colourMap("--" + lastName(option).toStdString(), value, map, o.error))
        return false;
    o.colourMap = int(map.map);
    o.colourMapReversed = map.reversed;
    o.colourMapSteps = map.steps;
    return true;
}

// --size WxH
bool takeSize(oxHostOptions& o, const Option& option, const std::string& value)
{
    if (value.empty())
        return fail(o, needs(option));
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

// Why the parser failed: the first argument it could not take, or the first wrong value before it.
std::string parseError(const QStringList& args)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const QString& arg = args[i];
        const QString name = optionName(arg);
        if (name.isEmpty())
            break;
        const Option* known = option(name);
        const int assign = arg.indexOf('=');
        if (!known || (!known->valueName && assign >= 0))
            return "unknown option \"" + arg.toStdString() + "\"";
        if (!known->valueName)
            continue;
        if (assign < 0 && ++i == args.size())
            return needs(*known);
        oxHostOptions checked;
        if (!known->take(checked, *known, (assign < 0 ? args[i] : arg.mid(assign + 1)).toStdString()))
            return checked.error;
    }
    return "the command line cannot be read";
}

// The options in the order they were given, so that the first wrong value is the one named.
bool takeValues(oxHostOptions& o, const QCommandLineParser& parser)
{
    QHash<QString, int> taken;
    for (const QString& name : parser.optionNames())
    {
        const Option* known = option(name);
        const std::string value =
            known->valueName ? parser.values(name).at(taken[name]++).toStdString() : std::string();
        if (!known->take(o, *known, value))
            return false;
    }
    return true;
}

// What stands outside the options, for --help and the man page alike.
const char* const synopsis[] = {
    "[options] [script.py [args...]]",
    "[options] -c CODE [args...]",
    "[options] model [options] [script.py [args...]]",
    "check FILE-OR-FOLDER... [--profile P] [--jobs N] [--timeout S] [--out DIR]",
    "check --merge DIR [--out DIR2]",
    "compare OLD NEW [--tolerance T] [--align] [--out DIR] [--render IMG] [--view V] [--report R.html]"};

const char* const examples[][2] = {
    {"oxhost part.step", "the viewer on the part, zebra stripes on"},
    {"oxhost part.step --analysis curvature --render c.png", "an image, in the three-quarter view"},
    {"oxhost check parts/ --out checked", "data-quality verdicts, a process per part (oxhost check --help)"},
    {"oxhost compare old.step new.step", "what changed, face by face (oxhost compare --help)"}};

const char* const about =
    "The reference host of the surface analysis module. It starts the host layer, loads the module as a\n"
    "plug-in, and runs a Python script, a piece of code, or, when neither is given, an interactive\n"
    "console on standard input (which may be a pipe). The Python modules oxSurfaceAnalysis and oxHost\n"
    "are imported, and the fourteen oxSurfaceAnalysis functions can be called by their bare names.";

struct Argument
{
    const char* name;
    const char* help;
};

const Argument positionals[] = {
    {"model", "a model file (by its suffix: OBJ, STL, PLY, glTF, FBX, ... STEP, STP, IGES, IGS, BREP) is read as "
              "with --mesh; options may follow it. With nothing else to do (no script, -c, --render, --report or "
              "continuity table) the viewer opens on it, which needs a display"},
    {"--", "no options after it: model files, then the script and its arguments, even where a name starts with a "
           "dash"},
    {"script.py", "the script to run, with its arguments as sys.argv; everything after it belongs to the script"}};

const char* const exitStatus =
    "Exit status: 0 on success; 1 when the script raised, or the project or a plug-in could not be\n"
    "loaded; 2 for a wrong command line or a script that cannot be read; sys.exit(n) gives n.";

// The synopsis, the examples and what oxhost does: the description above the options.
QString description()
{
    QString text;
    for (size_t i = 1; i < sizeof synopsis / sizeof *synopsis; ++i)
        text += QString("       oxhost %1\n").arg(synopsis[i]);
    text += "\n";
    for (const auto& example : examples)
        text += QString("  %1  %2\n").arg(QString(example[0]).leftJustified(51), example[1]);
    return text + "\n" + about;
}

// Text for roff: no backslash, hyphen or leading control character is read as a request.
QString roff(QString text)
{
    text.replace('\\', "\\e").replace('-', "\\-");
    return text.startsWith('.') || text.startsWith('\'') ? "\\&" + text : text;
}

QString manOption(const Option& o)
{
    QStringList names;
    for (const QString& name : QString::fromLatin1(o.names).split(','))
        names << "\\fB" + roff((name.size() > 1 ? "--" : "-") + name) + "\\fR";
    QString head = names.join(", ");
    if (o.valueName)
        head += " \\fI" + roff(o.valueName) + "\\fR";
    return ".TP\n" + head + "\n" + roff(helpText(o)) + "\n";
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

// QCommandLineParser lays out the options and arguments; the synopsis above them is ours, since
// it has more than the one line the parser makes.
std::string oxHostOptions::usage()
{
    // The parser names the program from the application's arguments.
    int argc = 1;
    char name[] = "oxhost";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app(QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description());
    addOptions(parser);
    for (const Argument& a : positionals)
        parser.addPositionalArgument(a.name, a.help);
    QString text = parser.helpText();
    text.replace(0, text.indexOf('\n'), QString("Usage: oxhost ") + synopsis[0]);
    return (text + "\n" + exitStatus + "\n").toStdString();
}

std::string oxHostOptions::manPage(const std::string& version)
{
    QString man = QString(".TH OXHOST 1 \"\" \"oxhost %1\" \"User Commands\"\n").arg(roff(version.c_str()));
    man += ".SH NAME\noxhost \\- reference host of the surface analysis module\n.SH SYNOPSIS\n";
    for (const char* line : synopsis)
        man += "\\fBoxhost\\fR " + roff(line) + "\n.br\n";
    man += ".SH DESCRIPTION\n" + roff(QString(about).replace('\n', ' ')) + "\n.SH EXAMPLES\n";
    for (const auto& example : examples)
        man += ".TP\n\\fB" + roff(example[0]) + "\\fR\n" + roff(example[1]) + "\n";
    man += ".SH OPTIONS\n";
    for (const Option& o : options())
        if (!o.hidden)
            man += manOption(o);
    man += ".SH ARGUMENTS\n";
    for (const Argument& a : positionals)
        man += ".TP\n\\fB" + roff(a.name) + "\\fR\n" + roff(a.help) + "\n";
    man += ".SH \"EXIT STATUS\"\n" + roff(QString(exitStatus).section(": ", 1).replace('\n', ' ')) + "\n";
    return man.toStdString();
}
