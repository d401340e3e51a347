#pragma once

#include "oxHostAnalysisSettings.h"

#include <QImage>

#include <memory>
#include <vector>

class oxDeviationColouring;
struct oxDeviationField;
class oxRenderScene;

// The scale a deviation frame is coloured on, and its legend.
class oxDeviationOverlay
{
public:
    // DeviationRange, or while it is 0, the 98th percentile of |distance| over the field's vertices
    // (kept for the last field, which the frames share until the model or reference change).
    static float halfRange(const oxHostAnalysisSettings& host, const std::shared_ptr<const oxDeviationField>& field);

    // Area fractions of the model's distances in bins equal steps over [-range, range], outliers
    // in the end bins; empty without area or range.
    static std::vector<double> histogram(const oxRenderScene& model, const oxDeviationField& field, float range,
                                         int bins);
    // The legend's: 32 bins, kept for the last field and range, so that a frame only draws them.
    static std::vector<double> legendHistogram(const oxRenderScene& model,
                                               const std::shared_ptr<const oxDeviationField>& field, float range);

    // A vertical bar at the right edge over -range .. range in the deviation's colours, the
    // histogram beside it and lines at +-tolerance.
    static void drawLegend(QImage& image, const oxDeviationColouring& deviation, const std::vector<double>& histogram);

    static constexpr QRgb ToleranceMark = 0xff101010u;
};
