#include "oxViewerRenderer.h"

#include "oxAnalysisShading.h"
#include "oxCurvatureStats.h"
#include "oxOSGWidget.h"
#include "oxOverlay.h"
#include "oxRaytracer.h"
#include "oxRenderer.h"
#include "oxScenegraph.h"

#include <algorithm>
#include <vector>

// Everything a frame needs, read on the GUI thread where the host's state lives.
struct oxViewerRenderer::Job
{
    oxRenderCamera camera;
    oxAnalysisSettings settings;
    bool analysis = false;
    int width = 1, height = 1;
    int downscale = 1;
    qint64 requestedAt = 0;
    std::shared_ptr<const oxOverlay::Visuals> visuals; // read here, drawn on the worker
    std::vector<oxOverlay::Polyline> continuityEdges;  // empty unless shown
    bool legend = false;
};

struct oxViewerRenderer::Result
{
    Job job;
    QImage image;
    std::vector<float> depth;
    int traceWidth = 1, traceHeight = 1;
    double traceMs = 0;
};

oxViewerRenderer::oxViewerRenderer(QObject* parent) : QObject(parent), _tracer(std::make_unique<oxRaytracer>())
{
    _clock.start();
    _worker = new QObject;
    _worker->moveToThread(&_thread);
    _thread.setObjectName("oxViewerRenderer");
    _thread.start();
    _settle.setSingleShot(true);
    _settle.setInterval(SettleMs);
    connect(&_settle, &QTimer::timeout, this,
            [this]
            {
                _pendingDownscale = 1;
                _pendingSince = _clock.elapsed();
                startNext();
            });
}

oxViewerRenderer::~oxViewerRenderer()
{
    // The frame in flight finishes; its answer is dropped with this object.
    _thread.quit();
    _thread.wait();
    delete _worker;
}

void oxViewerRenderer::setSize(const QSize& size)
{
    _size = size.expandedTo(QSize(1, 1));
}

bool oxViewerRenderer::isIdle() const
{
    return !_inFlight && !_pendingDownscale && !_settle.isActive() && !_startPosted;
}

void oxViewerRenderer::request(bool interactive)
{
    // Within an interaction every request is coarse; the settling timer brings the full frame.
    if (interactive || _settle.isActive())
    {
        _pendingDownscale = InteractiveDownscale;
        _settle.start();
    }
    else
        _pendingDownscale = 1;
    if (!_startPosted)
        _pendingSince = _clock.elapsed();
    // The requests that one event makes (the module's and the view's) start one frame.
    if (!_startPosted)
    {
        _startPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this]
            {
                _startPosted = false;
                startNext();
            },
            Qt::QueuedConnection);
    }
}

void oxViewerRenderer::startNext()
{
    if (_inFlight || !_pendingDownscale)
        return;
    // The scene is brought in step here, while no frame reads it.
    oxRenderer::the().syncScene();

    Job job;
    job.camera = oxRenderer::the().hostCamera();
    const osg::SurfaceAnalysisAttachmentPtr record = oxAnalysisSettings::hostRecord();
    job.analysis = oxOSGWidget::getRenderingMode(-1) == oxOSGWidget::AnalysisRenderingMode && record != osg::NullFC;
    job.settings = oxAnalysisSettings::fromRecord(record);
    job.width = _size.width();
    job.height = _size.height();
    // The full frame honours the host's own raytracing downscale.
    int full = 1;
    if (oxOSGWidget::getRaytracingDownscale())
        full = int(std::max(1u, oxOSGWidget::getRaytracingDownscaleFactor()));
    job.downscale = std::max(_pendingDownscale, full);
    job.requestedAt = _pendingSince;
    job.visuals = oxOverlay::collectLightVisuals(oxScenegraph::getInternalRoot(), job.camera, job.width, job.height);
    job.legend = oxOSGWidget::getCurvatureLegendOverlayVisible();
    if (oxRenderer::the().showContinuity())
        job.continuityEdges = oxRenderer::the().continuityLines();
    _pendingDownscale = 0;
    _inFlight = true;
    if (job.downscale == 1)
        Q_EMIT fullFrameStarted();

    oxRaytracer* tracer = _tracer.get();
    const oxRenderScene* scene = &oxRenderer::the().scene();
    QMetaObject::invokeMethod(
        _worker,
        [this, tracer, scene, job]
        {
            const std::lock_guard<std::mutex> lock(oxRenderer::the().sceneMutex());
            QElapsedTimer timer;
            timer.start();
            auto result = std::make_shared<Result>();
            result->job = job;
            result->traceWidth = std::max(1, job.width / job.downscale);
            result->traceHeight = std::max(1, job.height / job.downscale);
            const oxAnalysisShader shader(job.settings, job.analysis);
            QImage image =
                tracer->render(*scene, job.camera, shader, result->traceWidth, result->traceHeight, &result->depth);
            // The visuals go on at the traced size, with the camera the frame was traced with, so that
            // a coarse frame costs a coarse overlay.
            if (!job.continuityEdges.empty())
                oxOverlay::drawPolylines(image, job.continuityEdges, job.camera, result->depth, result->traceWidth,
                                         result->traceHeight, oxRenderer::ContinuityDepthSlack);
            oxOverlay::drawLightVisuals(image, *job.visuals, job.camera, result->depth, result->traceWidth,
                                        result->traceHeight);
            if (result->traceWidth != job.width || result->traceHeight != job.height)
                image = image.scaled(job.width, job.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
            if (job.legend && shader.kind() == oxAnalysisShader::Curvature)
            {
                const double range = shader.legendRange();
                oxOverlay::drawCurvatureLegend(
                    image, shader,
                    oxCurvatureStats::histogram(*scene, int(job.settings.CurvatureEvaluationType), -range, range, 32));
            }
            result->image = image;
            result->traceMs = double(timer.nsecsElapsed()) / 1e6;
            QMetaObject::invokeMethod(
                this, [this, result] { finished(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void oxViewerRenderer::finished(const std::shared_ptr<Result>& result)
{
    _inFlight = false;
    const QImage& image = result->image;
    _image = image;
    _imageDownscale = result->job.downscale;
    ++_framesDrawn;
    _lastTraceMs = result->traceMs;
    _lastLatencyMs = double(_clock.elapsed() - result->job.requestedAt);
    Q_EMIT frameReady();
    startNext();
    if (isIdle())
        Q_EMIT idle();
}
