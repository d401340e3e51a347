#include "oxReferenceGhost.h"

#include "oxRaytracer.h"
#include "oxRenderScene.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

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
                            const oxRaytracer& tracer, const std::vector<float>& depth)
{
    const int w = image.width(), h = image.height();
    if (depth.size() != size_t(w) * size_t(h) || reference.meshCount() == 0)
        return;
    // Kept per calling thread, as the frame's other buffers; the workers below reach it through
    // the pointer, not by the name, which is theirs.
    thread_local std::vector<float> depths;
    tracer.castPrimaryRays(reference, camera, w, h, depths);
    const float* const ghost = depths.data();
    auto hit = [ghost](size_t i) { return std::isfinite(ghost[i]); };
    uchar* bits = image.bits(); // detached once, here
    const size_t stride = size_t(image.bytesPerLine());
    tbb::parallel_for(tbb::blocked_range<int>(0, h, 16),
                      [&](const tbb::blocked_range<int>& rows)
                      {
                          for (int y = rows.begin(); y < rows.end(); ++y)
                          {
                              QRgb* row = reinterpret_cast<QRgb*>(bits + size_t(y) * stride);
                              for (int x = 0; x < w; ++x)
                              {
                                  const size_t i = size_t(y) * size_t(w) + size_t(x);
                                  if (!hit(i))
                                      continue;
                                  const float g = ghost[i], model = depth[i];
                                  const bool clear = !std::isfinite(model) || g < model * (1.f - Slack);
                                  if (!clear && g > model * (1.f + Slack))
                                      continue;
                                  auto apart = [&](size_t n) { return !hit(n) || std::fabs(ghost[n] - g) > Jump * g; };
                                  const bool outline = (x > 0 && apart(i - 1)) || (x + 1 < w && apart(i + 1)) ||
                                                       (y > 0 && apart(i - size_t(w))) ||
                                                       (y + 1 < h && apart(i + size_t(w)));
                                  if (outline)
                                      row[x] = blend(row[x], Colour, OutlineAlpha);
                                  else if (clear)
                                      row[x] = blend(row[x], Colour, VeilAlpha);
                              }
                          }
                      });
}
