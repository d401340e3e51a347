#pragma once

#include "oxFrame.h"
#include "oxHostCad.h"

#include <QImage>
#include <QString>

#include <string>
#include <utility>
#include <vector>

struct oxCurvatureStats;

// One self-contained HTML page about the model in view: the model, an image per analysis kind
// with the settings it was made with, the curvature statistics with an inline SVG histogram, and
// the continuity of shared edges. Images are data URIs; the page loads nothing from elsewhere and
// prints on A4. The images are made from a copy of the record's settings: no setting changes.
class oxHostReport
{
public:
    // False with error naming the file; the old file then stays as it was.
    static bool write(const std::string& path, int width, int height, std::string& error);

    // Numbers as the page writes them: 4 significant digits by default; a share as a percentage.
    static QString number(double v, int digits = 4);
    static QString percent(double share);
    // The image as a PNG data URI, for an <img> of the page.
    static QString dataUri(const QImage& image);
    // The statistics' histogram as inline SVG bars from their low to their high value, zero marked.
    static QString histogramSvg(const oxCurvatureStats& stats);

    typedef std::vector<std::pair<QString, QString>> Rows; // headings and cells, as HTML
    // A table of numbers, one heading and value a row; tableRows is its rows alone.
    static QString table(const Rows& rows);
    static QString tableRows(const Rows& rows);
    // The image with its caption (HTML, up to the table) and the settings it was made with.
    static QString figure(const QString& alt, const QImage& image, const QString& caption, const Rows& settings);

    // A whole page in the report's style: its title as heading, the time it was made, then body.
    static QString page(const QString& title, const QString& body);

    // Every colouring analysis of the host switched off in the view, for an image coloured by one
    // or by the module.
    static void withoutHostColourings(oxFrame::Request& view);

    // What modelInfo() says, with the scene's mesh names as the sources where no file was read.
    static oxHostCad::ModelInfo modelInfo();

    struct ContinuityRow
    {
        std::string edge, faces, continuity; // continuity: "G3", "G2", "G1", "G0" or "open"
        double gap = 0, angleDegrees = 0, curvatureJump = 0, curvatureRateJump = 0;
    };
    // The model's shared edges (the report puts the worst first); none for mesh input.
    static std::vector<ContinuityRow> continuityRows();
};
