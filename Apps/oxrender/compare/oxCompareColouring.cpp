#include "oxCompareColouring.h"

#include "oxColouringInput.h"
#include "oxOverlay.h"
#include "oxRenderScene.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{
// Modified faces from a pale yellow to vermillion, apart from the added green and the removed purple.
const float ModifiedTable[][3] = {{0.94f, 0.89f, 0.45f}, {0.90f, 0.62f, 0.f}, {0.835f, 0.369f, 0.f}};

// Colours only over the new part of a comparison.
[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::CompareActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.CompareActive || !in.comparison || !in.scene || !in.comparison->fits(*in.scene))
                              return nullptr;
                          return std::make_unique<oxCompareColouring>(in);
                      });
} // namespace

oxCompareColouring::oxCompareColouring(const oxColouringInput& input)
    : _lighting(oxAnalysisShader::lightingOnly(input.settings)), _view(input.comparison),
      _scale(_view->tolerance(), std::max(_view->largest(), _view->tolerance()),
             oxColourScale::options(input.host, oxColourTable{ModifiedTable, 3}, false))
{
}

osg::Color3f oxCompareColouring::colour(float code) const
{
    // Interpolated over a triangle of three equal codes: within rounding of the code.
    typedef oxCompareView V;
    if (code < 0.5f * (V::UnchangedCode + V::AddedCode))
        return osg::Color3f(Added[0], Added[1], Added[2]);
    if (code < 0.5f * V::UnchangedCode || !std::isfinite(code))
        return osg::Color3f(Unchanged[0], Unchanged[1], Unchanged[2]);
    // An empty range (one modified face, or all at one distance) would take the map's middle.
    return _scale.high() > _scale.low() ? _scale.colour(code) : _scale.colourAt(1.f);
}

void oxCompareColouring::shade(oxShadingBatch& b) const
{
    for (int i = 0; i < b.count; ++i)
    {
        const osg::Color3f c = colour(b.value[i]);
        b.p.set(i, osg::Vec3f(c[0], c[1], c[2]));
        b.cover[i] = 0.f;
    }
    _lighting.light(b, &b.p);
}

oxGhost oxCompareColouring::ghost() const
{
    oxGhost g;
    if (_view->removed().meshCount() > 0)
        g.scene = &_view->removed();
    g.colour = Removed;
    return g;
}

void oxCompareColouring::drawLegend(QImage& image) const
{
    if (_view->largest() > 0.f)
    {
        oxOverlay::Legend legend;
        oxOverlay::scaleTicks(legend, _scale);
        legend.title = QStringLiteral("Modified: largest distance");
        oxOverlay::drawLegend(image, legend);
    }
    // The classes as swatches at the bottom left; text needs a GUI application (fonts).
    if (image.isNull() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    const auto rgb = [](const float c[3]) { return QColor::fromRgbF(qreal(c[0]), qreal(c[1]), qreal(c[2])); };
    // The map's middle: classic's orange, as the bar shows it halfway.
    const osg::Color3f m = _scale.colourAt(0.5f);
    const std::pair<QColor, QString> rows[] = {
        {rgb(Unchanged), QStringLiteral("Unchanged")},
        {QColor::fromRgbF(qreal(m[0]), qreal(m[1]), qreal(m[2])), QStringLiteral("Modified")},
        {rgb(Added), QStringLiteral("Added")},
        {QColor(Removed), QStringLiteral("Removed (ghost)")}};
    QPainter painter(&image);
    QFont font = painter.font();
    const int size = std::max(8, std::min(14, image.height() / 40));
    font.setPixelSize(size);
    painter.setFont(font);
    const int x = std::max(4, image.width() / 80), line = size * 3 / 2;
    int width = 0;
    for (const auto& row : rows)
        width = std::max(width, painter.fontMetrics().horizontalAdvance(row.second));
    int y = image.height() - x - 4 * line;
    painter.fillRect(x - size / 2, y - size / 2, width + size * 3, 4 * line + size / 2, QColor(255, 255, 255, 200));
    for (const auto& row : rows)
    {
        painter.fillRect(x, y, size, size, row.first);
        painter.setPen(Qt::black);
        painter.drawRect(x, y, size, size);
        painter.drawText(x + size * 3 / 2, y + size - 1, row.second);
        y += line;
    }
}
