#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"

// The module's analysis (stripes, curvature) or plain shading, as the settings say: the colouring
// of every frame that no host analysis colours. In curvature mode, with the legend asked for, the
// curvature legend with the model's histogram goes beside the image. The curvature is lit as the host's ColoursLit
// says, the stripes as the module's ShadingMode does.
class oxModuleColouring : public oxColouring
{
public:
    explicit oxModuleColouring(const oxColouringInput& input);

    bool needsCurvature() const override { return _shader.needsCurvature(); }
    void shade(oxShadingBatch& batch) const override { _shader.shade(batch); }
    void drawLegend(QImage& image) const override;

private:
    oxAnalysisShader _shader;
    const oxRenderScene* _scene;
    bool _legend;
};
