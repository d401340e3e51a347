#include "oxViewerRenderer.h"

#include "oxFrame.h"
#include "oxHostAnalysisModel.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "oxRenderer.h"

#include <algorithm>
#include <vector>

// Everything a frame needs, read on the GUI thread where the host's state lives; its derived data
// is measured on the worker.
struct oxViewerRenderer::Job
{
    oxFrame::Request frame;
    qint64 requestedAt = 0;
    int hostDownscale = 1;     // the host's own: the full frame's
    oxSurfaceBuffer::Key view; // at the host's downscale
    bool cancellable = false;
    bool evenPixels = false; // the half frame out of the full frame's rays
    bool reshade = false;
};

struct oxViewerRenderer::Result
{
    Job job;
    QImage image; // null when cancelled
    std::vector<float> depth;
    double traceMs = 0;
    oxSurfaceBuffer::Key key; // what the full frame's buffer holds
    bool traced = false;
};

oxViewerRenderer::oxViewerRenderer(QObject* parent) : QObject(parent), _tracer(std::make_unique<oxRaytracer>())
{
    _clock.start();
    _worker = new QObject;
    _worker->moveToThread(&_thread);
    _thread.setObjectName("oxViewerRenderer");
    _thread.start();
}

oxViewerRenderer::~oxViewerRenderer()
{
    // The frame in flight ends at its next tile; its answer is dropped with this object.
    _cancel = true;
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
    return !_inFlight && !_pendingDownscale && !_startPosted;
}

