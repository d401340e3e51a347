#pragma once

#include "oxRenderScene.h"

#include <QImage>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct oxColouringInput;
struct oxShadingBatch;

// A scalar at the three corners of every triangle, three floats per triangle and mesh, which the
// tracer interpolates at each hit into the batch's value; one per point of a point cloud.
class oxCornerScalars
{
public:
    // Three per triangle of the mesh (one per point of a cloud); null where the mesh has none.
    const float* corners(size_t mesh) const
    {
        return mesh < _corners.size() && !_corners[mesh].empty() ? _corners[mesh].data() : nullptr;
    }

protected:
    std::vector<oxShadingArray> _corners;
};

// A scene a colouring has drawn over its frame as a translucent ghost in colour (a comparison's
// removed faces): its outline, a veil where it stands clear of the surface, hatched where behind it.
struct oxGhost
{
    const oxRenderScene* scene = nullptr; // alive while the frame is composed
    QRgb colour = 0;
};

// How one frame colours the surface: the frame picks one colouring and reaches it only through
// this interface. Made once per frame; shade is called from many threads at once.
class oxColouring
{
public:
    virtual ~oxColouring() = default;

    // What the tracer puts into each batch besides the hit, normal, direction and side.
    virtual bool needsCurvature() const { return false; }
    // The scalar the tracer interpolates into batch.value; null when the colouring writes the
    // value itself or has none.
    virtual const oxCornerScalars* cornerValues() const { return nullptr; }
    // Whether the frame keeps each pixel's batch.value (NaN where nothing is hit) for drawOverlay.
    virtual bool keepsValues() const { return false; }

    // Fills batch.cover and batch.colour for the batch's hits.
    virtual void shade(oxShadingBatch& batch) const = 0;
    // First among the overlays, at the traced size: depth and, when kept, the values per pixel.
    virtual void drawOverlay(QImage& /*image*/, const std::vector<float>& /*values*/,
                             const std::vector<float>& /*depth*/) const
    {
    }
    // Last, over the image at its requested size.
    virtual void drawLegend(QImage& /*image*/) const {}
    // Drawn after the overlay; none by default.
    virtual oxGhost ghost() const { return {}; }
};

// The colourings by name. Each analysis room registers its own from a static initialiser, named
// by the switch row of oxHostAnalysisSettings that turns it on; the module's is the default.
class oxColourings
{
public:
    // Null when the analysis does not colour this frame (off, or without its data).
    using Factory = std::function<std::unique_ptr<oxColouring>(const oxColouringInput&)>;
    // True, so that a static initialiser can call it.
    static bool add(const std::string& name, Factory factory);
    static bool setDefault(Factory factory);

    // The first colouring in the table's row order that colours the frame, else the default.
    static std::unique_ptr<oxColouring> make(const oxColouringInput& input);
    // In the table's row order, then any name that is no row.
    static std::vector<std::string> names();
};
