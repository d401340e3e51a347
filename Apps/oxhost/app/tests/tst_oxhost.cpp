// The reference host oxhost, run as a user runs it: command line, scripts, console, exit status,
// the analysis application mode, projects given on the command line, and the examples.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

typedef OxhostResult Result;

namespace
{
// A run of oxhost and what it must show: DIR is the test's folder, written by initTestCase.
struct Run
{
    QString name;
    QStringList args;
    int status;
    QString out, err;
    QByteArray input = QByteArray();
};

// --colour-map, --colormap and --flat-colours.
void addColourMapRuns(std::vector<Run>& runs)
{
    const QString colours = "import oxHost\n"
                            "print([oxHost.get(n) for n in ('ColourMap', 'ColourMapReversed', 'ColourMapSteps')])";
    runs.push_back({"colour map", {"--colour-map", "cividis", "-c", colours}, 0, "[2, False, 0]", ""});
    // As users write it, and the older spelling; the last of reverse and steps counts once each.
    const char* const written[][2] = {
        {"--colour-map=Viridis_r:64", "[1, True, 64]"},   {"--colormap=viridis,reverse,steps=8", "[1, True, 8]"},
        {"--colormap=coolwarm,steps=5", "[3, False, 5]"}, {"--colormap=Cividis, Reverse", "[2, True, 0]"},
        {"--colormap=viridis_r,steps=3", "[1, True, 3]"},
    };
    for (const auto& [arg, shown] : written)
        runs.push_back({arg, {arg, "-c", colours}, 0, shown, ""});
    const QString maps = "oxhost: --colormap needs a colour map's name (classic, viridis, cividis, coolwarm), "
                         "optionally followed by ,reverse and ,steps=N, a number of bands from 1 to 64 (or NAME_r:N), ";
    for (const char* value : {"jet", "viridis:0", "viridis:65", "viridis:", "_r", "viridis,steps=0", "viridis,steps=65",
                              "viridis,steps=", "viridis,upside-down", "viridis,"})
        runs.push_back(
            {value, {QString("--colormap=") + value, "-c", "print('never')"}, 2, "", maps + "not \"" + value + "\""});
    const QString lit = "import oxHost\nprint(oxHost.get('ColoursLit'))";
    runs.push_back({"colours lit by default", {"-c", lit}, 0, "True", ""});
    runs.push_back({"flat colours", {"--flat-colours", "-c", lit}, 0, "False", ""});
}

// The draft and comb options, applied after the project and --analysis, before the script.
void addHostAnalysisRuns(std::vector<Run>& runs)
{
    const QString draft = "import oxHost\n"
                          "g = lambda n: (lambda v: tuple(round(c, 4) for c in v) if isinstance(v, tuple) else v)"
                          "(oxHost.get(n))\n"
                          "print([g(n) for n in ('DraftActive', 'DraftDirection', 'DraftAngle', 'AnalysisActive')])";
    const QString combs = "import oxHost\n"
                          "print([oxHost.get(n) for n in ('CombActive', 'CombEdges', 'CombSections', "
                          "'CombSectionNormal', 'DraftActive')])";
    runs.insert(
        runs.end(),
        {
            {"draft along z", {"--draft", "z:3", "-c", draft}, 0, "[True, (0.0, 0.0, 1.0), 3.0, False]", ""},
            {"draft after the analysis",
             {"--analysis", "zebra", "--draft=-y", "-c", draft},
             0,
             "[True, (0.0, -1.0, 0.0), 1.0, False]",
             ""},
            {"draft along numbers", {"--draft", "0,3,4:0", "-c", draft}, 0, "[True, (0.0, 0.6, 0.8), 0.0, False]", ""},
            {"comb edges", {"--comb-edges", "-c", combs}, 0, "[True, True, 0, (1.0, 0.0, 0.0), False]", ""},
            {"comb sections",
             {"--comb-sections", "5:0,0,2", "-c", combs},
             0,
             "[True, True, 5, (0.0, 0.0, 1.0), False]",
             ""},
            // The ends of the settings' domains.
            {"least draft under 90", {"--draft", "z:89.5", "-c", draft}, 0, "[True, (0.0, 0.0, 1.0), 89.5, False]", ""},
            {"most sections",
             {"--comb-sections", "1000", "-c", combs},
             0,
             "[True, True, 1000, (1.0, 0.0, 0.0), False]",
             ""},
        });
    addColourMapRuns(runs);
    const QString direction =
        "oxhost: --draft needs a pull direction x, y, z, -x, -y, -z or X,Y,Z (three numbers, not "
        "all zero), optionally followed by :ANGLE, the least draft in degrees, at least 0 and less than 90, ";
    const QString sections = "oxhost: --comb-sections needs a number of sections from 1 to 1000, optionally followed "
                             "by :X,Y,Z, the planes' normal (three numbers, not all zero), ";
    const char* const bad[][3] = {
        {"draft", "w", "not \"w\"; see oxhost --help"},
        {"draft", "z:90", "not \"z:90\""},
        {"draft", "z:-0.5", "not \"z:-0.5\""},
        {"draft", "z:1e30", "not \"z:1e30\""},
        {"draft", "z:nan", "not \"z:nan\""},
        {"draft", "0,0,0", "not \"0,0,0\""},
        {"draft", "1,2", "not \"1,2\""},
        {"comb-sections", "0", "not \"0\""},
        {"comb-sections", "1001", "not \"1001\""},
        {"comb-sections", "4294967295", "not \"4294967295\""},
        {"comb-sections", "2:1,2", "not \"2:1,2\""},
        {"comb-sections", "2:0,0,0", "not \"2:0,0,0\""},
    };
    for (const auto& row : bad)
        runs.push_back({row[1],
                        {QString("--%1=%2").arg(row[0], row[1]), "-c", "print('never')"},
                        2,
                        "",
                        (QString(row[0]) == "draft" ? direction : sections) + row[2]});
    runs.push_back({"--draft without value", {"--draft"}, 2, "", "oxhost: --draft needs a pull direction"});
}
// The model, image and CAD options' wrong values.
void addOptionRefusals(std::vector<Run>& runs)
{
    runs.insert(runs.end(),
                {
                    {"unknown sample", {"--sample", "cube", "-c", "pass"}, 2, "", "unknown sample surface \"cube\""},
                    {"size without x", {"--render", "DIR/a.png", "--size", "640"}, 2, "", "--size"},
                    {"size of zero", {"--render", "DIR/a.png", "--size", "0x10"}, 2, "", "--size"},
                    {"render without a file", {"--render"}, 2, "", "--render needs a file"},
                    {"unwritable image",
                     {"--sample", "sphere", "--render", "DIR/no/such/a.png"},
                     1,
                     "",
                     "cannot write image \"DIR/no/such/a.png\""},
                    {"too many samples", {"--samples", "100", "-c", "pass"}, 2, "", "not \"100\""},
                    {"the first wrong argument is named",
                     {"--samples", "0", "--bogus"},
                     2,
                     "",
                     "--samples needs a number from 1 to 16, not \"0\""},
                    {"report without a file", {"--report"}, 2, "", "--report needs a file"},
                    {"unwritable report",
                     {"--sample", "sphere", "--report", "DIR/no/such/r.html"},
                     1,
                     "",
                     "cannot write the report \"DIR/no/such/r.html\""},
                    {"angle of 0", {"--angle", "0", "-c", "pass"}, 2, "", "--angle needs an angle"},
                    {"angle above 90", {"--angle", "91", "-c", "pass"}, 2, "", "--angle needs an angle"},
                    {"deflection not a number",
                     {"--deflection", "fine", "-c", "pass"},
                     2,
                     "",
                     "--deflection needs a deflection"},
                    {"deflection without value", {"--deflection"}, 2, "", "--deflection needs"},
                    {"csv without file", {"--continuity-csv"}, 2, "", "--continuity-csv needs a file"},
                    {"unwritable csv",
                     {"--sample", "joins", "--continuity-csv", "DIR/no/t.csv", "-c", "print('never')"},
                     1,
                     "",
                     "cannot write the continuity table \"DIR/no/t.csv\""},
                });
}

} // namespace