void oxViewerRenderer::request(bool interactive)
{
    // Within an interaction (with the requests of the same event, or while frames refine) every
    // request is one of it; startNext goes on from the step already shown.
    const bool interaction = _refining || (_startPosted && _pendingDownscale == InteractiveDownscale);
    _pendingDownscale = interactive || interaction ? InteractiveDownscale : 1;
    if (!_startPosted)
        _pendingSince = _clock.elapsed();
    // A refinement in flight is cancelled when the camera or the size moved on; a coarse frame or
    // a re-shade is short and shows the motion, so it is let finish.
    if (_inFlight && _inFlightCancellable &&
        !(_inFlightSize == _size &&
          oxSurfaceBuffer::Key{_inFlightCamera}.sameView(oxSurfaceBuffer::Key{oxRenderer::the().hostCamera()})))
        _cancel = true;
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
    job.frame = oxFrame::request({_size.width(), _size.height(), 1, oxHostAnalysisModel::the()->settings()});
    // No frame is in flight: the worker does not hold the derived data now.
    if (oxRenderer::the().measuresDeviation(job.frame))
        setBusy(tr("Measuring the deviation\u2026"));
    job.hostDownscale = std::max(1, job.frame.downscale);
    const oxSurfaceBuffer::Key key = oxFrame::surfaceKey(job.frame);
    const oxRenderScene* scene = &oxRenderer::the().scene();
    const bool reshade = _haveFull && key.sameView(_fullKey) && _fullKey.exact == scene->exactShading();
    int downscale = reshade ? job.hostDownscale : std::max(_pendingDownscale, job.hostDownscale);
    // The view the last coarse frame showed: the next step, not the same one again.
    if (!reshade && _shownDownscale > job.hostDownscale && downscale >= _shownDownscale && key.sameView(_shownKey))
        downscale = std::max(job.hostDownscale, _shownDownscale / 2);
    job.frame.downscale = downscale;
    _refining = downscale > job.hostDownscale;
    job.cancellable = !reshade && job.frame.downscale < InteractiveDownscale;
    job.view = key;
    job.reshade = reshade;
    job.requestedAt = _pendingSince;
    _pendingDownscale = 0;
    _inFlight = true;
    _inFlightCancellable = job.cancellable;
    _inFlightCamera = job.frame.camera;
    _inFlightSize = _size;
    _cancel = false;
    const bool full = job.frame.downscale == job.hostDownscale;
    // The half step traces the full frame's even pixels into its buffer; the full one adds the rest.
    job.evenPixels = job.frame.downscale == 2 && job.hostDownscale == 1;
    if (job.evenPixels)
        _haveFull = false;
    // Even a re-shade may trace again (for curvatures the kept surface lacks).
    _fullBusy = full || job.evenPixels;
    if (full)
        Q_EMIT fullFrameStarted();

    oxRaytracer* tracer = _tracer.get();
    oxSurfaceBuffer* buffer = full || job.evenPixels ? &_full : &_coarse;
    QMetaObject::invokeMethod(
        _worker,
        [this, tracer, scene, buffer, job]
        {
            const std::lock_guard<std::mutex> lock(oxRenderer::the().sceneMutex());
            QElapsedTimer timer;
            timer.start();
            auto result = std::make_shared<Result>();
            result->job = job;
            oxRenderer::the().derive(result->job.frame);
            const size_t traces = buffer->traces();
            oxFrame::Options options;
            options.buffer = buffer;
            options.cancel = &_cancel;
            options.evenPixels = job.evenPixels;
            result->image = oxFrame::compose(result->job.frame, *scene, *tracer, result->depth, options);
            result->traceMs = double(timer.nsecsElapsed()) / 1e6;
            result->key = buffer->key();
            result->traced = !job.reshade || buffer->traces() != traces;
            QMetaObject::invokeMethod(
                this, [this, result] { finished(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void oxViewerRenderer::finished(const std::shared_ptr<Result>& result)
{
    _inFlight = false;
    _fullBusy = false;
    const Job& job = result->job;
    const bool full = job.frame.downscale == job.hostDownscale;
    if (full)
        _haveFull = false;
    if (result->image.isNull())
    {
        ++_framesCancelled;
        if (!_pendingDownscale)
        {
            // Cancelled, yet nothing newer waits (the view came back): the same step again.
            _pendingDownscale = job.frame.downscale;
            _pendingSince = job.requestedAt;
        }
    }
    else
    {
        // A hand-over: the worker's image is shared, not copied or converted.
        _image = result->image;
        _imageDownscale = job.frame.downscale;
        ++_framesDrawn;
        _lastTraceMs = result->traceMs;
        _lastLatencyMs = double(_clock.elapsed() - job.requestedAt);
        _shownKey = job.view;
        _shownDownscale = job.frame.downscale;
        // Whatever the frame measured is kept now; the next frames only read it.
        setBusy(QString());
        if (full)
        {
            _refining = false;
            _fullKey = result->key;
            _haveFull = true;
            _fullTraces += result->traced ? 1 : 0;
        }
        else if (!_pendingDownscale)
        {
            // The next step at once; its latency counts from the change it refines.
            _pendingDownscale = std::max(job.hostDownscale, job.frame.downscale / 2);
            _pendingSince = job.requestedAt;
        }
        Q_EMIT frameReady();
    }
    startNext();
    if (isIdle())
        Q_EMIT idle();
}

void oxViewerRenderer::setBusy(const QString& text)
{
    if (text == _busy)
        return;
    _busy = text;
    Q_EMIT busyChanged(_busy);
}

bool oxViewerRenderer::probe(const QPointF& at, bool& hit, oxProbe& out) const
{
    oxRenderer& renderer = oxRenderer::the();
    oxSurfaceBuffer::Key now = _fullKey;
    now.camera = renderer.hostCamera();
    now.sceneVersion = renderer.sceneVersion();
    if (!_haveFull || _fullBusy || _fullKey.samples != 1 || QSize(_fullKey.width, _fullKey.height) != _size ||
        !now.sameView(_fullKey))
        return false;
    const int x = int(at.x()), y = int(at.y());
    oxSurfaceBuffer::Hit h;
    hit = _full.hit(x, y, h);
    if (hit)
    {
        oxRenderCamera camera = _fullKey.camera;
        camera.setup(_fullKey.width, _fullKey.height);
        osg::Pnt3f origin;
        osg::Vec3f direction;
        camera.ray(float(x) + 0.5f, float(y) + 0.5f, origin, direction);
        oxProbe::at(renderer.scene(), origin, h.direction, h.geomID, h.primID, h.u, h.v, (h.point - origin).length(),
                    h.normal, out);
    }
    return true;
}
