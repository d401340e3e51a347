#include "oxDraftOverlay.h"

#include "oxOverlay.h"

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

void oxDraftOverlay::drawLegend(QImage& image, const oxDraftColouring& draft)
{
    const float angle = std::asin(draft.threshold()) * float(180.0 / M_PI);
    oxOverlay::Legend legend;
    legend.colour = [&draft](float v) { return draft.colour(90.f * v); };
    for (float degrees : {90.f, 45.f, 0.f, -45.f, -90.f})
        legend.ticks.emplace_back(degrees / 90.f, QString::number(double(degrees), 'g', 3) + QChar(0x00b0));
    legend.title = QStringLiteral("Draft angle, minimum \u00b1%1\u00b0").arg(double(angle), 0, 'g', 3);
    legend.marks = {{angle / 90.f, LineColour}, {-angle / 90.f, LineColour}};
    oxOverlay::drawLegend(image, legend);
}
