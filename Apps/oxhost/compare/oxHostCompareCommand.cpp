#include "oxHostCompareCommand.h"

#include "oxAtomicFile.h"
#include "oxHostCommandLine.h"
#include "oxCompareView.h"
#include "oxHostCompare.h"
#include "oxHostCompareReport.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
struct Arguments
{
    oxCompareOptions options;
    std::string out = ".";
    std::string tolerance;
    std::string render, view = "iso", report; // --render IMG, --view NAME, --report R.html
    std::string colourMap;                    // --colormap NAME[,reverse][,steps=N]
    oxHostAnalysisSettings host;              // the images' colour map
    oxHostCommandLine::Arguments common;
};

void parseTolerance(const std::string& text, Arguments& a)
{
    char* end = nullptr;
    const double t = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(t) || !(t > 0))
        a.common.error = "--tolerance needs a number more than 0, not \"" + text + "\"";
    a.options.tolerance = t;
}

Arguments parse(const std::vector<std::string>& args)
{
    Arguments a;
    a.common = oxHostCommandLine::parse(args, {{"--align", nullptr, &a.options.align},
                                               {"--tolerance", &a.tolerance},
                                               {"--out", &a.out},
                                               {"--render", &a.render},
                                               {"--view", &a.view},
                                               {"--report", &a.report},
                                               {"--colormap", &a.colourMap},
                                               {"--colour-map", &a.colourMap}});
    std::string& error = a.common.error;
    if (error.empty() && !a.tolerance.empty())
        parseTolerance(a.tolerance, a);
    oxHostCommandLine::ColourMap map;
    if (error.empty() && !a.colourMap.empty() && oxHostCommandLine::colourMap("--colormap", a.colourMap, map, error))
    {
        a.host.ColourMap = map.map;
        a.host.ColourMapReversed = map.reversed;
        a.host.ColourMapSteps = map.steps;
    }
    if (error.empty() && !oxHostCompareReport::isView(a.view))
        error = "--view needs iso, top, bottom, front, back, left or right, not \"" + a.view + "\"";
    if (error.empty() && a.common.files.size() != 2 && !a.common.help)
        error =
            "compare needs two files, the old release and the new one, not " + std::to_string(a.common.files.size());
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

// The image and the report the command line asks for; false once one could not be written.
bool writePictures(const Arguments& a, const oxHostCompareParts& parts, const oxHostComparison& comparison)
{
    // The legend's text needs fonts: a GUI application, on no display unless the user chose one.
    std::unique_ptr<QGuiApplication> gui;
    if (!QCoreApplication::instance())
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "oxhost";
        static char* argv[] = {name, nullptr};
        gui = std::make_unique<QGuiApplication>(argc, argv);
    }
    const std::shared_ptr<const oxCompareView> view =
        oxCompareView::make(comparison.result, parts.oldPart, parts.newPart);
    oxHostCompareReport::ImageOptions options;
    options.view = a.view;
    options.host = a.host;
    const QImage image = oxHostCompareReport::image(parts.newPart, view, options);
    if (!a.render.empty() && !image.save(QString::fromStdString(a.render)))
    {
        std::fprintf(stderr, "oxhost: compare: cannot write the image \"%s\"\n", a.render.c_str());
        return false;
    }
    if (a.report.empty())
        return true;
    options.view = a.view == "top" ? "iso" : "top";
    const oxHostCompareReport::Images images = {{QString("From %1").arg(QString::fromStdString(a.view)), image},
                                                {QString("From %1").arg(QString::fromStdString(options.view)),
                                                 oxHostCompareReport::image(parts.newPart, view, options)}};
    std::string error;
    if (oxHostCompareReport::write(a.report, comparison, images, error))
        return true;
    std::fprintf(stderr, "oxhost: compare: %s\n", error.c_str());
    return false;
}
} // namespace

std::string oxHostCompareCommand::usage()
{
    return "Usage: oxhost compare OLD NEW [--tolerance T] [--align] [--out DIR] [--render IMG] [--view V]\n"
           "                      [--report R.html] [--colormap NAME[,reverse][,steps=N]]\n\n"
           "Compares two releases of a part face by face: each face of either is unchanged, modified, added\n"
           "(in NEW only) or removed (in OLD only). Writes DIR/compare.json and DIR/compare.csv (DIR: the\n"
           "current folder unless given) and prints a verdict. T is the largest distance of an unchanged face\n"
           "(default: 5e-4 of OLD's bounding box diagonal); --align best-fits NEW onto OLD first.\n\n"
           "--render writes an image of NEW by class (grey unchanged, modified by distance, added green) with\n"
           "OLD's removed faces as a purple ghost, from view V (iso, top, bottom, front, back, left or right;\n"
           "iso unless given); --report writes an HTML page \"What changed\" with the totals, the changed faces\n"
           "and two such images. --colormap colours the modified faces on a colour map as the other analyses\n"
           "take it (oxhost --help): viridis, cividis or coolwarm, ,reverse turns it round, ,steps=N bands it.\n\n"
           "Exit status: 0 unchanged within the tolerance; 1 changed; 2 a wrong command line; 3 a file could\n"
           "not be read or compared, or a result could not be written.\n";
}

int oxHostCompareCommand::run(const std::vector<std::string>& args)
{
    const Arguments a = parse(args);
    if (a.common.help)
    {
        std::fputs(usage().c_str(), stdout);
        return Unchanged;
    }
    if (!a.common.error.empty())
    {
        std::fprintf(stderr, "oxhost: compare: %s; see oxhost compare --help\n", a.common.error.c_str());
        return Usage;
    }
    const QDir out(QString::fromStdString(a.out));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "oxhost: compare: cannot make the folder \"%s\"\n", a.out.c_str());
        return NotCompared;
    }
    oxHostCompareParts parts;
    oxHostComparison comparison;
    std::string error;
    if (!oxHostCompare::files(a.common.files[0], a.common.files[1], a.options, parts, comparison, error))
    {
        std::fprintf(stderr, "oxhost: compare: %s\n", error.c_str());
        return NotCompared;
    }
    std::printf("%s\n", oxHostCompare::verdict(comparison).c_str());
    if (!save(out, "compare.json", oxHostCompare::json(comparison)) ||
        !save(out, "compare.csv", oxHostCompare::csv(comparison)))
        return NotCompared;
    if ((!a.render.empty() || !a.report.empty()) && !writePictures(a, parts, comparison))
        return NotCompared;
    return comparison.result.unchanged() ? Unchanged : Changed;
}
