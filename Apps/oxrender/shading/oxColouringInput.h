#pragma once

#include "oxAnalysisShading.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderCamera.h"

#include <memory>

class oxRenderScene;
struct oxDeviationField;
class oxCompareView;

// What a frame's colouring is made from: the frame's settings and what the host computed for it.
struct oxColouringInput
{
    const oxRenderScene* scene = nullptr; // the traced scene, alive while the frame is composed
    oxRenderCamera camera;                // the frame's view
    oxAnalysisSettings settings;
    bool analysis = false; // the settings' analysis, else plain shading
    oxHostAnalysisSettings host;
    bool legend = false; // the module's curvature legend
    // The model's distances to the reference, and the tolerance they are coloured with.
    std::shared_ptr<const oxDeviationField> deviation;
    float deviationTolerance = 0.f;
    // A comparison of two releases whose new part is the traced scene, or null.
    std::shared_ptr<const oxCompareView> comparison;
};