class tst_Oxhost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void runs_data();
    void runs();
    void manPageHasTheHelpsOptions();
    void examplesRun_data();
    void examplesRun();

private:
    QTemporaryDir dir;
};

void tst_Oxhost::initTestCase()
{
    QVERIFY(QFile::exists(OXHOST));
    QVERIFY(writeTestFile(dir.filePath("argv.py"), "import sys\nprint(sys.argv)\n"));
    QVERIFY(writeTestFile(dir.filePath("raises.py"), "def f():\n    raise ValueError('boom')\n\nf()\n"));
    QVERIFY(writeTestFile(dir.filePath("exits.py"), "import sys\nprint('leaving')\nsys.exit(4)\n"));
    QVERIFY(writeTestFile(dir.filePath("helper.py"), "VALUE = 42\n"));
    QVERIFY(writeTestFile(dir.filePath("imports.py"), "import helper\nprint(helper.VALUE)\n"));
    QVERIFY(writeTestFile(dir.filePath("seven.json"),
                          "{\"values\": {\"Number of Isolines\": {\"type\": \"unsigned\", \"value\": 7},\n"
                          "  \"Isoline Color\": {\"type\": \"vec3f\", \"value\": [0.1, 0.2, 0.3]}}}"));
    QVERIFY(writeTestFile(dir.filePath("broken.json"),
                          "{\"values\": {\n  \"Number of Isolines\": {\"type\": \"unsigned\", \"value\": \"7\"}}}"));
    QVERIFY(writeTestFile(dir.filePath("sections.json"),
                          "{\"values\": {\"Host Combs Section Count\": {\"type\": \"unsigned\", \"value\": "
                          "4294967295},\n  \"Host Combs Active\": {\"type\": \"bool\", \"value\": true}}}"));
}

