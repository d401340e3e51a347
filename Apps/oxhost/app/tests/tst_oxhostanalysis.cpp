// oxhost's readable analysis as a user drives it: probe, statistics, fitted range and lights with
// their undo steps, export, the command-line switches, bad input, and the HTML report in a browser.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

// A coarse sphere of radius 250 around (1000, 0, 0): a part far larger than the default lights.
QByteArray bigSphereObj()
{
    QByteArray obj;
    const int rings = 24, cols = 48;
    for (int r = 0; r <= rings; ++r)
        for (int c = 0; c < cols; ++c)
        {
            const double t = M_PI * r / rings, p = 2 * M_PI * c / cols;
            obj += QString("v %1 %2 %3\n")
                       .arg(1000 + 250 * std::sin(t) * std::cos(p))
                       .arg(250 * std::cos(t))
                       .arg(250 * std::sin(t) * std::sin(p))
                       .toLatin1();
        }
    for (int r = 0; r < rings; ++r)
        for (int c = 0; c < cols; ++c)
        {
            const int a = r * cols + c + 1, b = r * cols + (c + 1) % cols + 1;
            obj += QString("f %1 %3 %2\nf %2 %3 %4\n").arg(a).arg(a + cols).arg(b).arg(b + cols).toLatin1();
        }
    return obj;
}

// Dark runs along the middle third of the middle row, where the part is bright without lines.
int darkRuns(const QImage& image)
{
    int runs = 0;
    bool inside = false;
    const int y = image.height() / 2;
    for (int x = image.width() / 3; x < image.width() * 2 / 3; ++x)
    {
        const bool d = qGray(image.pixel(x, y)) < 160;
        runs += d && !inside;
        inside = d;
    }
    return runs;
}
} // namespace

class tst_OxhostAnalysis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptsReadAndFit_data();
    void scriptsReadAndFit();
    void badInputRaisesNamingTheArgument_data();
    void badInputRaisesNamingTheArgument();
    void commandLineFitsLightsAndRange_data();
    void commandLineFitsLightsAndRange();
    void reportInABrowser();
};

void tst_OxhostAnalysis::scriptsReadAndFit_data()
{
    QTest::addColumn<QStringList>("args"); // before the code; DIR is a scratch folder
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("expected"); // lines of its output
    QTest::newRow("the sphere's numbers") << QStringList() << R"(
import math, os, oxHost
oxHost.addSample("sphere")
oxHost.frameScene(1.6)
oxHost.setViewSize(320, 200)
p = oxHost.probe(160, 100)
print("centre", round(p["k1"], 3), round(p["k2"], 3), round(p["mean"], 3), round(p["radiusMin"]), p["mesh"], p["face"], p["exact"])
print("directions", round(abs(sum(a * b for a, b in zip(p["dir1"], p["normal"]))), 4))
print("corner", oxHost.probe(0, 0))
r = oxHost.probeRay((0, 0, 100), (0, 0, -1))
print("ray", [round(v, 2) for v in r["point"]], round(r["gauss"], 4))
print("miss", oxHost.probeRay((0, 0, 100), (0, 0, 1)))
s = oxHost.curvatureStats(1, bins=8)
print("stats", round(s["median"], 3), round(s["low"], 3), round(s["high"], 3), len(s["hist"]), len(s["edges"]), round(sum(s["hist"]), 6))
print("export", oxHost.exportCurvature(r'DIR/sphere.ply') == r'DIR/sphere.ply', os.path.getsize(r'DIR/sphere.ply') > 1000)
oxHost.report(r'DIR/r.html', 64, 64)
print("view kept", oxHost.probe(300, 150) is None)
)"
                                          << QStringList{"centre 0.05 0.05 0.05 20 sphere None False",
                                                         "directions 0.0",
                                                         "corner None",
                                                         "ray [0.0, 0.0, 20.0] 0.0025",
                                                         "miss None",
                                                         "stats 0.05 0.05 0.05 8 9 1.0",
                                                         "export True True",
                                                         "view kept True"}; // the report's images leave the view alone
    // The teapot's mean curvature: its median near 0.05, near 1 along its rims. The default fit
    // spans the body's values, the percentiles' fit (as before) the rims'.
    QTest::newRow("the teapot's range") << QStringList{"--sample", "teapot"}
                                        << "import oxHost\noxHost.set('CurvatureMode', 1)\n"
                                           "print('body %.3f' % (1 / oxHost.autoRange()))\n"
                                           "print('percentiles %.2f' % (1 / oxHost.autoRange(2, 98)))\n"
                                           "print('high only %.2f' % (1 / oxHost.autoRange(high=98)))"
                                        << QStringList{"body 0.289", "percentiles 0.93", "high only 0.93"};
    // Cylinder r = 15, height 50: box diagonal sqrt(30^2 + 50^2 + 30^2) = 65.57; the default plane
    // faces +z, so the fitted origin lies 15 + 5 % of the diagonal in front of the centre. The
    // maximum curvature is 1 / 15 all over: the ramp's end at 1 / 15. Each fit is one undo step.
    QTest::newRow("fits are single undo steps")
        << QStringList() << R"(
