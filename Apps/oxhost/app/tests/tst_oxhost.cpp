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

class tst_Oxhost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void hostAnalysisOptions_data();
    void hostAnalysisOptions();
    void manPageHasTheHelpsOptions();
    void startsHeadlessOnItsOwn();
    void analysisModeEntersSurfaceModeAfterOneSecond_data();
    void analysisModeEntersSurfaceModeAfterOneSecond();
    void projectIsLoadedBeforeTheScript();
    void brokenProjectStopsBeforeTheScript();
    void projectBeyondTheSettingsRendersWithTheDefaults();
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
}

void tst_Oxhost::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString argv = dir.filePath("argv.py");
    const QString raises = dir.filePath("raises.py");
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0 << "Usage: oxhost [options] [script.py"
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << QByteArray() << 0 << "oxhost 1."
                             << "";
    // Help wins over the version and the man page, whatever their order.
    QTest::newRow("version and help") << QStringList{"--version", "--help"} << QByteArray() << 0 << "Usage: oxhost"
                                      << "";
    QTest::newRow("man page and help") << QStringList{"--help-man", "-h"} << QByteArray() << 0 << "Usage: oxhost"
                                       << "";
    QTest::newRow("man page") << QStringList{"--help-man"} << QByteArray() << 0 << ".TH OXHOST 1"
                              << "";
    QTest::newRow("man page takes no value") << QStringList{"--help-man=x"} << QByteArray() << 2 << ""
                                             << "unknown option \"--help-man=x\"";
    QTest::newRow("unknown option") << QStringList{"--bogus", argv} << QByteArray() << 2 << ""
                                    << "oxhost: unknown option \"--bogus\"; see oxhost --help";
    QTest::newRow("-c without code") << QStringList{"-c"} << QByteArray() << 2 << ""
                                     << "-c needs the code to run";
    QTest::newRow("--project without file") << QStringList{"--project"} << QByteArray() << 2 << ""
                                            << "--project needs a file";
    QTest::newRow("code") << QStringList{"-c", "print(sum(range(4)))"} << QByteArray() << 0 << "6\n"
                          << "";
    QTest::newRow("code arguments") << QStringList{"-c", "import sys; print(sys.argv)", "a", "--b"} << QByteArray() << 0
                                    << "['-c', 'a', '--b']"
                                    << "";
    QTest::newRow("code arguments that look like options")
        << QStringList{"-c", "import sys; print(sys.argv)", "--help", "-x"} << QByteArray() << 0
        << "['-c', '--help', '-x']"
        << "";
    QTest::newRow("script arguments") << QStringList{argv, "x", "--help", "-c"} << QByteArray() << 0
                                      << QString("['%1', 'x', '--help', '-c']").arg(argv) << "";
    QTest::newRow("script after --") << QStringList{"--", argv} << QByteArray() << 0 << QString("['%1']").arg(argv)
                                     << "";
    QTest::newRow("script folder is importable")
        << QStringList{dir.filePath("imports.py")} << QByteArray() << 0 << "42\n"
        << "";
    QTest::newRow("uncaught exception") << QStringList{raises} << QByteArray() << 1 << ""
                                        << QString("File \"%1\", line 2, in f\n    raise ValueError('boom')\n"
                                                   "ValueError: boom")
                                               .arg(raises);
    QTest::newRow("sys.exit") << QStringList{dir.filePath("exits.py")} << QByteArray() << 4 << "leaving\n"
                              << "";
    QTest::newRow("sys.exit with text") << QStringList{"-c", "raise SystemExit('bye')"} << QByteArray() << 1 << ""
                                        << "bye\n";
    QTest::newRow("missing script") << QStringList{dir.filePath("none.py")} << QByteArray() << 2 << ""
                                    << "oxhost: cannot read the script";
    QTest::newRow("syntax error") << QStringList{"-c", "print("} << QByteArray() << 1 << ""
                                  << "SyntaxError";
    QTest::newRow("both modules, no imports")
        << QStringList{"-c", "enableSurfaceAnalysis(True); print(oxHost.get('AnalysisActive'), oxSurfaceAnalysis)"}
        << QByteArray() << 0 << "True <module 'oxSurfaceAnalysis' (built-in)>"
        << "";
    QTest::newRow("piped console") << QStringList()
                                   << QByteArray("x = 6\nfor i in range(2):\n    x += i\n\nprint(x * 6)\n") << 0
                                   << "42\n"
                                   << "";
    QTest::newRow("piped console with an error") << QStringList() << QByteArray("1/0\nprint('on')\n") << 1 << "on\n"
                                                 << "ZeroDivisionError";
    QTest::newRow("console exit") << QStringList() << QByteArray("import sys\nsys.exit(5)\nprint('never')\n") << 5 << ""
                                  << "";
}

