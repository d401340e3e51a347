#include "oxDraftOverlay.h"

#include <QGuiApplication>
#include <QPainter>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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
    // Each pixel's side of the two boundaries (3: no hit), so that the pixels far from a boundary,
    // nearly all of them, cost a few byte compares.
    // Kept per calling thread; the workers below reach it through the pointer.
    thread_local std::vector<unsigned char> sides;
    sides.resize(sines.size());
    unsigned char* const side = sides.data();
    tbb::parallel_for(tbb::blocked_range<size_t>(0, sines.size(), 1 << 16),
                      [&](const tbb::blocked_range<size_t>& r)
                      {
                          for (size_t i = r.begin(); i < r.end(); ++i)
                          {
                              const float s = sines[i];
                              side[i] = s == s ? (unsigned char)((s >= threshold) + (s >= -threshold)) : 3;
                          }
                      });
    // Whether the boundary between pixels a and b, on different sides, goes on a: each pixel asks
    // this of its four neighbours, so that rows can be drawn apart.
    auto onA = [&](size_t a, size_t b)
    {
        const float sa = sines[a], sb = sines[b];
        if (side[a] == 3 || side[b] == 3 || std::fabs(sa - sb) > SineJump ||
            std::fabs(depth[a] - depth[b]) > DepthJump * std::min(depth[a], depth[b]))
            return false;
        const float level = (sa >= threshold) != (sb >= threshold) ? threshold : -threshold;
        const float da = std::fabs(sa - level), db = std::fabs(sb - level);
        // Ties go to the pixel with the lower index, so that only one of the two is drawn.
        return da < db || (da == db && a < b);
    };
    // Detached here, once: scanLine from many threads would each detach a shared image.
    uchar* bits = image.bits();
    const size_t stride = size_t(image.bytesPerLine());
    tbb::parallel_for(tbb::blocked_range<int>(0, h, 16),
                      [&](const tbb::blocked_range<int>& rows)
                      {
                          for (int y = rows.begin(); y < rows.end(); ++y)
                          {
                              QRgb* row = reinterpret_cast<QRgb*>(bits + size_t(y) * stride);
                              const size_t base = size_t(y) * size_t(w);
                              const bool inner = y > 0 && y + 1 < h;
                              for (int x = 0; x < w; ++x)
                              {
                                  const size_t i = base + size_t(x);
                                  // Eight pixels at once where they and their neighbours all lie on
                                  // one side.
                                  if (inner && x > 0 && x + 9 <= w && (x & 7) == 1)
                                  {
                                      std::uint64_t c, l, r, u, d;
                                      std::memcpy(&c, side + i, 8);
                                      std::memcpy(&l, side + i - 1, 8);
                                      std::memcpy(&r, side + i + 1, 8);
                                      std::memcpy(&u, side + i - size_t(w), 8);
                                      std::memcpy(&d, side + i + size_t(w), 8);
                                      // c == l makes the nine bytes from i - 1 all the same.
                                      if (c == l && c == r && c == u && c == d)
                                      {
                                          x += 7;
                                          continue;
                                      }
                                  }
                                  const unsigned char c = side[i];
                                  const bool left = x > 0 && side[i - 1] != c, right = x + 1 < w && side[i + 1] != c;
                                  const bool up = y > 0 && side[i - size_t(w)] != c;
                                  const bool down = y + 1 < h && side[i + size_t(w)] != c;
                                  if (c == 3 || !(left || right || up || down))
                                      continue;
                                  if ((left && onA(i, i - 1)) || (right && onA(i, i + 1)) ||
                                      (up && onA(i, i - size_t(w))) || (down && onA(i, i + size_t(w))))
                                      row[x] = LineColour;
                              }
                          }
                      });
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
                     QStringLiteral("Draft angle, minimum \u00b1%1\u00b0").arg(double(angleDegrees), 0, 'g', 3));
}
