#pragma once

#include "OSGVector.h"

#include <QImage>
#include <QString>

#include <string>
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

    struct ModelInfo
    {
        std::vector<std::string> files; // the model's parts as the scene names them
        size_t meshes = 0, vertices = 0, triangles = 0;
        long faces = -1; // CAD faces; -1 for meshes
        osg::Vec3f size;
    };
    // The scene's meshes, with the CAD input's face count and the files read.
    static ModelInfo modelInfo();

    struct ContinuityRow
    {
        std::string edge, faces, continuity; // continuity: "G2", "G1", "G0" or "open"
        double gap = 0, angleDegrees = 0, curvatureJump = 0;
    };
    // The model's shared edges (the report puts the worst first); none for mesh input.
    static std::vector<ContinuityRow> continuityRows();
};