void tst_Oxhost::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const Result r = oxhost(args, input);
    QVERIFY2(r.status == status, qPrintable(QString("status %1\n%2%3").arg(r.status).arg(r.out, r.err)));
    QVERIFY2(r.out.contains(out), qPrintable(r.out));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (out.isEmpty() && status != 0)
        QVERIFY2(!r.out.contains("never"), qPrintable(r.out));
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

// The draft and comb options, applied after the project and --analysis, before the script.
namespace
{
// --colour-map, --colormap and --flat-colours rows of hostAnalysisOptions_data.
void addColourMapRows()
{
    const QString colours = "import oxHost\n"
                            "print([oxHost.get(n) for n in ('ColourMap', 'ColourMapReversed', 'ColourMapSteps')])";
    QTest::newRow("colour map") << QStringList{"--colour-map", "cividis", "-c", colours} << 0 << "[2, False, 0]"
                                << "";
    // As users write it, and the older spelling; the last of reverse and steps counts once each.
    const char* const written[][2] = {
        {"--colour-map=Viridis_r:64", "[1, True, 64]"},   {"--colormap=viridis,reverse,steps=8", "[1, True, 8]"},
        {"--colormap=coolwarm,steps=5", "[3, False, 5]"}, {"--colormap=Cividis, Reverse", "[2, True, 0]"},
        {"--colormap=viridis_r,steps=3", "[1, True, 3]"},
    };
    for (const auto& [arg, shown] : written)
        QTest::newRow(arg) << QStringList{arg, "-c", colours} << 0 << shown << "";
    const QString maps = "oxhost: --colormap needs a colour map's name (classic, viridis, cividis, coolwarm), "
                         "optionally followed by ,reverse and ,steps=N, a number of bands from 1 to 64 (or NAME_r:N), ";
    for (const char* value : {"jet", "viridis:0", "viridis:65", "viridis:", "_r", "viridis,steps=0", "viridis,steps=65",
                              "viridis,steps=", "viridis,upside-down", "viridis,"})
        QTest::newRow(qPrintable(QString("--colormap ") + value))
            << QStringList{QString("--colormap=") + value, "-c", "print('never')"} << 2 << ""
            << maps + "not \"" + value + "\"";
    const QString lit = "import oxHost\nprint(oxHost.get('ColoursLit'))";
    QTest::newRow("colours lit by default") << QStringList{"-c", lit} << 0 << "True"
                                            << "";
    QTest::newRow("flat colours") << QStringList{"--flat-colours", "-c", lit} << 0 << "False"
                                  << "";
}

} // namespace

void tst_Oxhost::hostAnalysisOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString draft = "import oxHost\n"
                          "g = lambda n: (lambda v: tuple(round(c, 4) for c in v) if isinstance(v, tuple) else v)"
                          "(oxHost.get(n))\n"
                          "print([g(n) for n in ('DraftActive', 'DraftDirection', 'DraftAngle', 'AnalysisActive')])";
    const QString combs = "import oxHost\n"
                          "print([oxHost.get(n) for n in ('CombActive', 'CombEdges', 'CombSections', "
                          "'CombSectionNormal', 'DraftActive')])";
    QTest::newRow("draft along z") << QStringList{"--draft", "z:3", "-c", draft} << 0
                                   << "[True, (0.0, 0.0, 1.0), 3.0, False]"
                                   << "";
    QTest::newRow("draft after the analysis")
        << QStringList{"--analysis", "zebra", "--draft=-y", "-c", draft} << 0 << "[True, (0.0, -1.0, 0.0), 1.0, False]"
        << "";
    QTest::newRow("draft along numbers") << QStringList{"--draft", "0,3,4:0", "-c", draft} << 0
                                         << "[True, (0.0, 0.6, 0.8), 0.0, False]"
                                         << "";
    QTest::newRow("comb edges") << QStringList{"--comb-edges", "-c", combs} << 0
                                << "[True, True, 0, (1.0, 0.0, 0.0), False]"
                                << "";
    QTest::newRow("comb sections") << QStringList{"--comb-sections", "5:0,0,2", "-c", combs} << 0
                                   << "[True, True, 5, (0.0, 0.0, 1.0), False]"
                                   << "";
    // The ends of the settings' domains.
    QTest::newRow("least draft 0") << QStringList{"--draft", "z:0", "-c", draft} << 0
                                   << "[True, (0.0, 0.0, 1.0), 0.0, False]"
                                   << "";
    QTest::newRow("least draft under 90")
        << QStringList{"--draft", "z:89.5", "-c", draft} << 0 << "[True, (0.0, 0.0, 1.0), 89.5, False]"
        << "";
    QTest::newRow("most sections") << QStringList{"--comb-sections", "1000", "-c", combs} << 0
                                   << "[True, True, 1000, (1.0, 0.0, 0.0), False]"
                                   << "";
    addColourMapRows();
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
        QTest::newRow(qPrintable(QString("--%1 %2").arg(row[0], row[1])))
            << QStringList{QString("--%1=%2").arg(row[0], row[1]), "-c", "print('never')"} << 2 << ""
            << (QString(row[0]) == "draft" ? direction : sections) + row[2];
    QTest::newRow("--draft without value") << QStringList{"--draft"} << 2 << ""
                                           << "oxhost: --draft needs a pull direction";
}

