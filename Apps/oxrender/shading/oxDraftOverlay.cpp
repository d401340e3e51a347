#include "oxDraftOverlay.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{
// Neighbours farther apart than this in depth (relative), or in the sine, lie on different
// surfaces or across a crease: no draft boundary runs between them.
constexpr float DepthJump = 0.02f;
constexpr float SineJump = 0.25f;
} // namespace

void oxDraftOverlay::drawBoundaries(QImage& image, const std::vector<float>& sines, const std::vector<float>& depth,
                                    float threshold)
{
    const int w = image.width(), h = image.height();
    if (sines.size() != size_t(w) * size_t(h) || depth.size() != sines.size())
        return;
    std::vector<unsigned char> line(sines.size(), 0);
    const float levels[2] = {threshold, -threshold};
    auto check = [&](size_t a, size_t b)
    {
        const float sa = sines[a], sb = sines[b];
        if (!std::isfinite(sa) || !std::isfinite(sb) || std::fabs(sa - sb) > SineJump)
            return;
        if (std::fabs(depth[a] - depth[b]) > DepthJump * std::min(depth[a], depth[b]))
            return;
        for (float level : levels)
            if ((sa >= level) != (sb >= level))
                line[std::fabs(sa - level) <= std::fabs(sb - level) ? a : b] = 1;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (x + 1 < w)
                check(i, i + 1);
            if (y + 1 < h)
                check(i, i + size_t(w));
        }
    for (int y = 0; y < h; ++y)
    {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            if (line[size_t(y) * size_t(w) + size_t(x)])
                row[x] = LineColour;
    }
}

void oxDraftOverlay::drawLegend(QImage& image, const oxAnalysisShader& shader)
{
    if (image.isNull())
        return;
    const float angleDegrees = std::asin(shader.draftThreshold()) * float(180.0 / M_PI);
    const int h = image.height(), w = image.width();
    const int barHeight = std::max(8, h * 3 / 5), barWidth = std::max(6, std::min(24, w / 40));
    const int top = (h - barHeight) / 2, right = w - std::max(4, w / 80);
    // Text needs a GUI application (fonts); without one the bar is drawn alone.
    const bool text = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const int labelWidth = text ? std::max(40, w / 12) : 0;
    const int left = right - barWidth - labelWidth;
    if (left < 0)
        return;
    auto rowOf = [&](float degrees) { return top + int(std::lround((90.f - degrees) / 180.f * float(barHeight - 1))); };
    for (int y = 0; y < barHeight; ++y)
    {
        const float degrees = 90.f - 180.f * (float(y) + 0.5f) / float(barHeight);
        const osg::Color3f c = shader.draftColor(degrees);
        const QRgb rgb = qRgb(int(c[0] * 255.f + 0.5f), int(c[1] * 255.f + 0.5f), int(c[2] * 255.f + 0.5f));
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(top + y));
        for (int x = left; x < left + barWidth; ++x)
            row[x] = rgb;
    }
    for (float boundary : {angleDegrees, -angleDegrees})
    {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(std::clamp(rowOf(boundary), top, top + barHeight - 1)));
        for (int x = left; x < left + barWidth; ++x)
            row[x] = LineColour;
    }
    if (!text)
        return;
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(std::max(8, std::min(14, h / 40)));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawRect(left - 1, top - 1, barWidth + 1, barHeight + 1);
    for (float degrees : {90.f, 45.f, 0.f, -45.f, -90.f})
    {
        const int y = rowOf(degrees);
        painter.drawLine(left + barWidth, y, left + barWidth + 3, y);
        painter.drawText(QRect(left + barWidth + 5, y - 10, labelWidth - 5, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::number(double(degrees), 'g', 3) + QChar(0x00b0));
    }
    painter.drawText(QRect(0, top - 24, right, 20), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Draft angle (%1\u00b0)").arg(double(angleDegrees), 0, 'g', 3));
}
