#include "oxFrame.h"

#include "oxCurvatureStats.h"
#include "oxDeviationCorners.h"
#include "oxDeviationOverlay.h"
#include "oxDraftOverlay.h"
#include "oxOSGWidget.h"
#include "oxRaytracer.h"
#include "oxReferenceGhost.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"
#include "oxScenegraph.h"

#include <algorithm>

oxFrame::Request oxFrame::request(int width, int height, int samples)
{
    oxRenderer& renderer = oxRenderer::the();
    renderer.syncScene();
    Request r;
    r.width = std::max(1, width);
    r.height = std::max(1, height);
    r.samples = samples;
    r.camera = renderer.hostCamera();
    r.sceneVersion = renderer.sceneVersion();
    const osg::SurfaceAnalysisAttachmentPtr record = oxAnalysisSettings::hostRecord();
    r.analysis = oxOSGWidget::getRenderingMode(-1) == oxOSGWidget::AnalysisRenderingMode && record != osg::NullFC;
    r.settings = oxAnalysisSettings::fromRecord(record);
    r.hostAnalyses = oxHostAnalysisSettings::current();
    if (r.hostAnalyses.DeviationActive)
    {
        r.deviation = renderer.deviation();
        r.deviationTolerance = float(oxDeviation::tolerance(r.hostAnalyses, renderer.reference()));
    }
    if (renderer.showReference() && renderer.hasReference())
        r.ghost = &renderer.reference();
    if (oxOSGWidget::getRaytracingDownscale())
        r.downscale = int(std::max(1u, oxOSGWidget::getRaytracingDownscaleFactor()));
    r.legend = oxOSGWidget::getCurvatureLegendOverlayVisible();
    r.lightVisuals = oxOverlay::collectLightVisuals(oxScenegraph::getInternalRoot(), r.camera, r.width, r.height);
    if (renderer.showContinuity())
        r.continuityEdges = renderer.continuityLines();
    if (r.hostAnalyses.CombActive)
        r.combLines = renderer.combLines(r.hostAnalyses);
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

QImage oxFrame::compose(const Request& request, const oxRenderScene& scene, const oxRaytracer& tracer,
                        std::vector<float>& depth, oxSurfaceBuffer* buffer, const std::atomic<bool>* cancel,
                        bool evenPixels)
{
    const int width = std::max(1, request.width), height = std::max(1, request.height);
    const int downscale = std::max(1, request.downscale);
    const int traceWidth = std::max(1, width / downscale), traceHeight = std::max(1, height / downscale);
    oxAnalysisShader shader(request.settings, request.analysis, request.hostAnalyses);
    std::shared_ptr<const oxDeviationCorners> corners;
    if (request.hostAnalyses.DeviationActive && request.deviation)
    {
        corners = oxDeviationCorners::of(request.deviation, scene);
        shader.setDeviation(corners.get(), request.deviationTolerance,
                            oxDeviationOverlay::halfRange(request.hostAnalyses, request.deviation));
    }
    const bool draft = shader.kind() == oxAnalysisShader::Draft;

    // Kept per thread, as the tracer keeps its frame: a fresh buffer costs its page faults every frame.
    thread_local std::vector<float> draftSines;
    oxSurfaceBuffer::Key key = surfaceKey(request);
    evenPixels = evenPixels && buffer && downscale == 2 && request.samples == 1;
    if (evenPixels)
    {
        key.width = width;
        key.height = height;
    }
    QImage image = buffer ? tracer.render(scene, key, shader, *buffer, &depth, draft ? &draftSines : nullptr, cancel,
                                          evenPixels ? oxRaytracer::Part::EvenPixels : oxRaytracer::Part::Whole)
                          : tracer.render(scene, request.camera, shader, traceWidth, traceHeight, &depth,
                                          request.samples, draft ? &draftSines : nullptr);
    if (image.isNull())
        return image;
    if (draft)
        oxDraftOverlay::drawBoundaries(image, draftSines, depth, shader.draftThreshold());
    if (request.ghost)
        oxReferenceGhost::draw(image, *request.ghost, request.camera, tracer, depth);
    // Edge combs start on the edges: the continuity colours go over them to stay readable.
    if (!request.combLines.empty())
        oxOverlay::drawPolylines(image, request.combLines, request.camera, depth, traceWidth, traceHeight,
                                 oxRenderer::ContinuityDepthSlack);
    if (!request.continuityEdges.empty())
        oxOverlay::drawPolylines(image, request.continuityEdges, request.camera, depth, traceWidth, traceHeight,
                                 oxRenderer::ContinuityDepthSlack);
    if (request.lightVisuals)
        oxOverlay::drawLightVisuals(image, *request.lightVisuals, request.camera, depth, traceWidth, traceHeight);
    if (traceWidth != width || traceHeight != height)
        image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB32);
    if (request.legend && shader.kind() == oxAnalysisShader::Curvature)
    {
        const double range = shader.legendRange();
        oxOverlay::drawCurvatureLegend(
            image, shader,
            oxCurvatureStats::histogram(scene, int(request.settings.CurvatureEvaluationType), -range, range, 32));
    }
    if (draft)
        oxDraftOverlay::drawLegend(image, shader);
    if (shader.kind() == oxAnalysisShader::Deviation)
        oxDeviationOverlay::drawLegend(
            image, shader, oxDeviationOverlay::legendHistogram(scene, request.deviation, shader.deviationRange()));
    return image;
}
