#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxColourMap.h"

#include <memory>
#include <vector>

class oxDeviationCorners;
struct oxDeviationField;

// The deviation from a reference colours the surface by the distance interpolated at each hit:
// within tolerance the neutral colour, beyond it the deviation ramp up to the half-range; lit as
// the host's ColoursLit says, its legend beside the image.
class oxDeviationColouring : public oxColouring
{
public:
    // The field's distances over input's scene, coloured with input's tolerance and the range
    // oxDeviationOverlay::halfRange gives.
    explicit oxDeviationColouring(const oxColouringInput& input);

    // The distances interpolated into batch.value.
    const oxCornerScalars* cornerValues() const override;
    void shade(oxShadingBatch& batch) const override;
    void drawLegend(QImage& image) const override;

    // The colour at a signed distance: neutral within tolerance, pale to full blue (inside) or
    // vermillion (outside) from the tolerance to the half-range, or the host's colour map over
    // -range to range where one is chosen; NaN is neutral.
    osg::Color3f colour(float distance) const;
    float tolerance() const { return _tolerance; }
    float range() const { return _range; }
    // The reference is a point cloud: the distances have no side.
    bool unsignedDistances() const;

private:
    oxAnalysisShader _lighting;
    const oxRenderScene* _scene;
    std::shared_ptr<const oxDeviationField> _field;
    std::shared_ptr<const oxDeviationCorners> _corners;
    float _tolerance = 0, _range = 0;
    std::shared_ptr<const oxColourScale> _scale; // the host's map beyond tolerance; null: the classic colours
};
