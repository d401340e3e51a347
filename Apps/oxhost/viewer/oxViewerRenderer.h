#pragma once

#include "oxRenderCamera.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThread>
#include <QTimer>

#include <memory>

class oxRaytracer;

// The viewer's frames: the host's raytraced view, traced on a worker thread so that the window
// stays responsive. Frames are drawn on request only. An interactive request is traced at a
// quarter of the size at once, and the full-resolution frame follows 150 ms after the last one;
// one frame is traced at a time, and the newest request replaces any that waits.
class oxViewerRenderer : public QObject
{
    Q_OBJECT

public:
    static constexpr int InteractiveDownscale = 4;
    static constexpr int SettleMs = 150;

    explicit oxViewerRenderer(QObject* parent = nullptr);
    ~oxViewerRenderer() override;

    void setSize(const QSize& size);
    QSize size() const { return _size; }

    // interactive: a quick coarse frame now, the full one after the settling time.
    void request(bool interactive);

    // The newest frame, with the light visuals and the legend on top.
    const QImage& image() const { return _image; }
    int imageDownscale() const { return _imageDownscale; }
    // Nothing traced, waiting or settling: the image is the full frame of the current state.
    bool isIdle() const;
    int framesDrawn() const { return _framesDrawn; }

    // Timings of the newest frame: tracing on the worker, and from the request it answered to
    // the moment it was shown (ms).
    double lastTraceMs() const { return _lastTraceMs; }
    double lastLatencyMs() const { return _lastLatencyMs; }

Q_SIGNALS:
    // A full frame started tracing (the first in curvature mode estimates the curvatures).
    void fullFrameStarted();
    void frameReady();
    void idle();

private:
    struct Job;
    struct Result;

    void startNext();
    void finished(const std::shared_ptr<Result>& result);

    QSize _size{640, 400};
    QThread _thread;
    QObject* _worker = nullptr; // lives in _thread
    std::unique_ptr<oxRaytracer> _tracer;
    QTimer _settle;
    QElapsedTimer _clock;
    bool _inFlight = false;
    bool _startPosted = false;
    int _pendingDownscale = 0; // 0: nothing waits
    qint64 _pendingSince = 0;
    QImage _image;
    int _imageDownscale = 1;
    int _framesDrawn = 0;
    double _lastTraceMs = 0;
    double _lastLatencyMs = 0;
};
