#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxColourMap.h"
#include "oxHostAnalysisSettings.h"

#include <memory>

// The draft angle colours the surface by classes (blue at least DraftAngle towards the pull,
// vermillion away from it, yellow between) or on a ramp over -90 .. 90 degrees (on the host's
// colour map when one is chosen), lit as the host's ColoursLit says; its boundary lines go over the image and its
// legend beside it.
class oxDraftColouring : public oxColouring
{
public:
    // The camera places the light of the lit colours.
    oxDraftColouring(const oxAnalysisSettings& settings, const oxHostAnalysisSettings& host,
                     const oxRenderCamera& camera = oxRenderCamera());

    // Each pixel's sine of the draft, for the boundary lines.
    bool keepsValues() const override { return true; }
    // Writes the sine of the draft into batch.value.
    void shade(oxShadingBatch& batch) const override;
    void drawOverlay(QImage& image, const std::vector<float>& values, const std::vector<float>& depth) const override;
    void drawLegend(QImage& image) const override;

    // The colour at an angle in degrees: its class's, or on the ramp.
    osg::Color3f colour(float degrees) const;
    // sin(DraftAngle): where the boundary lines lie in the values.
    float threshold() const { return _sine; }

private:
    void shadeOnScale(oxShadingBatch& batch) const;

    oxAnalysisShader _lighting;
    osg::Vec3f _pull; // unit
    float _sine = 0;
    bool _ramp = false;
    std::shared_ptr<const oxColourScale> _scale; // the host's map for the ramp; null: the classic ramp
};
