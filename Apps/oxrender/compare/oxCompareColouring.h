#pragma once

#include "oxAnalysisShading.h"
#include "oxColourMap.h"
#include "oxColouring.h"
#include "oxCompareView.h"

#include <memory>
#include <vector>

// The new part by class: unchanged grey, modified on a colour map from the tolerance to the
// largest distance (the host's map, or yellow to vermillion), added bluish green; the old part's
// removed faces drawn over it as a reddish purple ghost; lit as the settings say, a legend of the
// classes and the distances beside the image.
class oxCompareColouring : public oxColouring
{
public:
    static constexpr float Unchanged[3] = {0.82f, 0.82f, 0.82f};
    static constexpr float Added[3] = {0.f, 0.62f, 0.45f};
    static constexpr QRgb Removed = 0xffcc79a7u;

    explicit oxCompareColouring(const oxColouringInput& input);

    const oxCornerScalars* cornerValues() const override { return _view.get(); }
    void shade(oxShadingBatch& batch) const override;
    void drawLegend(QImage& image) const override;
    oxGhost ghost() const override;

    // The colour of a corner code.
    osg::Color3f colour(float code) const;

private:
    oxAnalysisShader _lighting;
    std::shared_ptr<const oxCompareView> _view;
    oxColourScale _scale;
};
