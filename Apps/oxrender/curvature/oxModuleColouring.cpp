#include "oxModuleColouring.h"

#include "oxColouringInput.h"
#include "oxColourMap.h"
#include "oxCurvatureStats.h"
#include "oxOverlay.h"

namespace
{
[[maybe_unused]] const bool registered =
    oxColourings::setDefault([](const oxColouringInput& in) { return std::make_unique<oxModuleColouring>(in); });
} // namespace

oxModuleColouring::oxModuleColouring(const oxColouringInput& input)
    : _shader(input.settings, input.analysis), _scene(input.scene), _legend(input.legend)
{
    _shader.useColourScale(input.host);
    if (_shader.kind() == oxAnalysisShader::Curvature)
        _shader.lightValues(input.host, input.camera);
}

void oxModuleColouring::drawLegend(QImage& image) const
{
    if (!_legend || !_scene || _shader.kind() != oxAnalysisShader::Curvature)
        return;
    const oxColourScale* scale = _shader.colourScale();
    const double low = scale ? scale->low() : -_shader.legendRange(), high = scale ? scale->high() : -low;
    oxOverlay::drawCurvatureLegend(
        image, _shader,
        oxCurvatureStats::histogram(*_scene, int(_shader.settings().CurvatureEvaluationType), low, high, 32));
}
