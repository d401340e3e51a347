#pragma once

#include "oxDraftColouring.h"

#include <QImage>

#include <vector>

// What a draft frame gets on top of the traced image: the lines where the draft crosses
// +-DraftAngle, and its legend.
class oxDraftOverlay
{
public:
    // One pixel wide lines where the draft crosses either boundary between two neighbouring pixels
    // on the same smooth surface, on the pixel nearer to the boundary. sines and depth hold the
    // traced values at the image's size (oxRaytracer::render).
    static void drawBoundaries(QImage& image, const std::vector<float>& sines, const std::vector<float>& depth,
                               float threshold);

    // A vertical bar at the right edge, -90 degrees at the bottom to 90 at the top, in the draft's
    // colours (its classes, or its ramp), with ticks at +-DraftAngle.
    static void drawLegend(QImage& image, const oxDraftColouring& draft);

    static constexpr QRgb LineColour = 0xff101010u;
};