import oxHost
oxHost.addSample("cylinder")
oxHost.set("LimitedLightLinesLength", True)
before = oxHost.settings()
n = oxHost.undoCount()
oxHost.fitLights()
after = oxHost.settings()
print("fit", oxHost.undoCount() - n, oxHost.undoText(oxHost.undoCount() - 1))
print("origin", [round(v, 2) for v in after["LightPlaneOrigin"]], round(after["LightLinesDistance"], 3), round(after["LightLinesLength"], 2))
oxHost.undo()
print("undone", oxHost.settings() == before)
scale = oxHost.autoRange()
print("range", round(scale, 2), round(oxHost.settings()["CurvatureDrawScale"], 2), oxHost.undoCount() - n)
oxHost.undo()
print("range undone", oxHost.settings() == before)
)"
        << QStringList{"fit 1 Fit lights", "origin [0.0, 0.0, 18.28] 4.098 131.15", "undone True", "range 15.0 15.0 1",
                       "range undone True"};
}

void tst_OxhostAnalysis::scriptsReadAndFit()
{
    QFETCH(QStringList, args);
    QFETCH(QString, code);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const Result r = oxhost(args + QStringList{"-c", code.replace("DIR", dir.path())});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    for (const QString& line : expected)
        QVERIFY2(r.out.contains(line), qPrintable(line + " not in:\n" + r.out));
}

void tst_OxhostAnalysis::badInputRaisesNamingTheArgument_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    const QString sphere = "oxHost.addSample('sphere')";
    const struct
    {
        const char* name;
        QString setup;
        const char *call, *message;
    } rows[] = {
        {"probe outside the view", sphere, "oxHost.probe(5000, 10)", "ValueError: x must lie in the view"},
        {"probe y not finite", sphere, "oxHost.probe(1, float('nan'))", "ValueError: y must be finite"},
        {"probe not a number", sphere, "oxHost.probe('a', 1)", "TypeError: x must be a number"},
        {"ray origin infinite", sphere, "oxHost.probeRay((0, 0, float('inf')), (0, 0, 1))",
         "ValueError: origin[2] must be finite"},
        {"stats of an empty scene", QString(), "oxHost.curvatureStats()",
         "RuntimeError: cannot take curvature statistics: the scene has no meshes"},
        {"stats kind", sphere, "oxHost.curvatureStats(kind=7)", "ValueError: kind must be"},
        {"stats bins", sphere, "oxHost.curvatureStats(bins=0)", "ValueError: bins must be"},
        {"stats percentiles", sphere, "oxHost.curvatureStats(low=60, high=50)",
         "ValueError: low and high must be percentiles"},
        {"range of a flat model", QString("oxHost.addMesh('flat', [(0,0,0),(1,0,0),(0,1,0)], [(0,1,2)])"),
         "oxHost.autoRange()", "RuntimeError: cannot fit the curvature range"},
        {"range high not finite", sphere, "oxHost.autoRange(high=float('inf'))", "ValueError: high must be finite"},
        {"export of an empty scene", QString(), "oxHost.exportCurvature('DIR/a.ply')", "no meshes"},
        {"export unwritable", sphere, "oxHost.exportCurvature('DIR/no/such/a.ply')",
         "RuntimeError: cannot write \"DIR/no/such/a.ply\""},
        {"export suffix", sphere, "oxHost.exportCurvature('DIR/a.stl')", "suffix must be .ply or .csv"},
        {"fit an empty scene", QString(), "oxHost.fitLights()", "RuntimeError: cannot fit the lights"},
        {"too many samples", sphere, "oxHost.render('DIR/a.png', 8, 8, samples=100)",
         "ValueError: samples must be between 1 and 16, not 100"},
        {"view size", sphere, "oxHost.setViewSize(0, 10)", "ValueError: width must be"},
        {"report unwritable", sphere, "oxHost.report('DIR/no/such/r.html', 64, 64)",
         "RuntimeError: cannot write the report \"DIR/no/such/r.html\""},
        {"report of an empty scene", QString(), "oxHost.report('DIR/r.html')", "the scene has no meshes"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.name) << row.setup << QString(row.call) << QString(row.message);
}

