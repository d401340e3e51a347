#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxRenderCamera.h"
#include "oxRenderScene.h"
#include "oxSurfaceBuffer.h"

#include <QImage>

#include <atomic>
#include <vector>

// Primary rays over image tiles, shared by TBB's threads. Every pixel gets one ray through its
// centre, or samples x samples stratified rays whose shaded colours are averaged; a hit is
// shaded with the interpolated normal (and curvatures when needed), or on a CAD face with exact
// shading on, with the surface's own normal (and curvatures) where the ray meets it.
class oxRaytracer
{
public:
    // threads 0: all of TBB's threads.
    explicit oxRaytracer(int threads = 0);

    // The shaded image; one render at a time per raytracer. depth, when given, receives each pixel's camera-space depth
    // (the nearest of its samples) (infinity where the ray hits nothing), width * height values row by row.
    // values, when given and the colouring keeps values, receives each pixel's batch.value (of its
    // last sample; NaN where nothing is hit), else is emptied.
    QImage render(const oxRenderScene& scene, oxRenderCamera camera, const oxColouring& colouring, int width,
                  int height, std::vector<float>* depth = nullptr, int samples = 1,
                  std::vector<float>* values = nullptr) const;

    // Whole: the frame. EvenPixels (one sample): the frame at half the size from the pixels with
    // even x and y of the whole one, whose trace then only adds the other three quarters.
    enum class Part
    {
        Whole,
        EvenPixels
    };
    // The frame of key's view (its camera, size, samples and scene version; the rest is filled
    // here) shaded from buffer, traced into it first unless it already holds that view. Null when
    // cancel is set before every tile is done; a trace cut short leaves the buffer incomplete.
    QImage render(const oxRenderScene& scene, oxSurfaceBuffer::Key key, const oxColouring& colouring,
                  oxSurfaceBuffer& buffer, std::vector<float>* depth = nullptr, std::vector<float>* values = nullptr,
                  const std::atomic<bool>* cancel = nullptr, Part part = Part::Whole) const;

    // The bare cast: the same rays, tiles and threads, keeping only the depth. The baseline
    // against which the cost of shading is measured.
    void castPrimaryRays(const oxRenderScene& scene, oxRenderCamera camera, int width, int height,
                         std::vector<float>& depth) const;

    static constexpr int TileSize = 16;
    static constexpr int MaxSamples = 16;

private:
    enum class Step
    {
        Shade,
        TraceAll,
        TraceEven,
        TraceRest
    };
    QImage frame(const oxRenderScene& scene, oxSurfaceBuffer::Key key, const oxColouring& colouring,
                 oxSurfaceBuffer* buffer, Step step, bool half, std::vector<float>* depth, std::vector<float>* values,
                 const std::atomic<bool>* cancel) const;

    int _threads;
    // The frame buffer, reused while no caller holds the last image; one render at a time.
    mutable QImage _frame;
};