void tst_Oxhost::hostAnalysisOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Result r = oxhost(args, QByteArray());
    QVERIFY2(r.status == status, qPrintable(QString("status %1\n%2%3").arg(r.status).arg(r.out, r.err)));
    QVERIFY2(r.out.contains(out) && !r.out.contains("never"), qPrintable(r.out));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
}

void tst_Oxhost::startsHeadlessOnItsOwn()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    const Result r = oxhost({"-c", "print(oxHost.get('IsoLineCount'))"}, QByteArray(), env);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QString("16\n"));
}

void tst_Oxhost::analysisModeEntersSurfaceModeAfterOneSecond_data()
{
    QTest::addColumn<bool>("analysisMode");
    QTest::addColumn<QString>("out");
    QTest::newRow("analysis mode") << true << "at start: False 0\nlater: True True 2 8\n";
    QTest::newRow("normal mode") << false << "at start: False 0\nlater: False False 0 4\n";
}

void tst_Oxhost::analysisModeEntersSurfaceModeAfterOneSecond()
{
    QFETCH(bool, analysisMode);
    QFETCH(QString, out);
    QStringList args;
    if (analysisMode)
        args << "--analysis-mode";
    args << "-c"
         << "print('at start:', oxHost.get('AnalysisActive'), oxHost.renderState()['renderingMode'])\n"
            "oxHost.wait(1500)\n"
            "s = oxHost.renderState()\n"
            "print('later:', oxHost.get('AnalysisActive'), oxHost.get('UiVisibility'), s['renderingMode'], "
            "s['renderQuality'])\n";
    const Result r = oxhost(args);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, out);
}

void tst_Oxhost::projectIsLoadedBeforeTheScript()
{
    const QString path = dir.filePath("seven.json");
    QVERIFY(writeTestFile(path, "{\"values\": {\"Number of Isolines\": {\"type\": \"unsigned\", \"value\": 7},\n"
                                "  \"Isoline Color\": {\"type\": \"vec3f\", \"value\": [0.1, 0.2, 0.3]}}}"));
    const Result r = oxhost({"--project", path, "-c",
                             "print(oxHost.get('IsoLineCount'), oxHost.get('StripeColor') == "
                             "oxHost.projectValues()['Isoline Color'])"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QString("7 True\n"));
}

void tst_Oxhost::brokenProjectStopsBeforeTheScript()
{
    const QString path = dir.filePath("broken.json");
    QVERIFY(
        writeTestFile(path, "{\"values\": {\n  \"Number of Isolines\": {\"type\": \"unsigned\", \"value\": \"7\"}}}"));
    const Result r = oxhost({"--project=" + path, "-c", "print('ran')"});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains("oxhost: cannot read project \"" + path +
                            "\": line 2: expected a whole number from 0 to 4294967295 for key \"Number of Isolines\""),
             qPrintable(r.err));
}

// A project file that asks for more section planes than the setter takes (once an image grew to
// gigabytes and aborted): it renders with the default, and says which key it did not take.
void tst_Oxhost::projectBeyondTheSettingsRendersWithTheDefaults()
{
    const QString path = dir.filePath("sections.json");
    const QString image = dir.filePath("sections.png");
    QVERIFY(writeTestFile(path, "{\"values\": {\"Host Combs Section Count\": {\"type\": \"unsigned\", \"value\": "
                                "4294967295},\n  \"Host Combs Active\": {\"type\": \"bool\", \"value\": true}}}"));
    const Result r = oxhost({"--sample", "sphere", "--project", path, "--size", "64x48", "--render", image, "-c",
                             "print(oxHost.get('CombSections'), oxHost.get('CombActive'))"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QString("0 True\n"));
    QVERIFY2(r.err.contains("key 'Host Combs Section Count': the value of CombSections must be from 0 to 1000, not "
                            "4294967295; it loads as its default 0"),
             qPrintable(r.err));
    QVERIFY(QFile::exists(image));
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