void tst_Oxhost::runs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString later = "print('at start:', oxHost.get('AnalysisActive'), oxHost.renderState()['renderingMode'])\n"
                          "oxHost.wait(1500)\n"
                          "s = oxHost.renderState()\n"
                          "print('later:', oxHost.get('AnalysisActive'), oxHost.get('UiVisibility'), "
                          "s['renderingMode'], s['renderQuality'])\n";
    std::vector<Run> runs = {
        {"help", {"--help"}, 0, "Usage: oxhost [options] [script.py", ""},
        {"version", {"--version"}, 0, "oxhost 1.", ""},
        // Help wins over the version and the man page, whatever their order.
        {"version and help", {"--version", "--help"}, 0, "Usage: oxhost", ""},
        {"man page and help", {"--help-man", "-h"}, 0, "Usage: oxhost", ""},
        {"man page", {"--help-man"}, 0, ".TH OXHOST 1", ""},
        {"man page takes no value", {"--help-man=x"}, 2, "", "unknown option \"--help-man=x\""},
        {"unknown option", {"--bogus", "DIR/argv.py"}, 2, "", "oxhost: unknown option \"--bogus\"; see oxhost --help"},
        {"-c without code", {"-c"}, 2, "", "-c needs the code to run"},
        {"--project without file", {"--project"}, 2, "", "--project needs a file"},
        {"code", {"-c", "print(sum(range(4)))"}, 0, "6\n", ""},
        {"code arguments", {"-c", "import sys; print(sys.argv)", "a", "--b"}, 0, "['-c', 'a', '--b']", ""},
        {"code arguments that look like options",
         {"-c", "import sys; print(sys.argv)", "--help", "-x"},
         0,
         "['-c', '--help', '-x']",
         ""},
        {"script arguments", {"DIR/argv.py", "x", "--help", "-c"}, 0, "['DIR/argv.py', 'x', '--help', '-c']", ""},
        {"script after --", {"--", "DIR/argv.py"}, 0, "['DIR/argv.py']", ""},
        {"script folder is importable", {"DIR/imports.py"}, 0, "42\n", ""},
        {"uncaught exception",
         {"DIR/raises.py"},
         1,
         "",
         "File \"DIR/raises.py\", line 2, in f\n    raise ValueError('boom')\nValueError: boom"},
        {"sys.exit", {"DIR/exits.py"}, 4, "leaving\n", ""},
        {"sys.exit with text", {"-c", "raise SystemExit('bye')"}, 1, "", "bye\n"},
        {"missing script", {"DIR/none.py"}, 2, "", "oxhost: cannot read the script"},
        {"syntax error", {"-c", "print("}, 1, "", "SyntaxError"},
        {"both modules, no imports",
         {"-c", "enableSurfaceAnalysis(True); print(oxHost.get('AnalysisActive'), oxSurfaceAnalysis)"},
         0,
         "True <module 'oxSurfaceAnalysis' (built-in)>",
         ""},
        {"piped console", {}, 0, "42\n", "", "x = 6\nfor i in range(2):\n    x += i\n\nprint(x * 6)\n"},
        {"piped console with an error", {}, 1, "on\n", "ZeroDivisionError", "1/0\nprint('on')\n"},
        {"console exit", {}, 5, "", "", "import sys\nsys.exit(5)\nprint('never')\n"},
        // The analysis application mode enters the surface mode a second after the start.
        {"analysis mode", {"--analysis-mode", "-c", later}, 0, "at start: False 0\nlater: True True 2 8\n", ""},
        {"normal mode", {"-c", later}, 0, "at start: False 0\nlater: False False 0 4\n", ""},
        // A project given on the command line is loaded before the script, or stops it.
        {"project before the script",
         {"--project", "DIR/seven.json", "-c",
          "print(oxHost.get('IsoLineCount'), oxHost.get('StripeColor') == oxHost.projectValues()['Isoline Color'])"},
         0,
         "7 True\n",
         ""},
        {"broken project",
         {"--project=DIR/broken.json", "-c", "print('never')"},
         1,
         "",
         "oxhost: cannot read project \"DIR/broken.json\": line 2: expected a whole number from 0 to 4294967295 for "
         "key \"Number of Isolines\""},
        // More section planes than the setter takes (once an image grew to gigabytes and aborted):
        // it renders with the default, and says which key it did not take.
        {"project beyond the settings",
         {"--sample", "sphere", "--project", "DIR/sections.json", "--size", "64x48", "--render", "DIR/sections.png",
          "-c", "print(oxHost.get('CombSections'), oxHost.get('CombActive'))"},
         0,
         "0 True\n",
         "key 'Host Combs Section Count': the value of CombSections must be from 0 to 1000, not 4294967295; it "
         "loads as its default 0"},
    };
    addOptionRefusals(runs);
    addHostAnalysisRuns(runs);
    for (Run& run : runs)
        QTest::newRow(qPrintable(run.name)) << run.args.replaceInStrings("DIR", dir.path()) << run.input << run.status
                                            << run.out.replace("DIR", dir.path()) << run.err.replace("DIR", dir.path());
}

