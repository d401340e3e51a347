#pragma once

#include "oxRenderCamera.h"
#include "oxSurfaceBuffer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThread>

#include <atomic>
#include <memory>

class oxRaytracer;
struct oxProbe;

// The viewer's frames: the host's raytraced view, traced on a worker thread so that the window
// stays responsive. Frames are drawn on request only, one at a time; the newest request replaces
// any that waits. The surface under every pixel of the last full frame is kept: a request for the
// same view (camera, size, model, exact switch), such as a settings change or a light drag,
// re-shades it at full resolution. Any other interactive request is traced at a quarter of the
// size, then refined to a half and to full as soon as each frame is shown; a newer request
// cancels a refinement in flight at a tile boundary.
class oxViewerRenderer : public QObject
{
    Q_OBJECT

public:
    static constexpr int InteractiveDownscale = 4;

    explicit oxViewerRenderer(QObject* parent = nullptr);
    ~oxViewerRenderer() override;

    void setSize(const QSize& size);
    QSize size() const { return _size; }

    // interactive: a quick coarse frame now, refined to full, unless the view is the one the last
    // full frame traced.
    void request(bool interactive);

    // The newest frame, with the light visuals and the legend on top.
    const QImage& image() const { return _image; }
    int imageDownscale() const { return _imageDownscale; }
    // Nothing traced, waiting or refining: the image is the full frame of the current state.
    bool isIdle() const;
    int framesDrawn() const { return _framesDrawn; }

    // The surface under a point of the view read from the last full frame's kept surface, without
    // a ray; hit false where the pixel shows no surface. False when that frame does not show the
    // current view at full size, or a trace is filling it.
    bool probe(const QPointF& at, bool& hit, oxProbe& out) const;

    // Timings of the newest frame: tracing on the worker, and from the request it answered to
    // the moment it was shown (ms).
    double lastTraceMs() const { return _lastTraceMs; }
    double lastLatencyMs() const { return _lastLatencyMs; }
    // Frames cancelled in flight by a newer request, and full frames traced (not re-shaded).
    int framesCancelled() const { return _framesCancelled; }
    int fullTraces() const { return _fullTraces; }

    // What the worker measures before the next frame can show it (such as the deviation field),
    // as a short status text; empty once a frame with it is shown.
    const QString& busy() const { return _busy; }

Q_SIGNALS:
    // A full frame started tracing or re-shading (the first in curvature mode estimates the curvatures).
    void fullFrameStarted();
    void frameReady();
    void idle();
    void busyChanged(const QString& text);

private:
    struct Job;
    struct Result;

    void startNext();
    void finished(const std::shared_ptr<Result>& result);
    void setBusy(const QString& text);

    QSize _size{640, 400};
    QThread _thread;
    QObject* _worker = nullptr; // lives in _thread
    std::unique_ptr<oxRaytracer> _tracer;
    // Used on the worker only, by one frame at a time: the full frame's surface, and the coarse
    // frames' own so that a refinement does not drop the full one.
    oxSurfaceBuffer _full, _coarse;
    std::atomic<bool> _cancel{false};
    // The view _full holds, as last shown; read on the GUI thread.
    oxSurfaceBuffer::Key _fullKey;
    bool _haveFull = false;
    bool _fullBusy = false; // a full frame in flight uses _full
    // The view and step of the last frame shown, and whether frames of an interaction refine.
    oxSurfaceBuffer::Key _shownKey;
    int _shownDownscale = 0;
    bool _refining = false;
    QElapsedTimer _clock;
    bool _inFlight = false;
    bool _inFlightCancellable = false;
    oxRenderCamera _inFlightCamera;
    QSize _inFlightSize;
    bool _startPosted = false;
    int _pendingDownscale = 0; // 0: nothing waits
    qint64 _pendingSince = 0;
    int _framesCancelled = 0;
    int _fullTraces = 0;
    QString _busy;
    QImage _image;
    int _imageDownscale = 1;
    int _framesDrawn = 0;
    double _lastTraceMs = 0;
    double _lastLatencyMs = 0;
};
