#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxHostAnalysisSettings.h"
#include "oxOverlay.h"
#include "oxRenderCamera.h"
#include "oxSurfaceBuffer.h"

#include <QImage>

#include <atomic>
#include <memory>
#include <vector>

class oxRaytracer;
class oxRenderScene;
struct oxDeviationField;
class oxCompareView;

// One frame of the host's view, made the same way for image files, the viewer and reports, in
// three steps: request reads what the frame shows from the host, on the thread where the host's
// state lives (cheap: camera, settings, which derived data it wants); oxRenderer::derive measures
// that data (combs, deviation, continuity lines) where the frame is made; compose traces it and
// draws the overlays, on any thread.
class oxFrame
{
public:
    struct Request
    {
        oxRenderCamera camera;
        oxAnalysisSettings settings;
        oxHostAnalysisSettings hostAnalyses; // as the host's request gave them
        bool analysis = false;               // the settings' analysis, else plain shading
        int width = 1, height = 1;
        int downscale = 1;   // traced at 1 / downscale, then scaled up
        int samples = 1;     // samples x samples rays per pixel (see oxRaytracer)
        bool legend = false; // the curvature legend with the model's histogram, in curvature mode
        std::shared_ptr<const oxOverlay::Visuals> lightVisuals;
        bool continuity = false; // oxRenderer shows the continuity edges
        // Derived data, filled by oxRenderer::derive as hostAnalyses and continuity ask; once
        // derived, what a caller then changes there (a report's image without combs) stands.
        bool derived = false;
        std::vector<oxOverlay::Polyline> continuityEdges; // empty unless shown
        std::vector<oxOverlay::Polyline> combLines;       // empty unless the combs are on
        // What the host marks on the model (the check's findings), drawn over every other overlay.
        std::vector<oxOverlay::Polyline> markers;
        // The model's distances to the reference, while DeviationActive is on and a reference is loaded.
        std::shared_ptr<const oxDeviationField> deviation;
        // The tolerance the deviation is coloured with: DeviationTolerance, or its default from the reference.
        float deviationTolerance = 0.f;
        // The reference to draw as a ghost, or null; it must not change while the frame is composed
        // (oxRenderer's, under its scene mutex).
        const oxRenderScene* ghost = nullptr;
        // The comparison of two releases whose new part is the scene (oxRenderer::comparison), or null.
        std::shared_ptr<const oxCompareView> comparison;
        // oxRenderer's count of scene changes when the request was read: a kept surface buffer
        // serves only the scene it was traced from.
        size_t sceneVersion = 0;
    };

    // What the host asks a frame of its view to show: its size, samples x samples rays per pixel
    // (see oxRaytracer) and the host analyses' settings as they are now.
    struct View
    {
        View() = default;
        View(int width, int height, int samples = 1, const oxHostAnalysisSettings& hostAnalyses = {})
            : width(width), height(height), samples(samples), hostAnalyses(hostAnalyses)
        {
        }

        int width = 1, height = 1;
        int samples = 1;
        oxHostAnalysisSettings hostAnalyses;
    };

    // The host's view: the record's analysis in the analysis render mode, the host camera, the
    // raytracing downscale, the light visuals under the internal root, whether oxRenderer shows
    // the continuity edges and the legend when the host shows it. Brings oxRenderer's scene in
    // step first; measures nothing (see oxRenderer::derive).
    static Request request(const View& view);

    // How compose runs, beside what it shows.
    struct Options
    {
        // Keeps the traced surface: a later frame of the same view (surfaceKey) re-shades it
        // instead of tracing.
        oxSurfaceBuffer* buffer = nullptr;
        // Set, it ends the frame at a tile boundary with a null image.
        const std::atomic<bool>* cancel = nullptr;
        // A frame at downscale 2 made of the even pixels of the full frame's trace into buffer,
        // which the full frame then completes.
        bool evenPixels = false;
    };

    // The frame, always in this order: traced at the downscaled size and shaded by the frame's
    // colouring, the colouring's overlay (the draft's boundary lines), the reference's ghost,
    // combs, continuity edges, light visuals and markers drawn over it at that size (a coarse frame costs a
    // coarse overlay), scaled up to the requested size, the colouring's legend. depth receives the
    // traced depth.
    static QImage compose(const Request& request, const oxRenderScene& scene, const oxRaytracer& tracer,
                          std::vector<float>& depth, const Options& options);
    static QImage compose(const Request& request, const oxRenderScene& scene, const oxRaytracer& tracer,
                          std::vector<float>& depth)
    {
        return compose(request, scene, tracer, depth, Options());
    }

    // The colouring a request's frame is shaded with: the host analysis that colours it, else the
    // module's analysis or plain shading.
    static std::unique_ptr<oxColouring> colouring(const Request& request, const oxRenderScene& scene);

    // A colouring's ghost (the removed faces of a comparison) reads more strongly than the reference's.
    static constexpr float ComparisonGhostVeil = 0.5f, ComparisonGhostHatch = 0.7f;

    // The view a request traces: its camera, downscaled size, samples and scene version.
    static oxSurfaceBuffer::Key surfaceKey(const Request& request);
};