// Every run without a display, as on a build server: oxhost starts headless on its own.
void tst_Oxhost::runs()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    const Result r = oxhost(args, input, env);
    QVERIFY2(r.status == status, qPrintable(QString("status %1\n%2%3").arg(r.status).arg(r.out, r.err)));
    QVERIFY2(r.out.contains(out) && !r.out.contains("never"), qPrintable(r.out));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (args.contains("--render") && status == 0)
        QVERIFY(QFile::exists(args[args.indexOf("--render") + 1]));
}

// The man page, as man shows it, has every option --help lists, with its value, and the page is
// clean roff: a hyphen or a leading dot of a help text is not read as a request.
void tst_Oxhost::manPageHasTheHelpsOptions()
{
    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        QSKIP("groff is not installed");
    const Result help = oxhost({"--help"});
    const Result man = oxhost({"--help-man"});
    QCOMPARE(help.status, 0);
    QCOMPARE(man.status, 0);
    QProcess shown;
    shown.start(groff, {"-man", "-Tascii", "-P", "-cbou", "-ww"});
    QVERIFY(shown.waitForStarted());
    shown.write(man.out.toUtf8());
    shown.closeWriteChannel();
    QVERIFY(shown.waitForFinished());
    const QString page = QString::fromUtf8(shown.readAllStandardOutput());
    QCOMPARE(QString::fromUtf8(shown.readAllStandardError()), QString());

    const QRegularExpression option(R"(^  (-\w, )?(--?[\w-]+)( <([^>]+)>)?\s)");
    QStringList listed;
    for (const QString& line : help.out.split('\n'))
    {
        const QRegularExpressionMatch m = option.match(line);
        if (!m.hasMatch() || m.captured(2) == "--")
            continue;
        const QString head = m.captured(1) + m.captured(2) + (m.captured(4).isEmpty() ? "" : " " + m.captured(4));
        listed << head;
        QVERIFY2(page.contains(QRegularExpression("\n {7}" + QRegularExpression::escape(head) + "[\n ]")),
                 qPrintable(head + " is not in the man page:\n" + page));
    }
    QVERIFY2(listed.size() >= 28, qPrintable(listed.join(", ")));
    QVERIFY(!help.out.contains("--help-man") && !page.contains("--help-man"));
}

void tst_Oxhost::examplesRun_data()
{
    QTest::addColumn<QString>("script");
    for (const QString& name : QDir(EXAMPLES_DIR).entryList({"*.py"}, QDir::Files))
        QTest::newRow(qPrintable(name)) << QString(EXAMPLES_DIR) + "/" + name;
}

void tst_Oxhost::examplesRun()
{
    QFETCH(QString, script);
    const Result r = oxhost({script});
    QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    QVERIFY(!r.out.isEmpty());
    QVERIFY2(!r.err.contains("Traceback"), qPrintable(r.err));
}

QTEST_APPLESS_MAIN(tst_Oxhost)
#include "tst_oxhost.moc"
