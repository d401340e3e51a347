#pragma once

#include "oxFrame.h"
#include "oxHostCompare.h"

#include <QImage>
#include <QString>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class oxCompareView;

// A comparison as pictures and a page: the new part coloured by class with the removed faces'
// ghosts (oxCompareColouring), and the report's section "What changed".
namespace oxHostCompareReport
{
// The views the images are taken from, as the command line names them.
const std::vector<std::string>& viewNames();
bool isView(const std::string& name);

// The new part by class from the named view, framed, samples x samples rays per pixel, the
// host's colour map and lighting from host and settings.
struct ImageOptions
{
    std::string view = "iso";
    int width = 1200, height = 900;
    int samples = 3;
    oxHostAnalysisSettings host;
    oxAnalysisSettings settings;
};
QImage image(const oxRenderScene& newPart, const std::shared_ptr<const oxCompareView>& view,
             const ImageOptions& options);

typedef std::vector<std::pair<QString, QImage>> Images; // captions and images
// "What changed": the verdict, the totals, the Hausdorff distance both ways, the images and the
// changed faces of either part, the largest distance first.
QString section(const oxHostComparison& comparison, const Images& images);
// A page of its own holding the section; false with error naming the file, which then stays as it was.
bool write(const std::string& path, const oxHostComparison& comparison, const Images& images, std::string& error);

// The section for the report of the viewer's model when a comparison was made on it (File >
// Compare...): the view by class and from above; empty otherwise.
QString viewSection(const oxFrame::Request& view);
} // namespace oxHostCompareReport
