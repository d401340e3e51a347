#include "oxFrame.h"

#include "oxColouringInput.h"
#include "oxOSGWidget.h"
#include "oxRaytracer.h"
#include "oxReferenceGhost.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"
#include "oxScenegraph.h"

#include <algorithm>

oxFrame::Request oxFrame::request(const View& view)
{
    oxRenderer& renderer = oxRenderer::the();
    renderer.syncScene();
    Request r;
    r.width = std::max(1, view.width);
    r.height = std::max(1, view.height);
    r.samples = view.samples;
    r.camera = renderer.hostCamera();
    r.sceneVersion = renderer.sceneVersion();
    const osg::SurfaceAnalysisAttachmentPtr record = oxAnalysisSettings::hostRecord();
    r.analysis = oxOSGWidget::getRenderingMode(-1) == oxOSGWidget::AnalysisRenderingMode && record != osg::NullFC;
    r.settings = oxAnalysisSettings::fromRecord(record);
    r.hostAnalyses = view.hostAnalyses;
    if (renderer.showReference() && renderer.hasReference())
        r.ghost = &renderer.reference();
    if (oxOSGWidget::getRaytracingDownscale())
        r.downscale = int(std::max(1u, oxOSGWidget::getRaytracingDownscaleFactor()));
    r.legend = oxOSGWidget::getCurvatureLegendOverlayVisible();
    r.lightVisuals = oxOverlay::collectLightVisuals(oxScenegraph::getInternalRoot(), r.camera, r.width, r.height);
    r.continuity = renderer.showContinuity();
    r.markers = renderer.markers();
    r.comparison = renderer.comparison();
    return r;
}

oxSurfaceBuffer::Key oxFrame::surfaceKey(const Request& request)
{
    const int downscale = std::max(1, request.downscale);
    oxSurfaceBuffer::Key key;
    key.camera = request.camera;
    key.width = std::max(1, std::max(1, request.width) / downscale);
    key.height = std::max(1, std::max(1, request.height) / downscale);
    key.samples = request.samples;
    key.sceneVersion = request.sceneVersion;
    return key;
}

std::unique_ptr<oxColouring> oxFrame::colouring(const Request& request, const oxRenderScene& scene)
{
    oxColouringInput input;
    input.scene = &scene;
    input.camera = request.camera;
    input.settings = request.settings;
    input.analysis = request.analysis;
    input.host = request.hostAnalyses;
    input.legend = request.legend;
    input.deviation = request.deviation;
    input.deviationTolerance = request.deviationTolerance;
    input.comparison = request.comparison;
    return oxColourings::make(input);
}

QImage oxFrame::compose(const Request& request, const oxRenderScene& scene, const oxRaytracer& tracer,
                        std::vector<float>& depth, const Options& options)
{
    const int width = std::max(1, request.width), height = std::max(1, request.height);
    const int downscale = std::max(1, request.downscale);
    const int traceWidth = std::max(1, width / downscale), traceHeight = std::max(1, height / downscale);
    const std::unique_ptr<oxColouring> colouring = oxFrame::colouring(request, scene);

    // Kept per thread, as the tracer keeps its frame: a fresh buffer costs its page faults every frame.
    thread_local std::vector<float> values;
    std::vector<float>* kept = colouring->keepsValues() ? &values : nullptr;
    if (!kept)
        values.clear();
    oxSurfaceBuffer* buffer = options.buffer;
    oxSurfaceBuffer::Key key = surfaceKey(request);
    const bool evenPixels = options.evenPixels && buffer && downscale == 2 && request.samples == 1;
    if (evenPixels)
    {
        key.width = width;
        key.height = height;
    }
    QImage image = buffer ? tracer.render(scene, key, *colouring, *buffer, &depth, kept, options.cancel,
                                          evenPixels ? oxRaytracer::Part::EvenPixels : oxRaytracer::Part::Whole)
                          : tracer.render(scene, request.camera, *colouring, traceWidth, traceHeight, &depth,
                                          request.samples, kept);
    if (image.isNull())
        return image;
    colouring->drawOverlay(image, values, depth);
    if (request.ghost)
        oxReferenceGhost::draw(image, *request.ghost, request.camera, tracer, depth);
    const oxGhost ghost = colouring->ghost();
    if (ghost.scene)
    {
        oxReferenceGhost::Style style;
        style.colour = ghost.colour;
        style.veil = ComparisonGhostVeil;
        style.hatch = ComparisonGhostHatch;
        oxReferenceGhost::draw(image, *ghost.scene, request.camera, tracer, depth, style);
    }
    // Edge combs start on the edges: the continuity colours go over them to stay readable.
    if (!request.combLines.empty())
        oxOverlay::drawPolylines(image, request.combLines, request.camera, depth, traceWidth, traceHeight,
                                 oxRenderer::ContinuityDepthSlack);
    if (!request.continuityEdges.empty())
        oxOverlay::drawPolylines(image, request.continuityEdges, request.camera, depth, traceWidth, traceHeight,
                                 oxRenderer::ContinuityDepthSlack);
    if (request.lightVisuals)
        oxOverlay::drawLightVisuals(image, *request.lightVisuals, request.camera, depth, traceWidth, traceHeight);
    if (!request.markers.empty())
        oxOverlay::drawPolylines(image, request.markers, request.camera, depth, traceWidth, traceHeight,
                                 oxRenderer::MarkerDepthSlack);
    if (traceWidth != width || traceHeight != height)
        image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB32);
    colouring->drawLegend(image);
    return image;
}
