#include "oxViewerRenderer.h"

#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderer.h"

#include <algorithm>
#include <vector>

// Everything a frame needs, read on the GUI thread where the host's state lives.
struct oxViewerRenderer::Job
{
    oxFrame::Request frame;
    qint64 requestedAt = 0;
};

struct oxViewerRenderer::Result
{
    Job job;
    QImage image;
    std::vector<float> depth;
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
    // The request brings the scene in step here, while no frame reads it.
    Job job;
    job.frame = oxFrame::request(_size.width(), _size.height());
    // The full frame honours the host's own raytracing downscale.
    job.frame.downscale = std::max(_pendingDownscale, job.frame.downscale);
    job.requestedAt = _pendingSince;
    _pendingDownscale = 0;
    _inFlight = true;
    if (job.frame.downscale == 1)
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
            result->image = oxFrame::compose(job.frame, *scene, *tracer, result->depth);
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
    _imageDownscale = result->job.frame.downscale;
    ++_framesDrawn;
    _lastTraceMs = result->traceMs;
    _lastLatencyMs = double(_clock.elapsed() - result->job.requestedAt);
    Q_EMIT frameReady();
    startNext();
    if (isIdle())
        Q_EMIT idle();
}
