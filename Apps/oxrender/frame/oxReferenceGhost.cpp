#include "oxReferenceGhost.h"

#include "oxRaytracer.h"
#include "oxRenderScene.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>

namespace
{
// Relative depths: the reference counts as in front of the model when nearer by more than
// Slack, as hidden when farther by more; neighbours farther apart than Jump lie across an outline.
constexpr float Slack = 0.01f;
constexpr float Jump = 0.05f;

QRgb blend(QRgb under, QRgb over, float alpha)
{
    auto mix = [alpha](int a, int b) { return int(float(a) + (float(b) - float(a)) * alpha + 0.5f); };
    return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)), mix(qBlue(under), qBlue(over)));
}
} // namespace

void oxReferenceGhost::draw(QImage& image, const oxRenderScene& reference, const oxRenderCamera& camera,
                            const oxRaytracer& tracer, const std::vector<float>& depth, const Style& style)
{
    const int w = image.width(), h = image.height();
    if (depth.size() != size_t(w) * size_t(h) || reference.meshCount() == 0)
        return;
    // Kept per calling thread, as the frame's other buffers; the workers below reach them through
    // the pointers, not by the names, which are theirs.
    thread_local std::vector<float> depths;
    thread_local std::vector<unsigned char> outlines;
    thread_local std::vector<int> columns;
    // At half the resolution: a quarter of the rays, and a faint ghost needs no finer outline.
    const int gw = std::max(1, w / 2), gh = std::max(1, h / 2);
    tracer.castPrimaryRays(reference, camera, gw, gh, depths);
    const float* const cast = depths.data();
    outlines.assign(depths.size(), 0);
    unsigned char* const outline = outlines.data();
    tbb::parallel_for(
        tbb::blocked_range<int>(0, gh, 16),
        [&](const tbb::blocked_range<int>& rows)
        {
            for (int y = rows.begin(); y < rows.end(); ++y)
                for (int x = 0; x < gw; ++x)
                {
                    const size_t i = size_t(y) * size_t(gw) + size_t(x);
                    const float g = cast[i];
                    auto apart = [&](size_t n) { return !std::isfinite(cast[n]) || std::fabs(cast[n] - g) > Jump * g; };
                    outline[i] =
                        std::isfinite(g) && ((x > 0 && apart(i - 1)) || (x + 1 < gw && apart(i + 1)) ||
                                             (y > 0 && apart(i - size_t(gw))) || (y + 1 < gh && apart(i + size_t(gw))));
                }
        });
    columns.resize(size_t(w));
    for (int x = 0; x < w; ++x)
        columns[size_t(x)] = std::min(x * gw / w, gw - 1);
    const int* const column = columns.data();
    uchar* bits = image.bits(); // detached once, here
    const size_t stride = size_t(image.bytesPerLine());
    tbb::parallel_for(tbb::blocked_range<int>(0, h, 16),
                      [&](const tbb::blocked_range<int>& rows)
                      {
                          for (int y = rows.begin(); y < rows.end(); ++y)
                          {
                              QRgb* row = reinterpret_cast<QRgb*>(bits + size_t(y) * stride);
                              const size_t base = size_t(std::min(y * gh / h, gh - 1)) * size_t(gw);
                              const float* model = depth.data() + size_t(y) * size_t(w);
                              for (int x = 0; x < w; ++x)
                              {
                                  const size_t gi = base + size_t(column[x]);
                                  const float g = cast[gi];
                                  if (!std::isfinite(g))
                                      continue;
                                  const bool clear = !std::isfinite(model[x]) || g < model[x] * (1.f - Slack);
                                  if (!clear && g > model[x] * (1.f + Slack))
                                  {
                                      // Every other band of four pixels across the diagonal.
                                      if (style.hatch > 0.f && (outline[gi] || ((x + y) / 4) % 2 == 0))
                                          row[x] = blend(row[x], style.colour, style.hatch);
                                      continue;
                                  }
                                  if (outline[gi])
                                      row[x] = blend(row[x], style.colour, style.outline);
                                  else if (clear)
                                      row[x] = blend(row[x], style.colour, style.veil);
                              }
                          }
                      });
}