// A clear exception, nothing changed: no undo step, no file left behind.
void tst_OxhostAnalysis::badInputRaisesNamingTheArgument()
{
    QFETCH(QString, setup);
    QFETCH(QString, call);
    QFETCH(QString, message);
    QTemporaryDir dir;
    call.replace("DIR", dir.path());
    message.replace("DIR", dir.path());
    const QString code = QString("import oxHost\n%1\nbefore = (oxHost.settings(), oxHost.undoCount())\ntry:\n    %2\n"
                                 "    print('no error')\nexcept Exception as e:\n    print(type(e).__name__ + ': ' + "
                                 "str(e))\nprint('unchanged', (oxHost.settings(), oxHost.undoCount()) == before)\n")
                             .arg(setup, call);
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(message), qPrintable(r.out));
    QVERIFY2(r.out.contains("unchanged True"), qPrintable(r.out));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
}

void tst_OxhostAnalysis::commandLineFitsLightsAndRange_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("lines");
    const QString reflection =
        "enableSurfaceAnalysis(True)\nsetSurfaceAnalysisMode(1)\noxHost.set('ReflectionMode', 1)";
    QTest::newRow("fitted reflection lines") << QStringList() << reflection << true;
    QTest::newRow("--no-fit keeps the defaults") << QStringList{"--no-fit"} << reflection << false;
    QTest::newRow("--auto-range colours curvature")
        << QStringList{"--auto-range"} << "enableSurfaceAnalysis(True)\nsetSurfaceAnalysisMode(3)" << false;
}

// A 500 unit part: with the default lights (lines 10 apart) its reflection lines are a blur; the
// fitted ones cross it a countable number of times. Curvature fills the ramp after --auto-range.
void tst_OxhostAnalysis::commandLineFitsLightsAndRange()
{
    QFETCH(QStringList, options);
    QFETCH(QString, code);
    QFETCH(bool, lines);
    QTemporaryDir dir;
    const QString obj = writeTestFile(dir, "part.obj", bigSphereObj());
    QVERIFY(!obj.isEmpty());
    const QString image = dir.filePath("view.png");
    const Result r =
        oxhost(QStringList{"--mesh", obj, "--view", "top"} + options +
               QStringList{"--render", image, "--size", "320x200", "--samples", "2", "-c", "import oxHost\n" + code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QImage view(image);
    QCOMPARE(view.size(), QSize(320, 200));
    if (options.contains("--auto-range"))
    {
        // The sphere's curvature sits at the ramp's end: saturated red in the middle, and the legend.
        const QRgb c = view.pixel(120, 100);
        QVERIFY2(qRed(c) > 150 && qGreen(c) < 80, qPrintable(QString::number(c, 16)));
        return;
    }
    const int runs = darkRuns(view);
    if (lines)
        QVERIFY2(runs >= 3, qPrintable(QString::number(runs)));
    else
        QCOMPARE(runs, 0);
}

void tst_OxhostAnalysis::reportInABrowser()
{
    QTemporaryDir dir;
    const QString report = dir.filePath("report.html");
    const Result r = oxhost({"--sample", "joins", "--report", report, "--size", "480x300"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QString html = QString::fromUtf8(readTestFile(report));
    QVERIFY(html.startsWith("<!DOCTYPE html>"));
    QCOMPARE(html.count("<img "), 4);
    QCOMPARE(html.count("src=\"data:image/png;base64,"), 4);
    QVERIFY(html.contains("<svg") && html.contains("@media print") && html.contains("size: A4"));
    QVERIFY(!html.contains("<script") && !html.contains("src=\"http") && !html.contains("href=\"http"));
    QVERIFY(html.contains("<td>joins</td>") || html.contains(">joins<"));

    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    QTemporaryDir profile;
    const QString shot = dir.filePath("shot.png");
    QProcess browser;
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                             "--disable-background-networking", "--disable-component-update", "--disable-sync",
                             "--enable-logging=stderr", "--user-data-dir=" + profile.path(), "--window-size=800,1400",
                             "--screenshot=" + shot, QUrl::fromLocalFile(report).toString()});
    QVERIFY(browser.waitForFinished(120000));
    const QString log = QString::fromUtf8(browser.readAllStandardError());
    QCOMPARE(browser.exitCode(), 0);
    QVERIFY2(!log.contains("Failed to load") && !log.contains("Not allowed to load") && !log.contains("Uncaught"),
             qPrintable(log));
    const QImage page(shot);
    QVERIFY(!page.isNull());
    // The page is white with dark text; the first image's grey background shows below the model table.
    int grey = 0;
    for (int y = 0; y < page.height(); y += 4)
        for (int x = 0; x < page.width(); x += 4)
        {
            const QRgb c = page.pixel(x, y);
            grey += qGray(c) > 40 && qGray(c) < 110 && std::abs(qRed(c) - qBlue(c)) < 30;
        }
    QVERIFY2(grey > page.width() * page.height() / 16 / 10, qPrintable(QString::number(grey)));
}

QTEST_GUILESS_MAIN(tst_OxhostAnalysis)
#include "tst_oxhostanalysis.moc"
