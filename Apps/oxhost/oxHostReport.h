#pragma once

#include "OSGVector.h"

#include <string>
#include <vector>

// One self-contained HTML page about the model in view: the model, an image per analysis kind
// with the settings it was made with, the curvature statistics with an inline SVG histogram, and
// the continuity of shared edges. Images are data URIs; the page loads nothing from elsewhere and
// prints on A4. The images are made from a copy of the record's settings: no setting changes.
class oxHostReport
{
public:
    // False with error naming the file; the old file then stays as it was.
    static bool write(const std::string& path, int width, int height, std::string& error);

    struct ModelInfo
    {
        std::vector<std::string> files; // the model's parts as the scene names them
        size_t meshes = 0, vertices = 0, triangles = 0;
        long faces = -1; // CAD faces; -1 for meshes
        osg::Vec3f size;
    };
    // Read from the scene's meshes; CAD input brings its own with face counts.
    static ModelInfo modelInfo();

    struct ContinuityRow
    {
        std::string edge, faces, continuity; // continuity: "G0", "G1", "G2" or "gap"
        double gap = 0, angleDegrees = 0, curvatureJump = 0;
    };
    // The model's shared edges (the report puts the worst first); none for mesh input.
    static std::vector<ContinuityRow> continuityRows();
};
