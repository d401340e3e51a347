// Speed of the viewer of oxhost --gui in a 1280 x 800 view, with the real window on the
// offscreen platform, on the one-million-triangle teapot (interpolated shading) and on a CAD torus
// triangulated as finely (exact shading): frames per second while the camera orbits and while the
// light plane is dragged, the share of them at full resolution, the time from the last change to
// the full frame, the time from a mouse event to the first frame that shows it, the longest time
// the GUI thread was busy while frames were traced, and a traced full frame against one re-shaded
// from the kept surface.
#include "OSGTransform3D.h"
#include "UniversalTransformManipulator2.h"
#include "benchTiming.h"
#include "oxCadImporter.h"
#include "oxFrame.h"
#include "oxHostAnalysisModel.h"
#include "oxHostRender.h"
#include "oxInternalCameraConnector.h"
#include "oxMeshNodes.h"
#include "oxRaytracer.h"
#include "oxRaytracingManager.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"
#include "oxSurfaceAnalysisModel.h"
#include "oxSurfaceAnalysisModelAccess.h"
#include "oxSurfaceAnalysisPanel.h"
#include "oxUndoStack.h"
#include "oxViewerCamera.h"
#include "oxViewerRenderer.h"
#include "oxViewerView.h"
#include "oxViewerWindow.h"

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace
{
typedef oxSurfaceAnalysisModelAccess Access;

struct Figures
{
    double seconds = 0;
    int frames = 0, fullFrames = 0;
    double lastChangeToFullMs = -1; // from the last mouse move to the first full frame after it
    std::vector<double> latencies;  // request to display of each frame drawn during the motion
    double fullAfterLastChangeMs = 0;
    double fullFrameMs = 0; // its trace, overlay and scaling on the worker
    double longestGuiBusyMs = 0;
};

// The GUI thread's heartbeat: a 1 ms timer; a longer gap between its ticks is the time the GUI
// thread was busy. (A zero timer would spin and take a core from the tracer.)
class Heartbeat
{
public:
    Heartbeat()
    {
        _timer.setTimerType(Qt::PreciseTimer);
        _timer.setInterval(1);
        QObject::connect(&_timer, &QTimer::timeout,
                         [this]
                         {
                             _longest = std::max(_longest, double(_beat.nsecsElapsed()) / 1e6 - 1.0);
                             _beat.restart();
                         });
    }
    void start()
    {
        _beat.start();
        _timer.start();
    }
    // The longest gap less the interval, in ms.
    double stop()
    {
        _timer.stop();
        return _longest;
    }

private:
    QElapsedTimer _beat;
    QTimer _timer;
    double _longest = 0;
};

void send(QWidget* w, QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, w->mapToGlobal(at.toPoint()), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Moves the mouse at 60 Hz with the left button down from `from` by `step` per event, `events`
// times; measures while it runs and until the full frame is shown after the release.
Figures motion(oxViewerView* view, QPointF from, QPointF step, int events)
{
    Figures f;
    oxViewerRenderer* r = view->renderer();
    QElapsedTimer clock;
    QElapsedTimer sinceMove;
    bool moving = true;
    std::vector<double> frameLatencies;
    const QMetaObject::Connection frames = QObject::connect(r, &oxViewerRenderer::frameReady,
                                                            [&]
                                                            {
                                                                const bool full = r->imageDownscale() == 1;
                                                                if (moving)
                                                                {
                                                                    ++f.frames;
                                                                    f.fullFrames += full;
                                                                    frameLatencies.push_back(r->lastLatencyMs());
                                                                }
                                                                else if (full && f.lastChangeToFullMs < 0)
                                                                    f.lastChangeToFullMs =
                                                                        double(sinceMove.nsecsElapsed()) / 1e6;
                                                            });
    Heartbeat heart;

    send(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    clock.start();
    heart.start();
    // The mouse at 60 Hz, from a timer, so that the event loop sleeps between events.
    QPointF at = from;
    int sent = 0;
    QEventLoop loop;
    QTimer mouse;
    mouse.setTimerType(Qt::PreciseTimer);
    mouse.setInterval(1000 / 60);
    QObject::connect(&mouse, &QTimer::timeout,
                     [&]
                     {
                         at += step;
                         send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
                         sinceMove.start();
                         if (++sent == events)
                             loop.quit();
                     });
    mouse.start();
    loop.exec();
    mouse.stop();
    moving = false;
    send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    f.seconds = double(clock.elapsed()) / 1000.0;
    QElapsedTimer settle;
    settle.start();
    while (!r->isIdle() && settle.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    f.fullAfterLastChangeMs = double(settle.nsecsElapsed()) / 1e6;
    f.fullFrameMs = r->lastTraceMs();
    f.longestGuiBusyMs = heart.stop();
    QObject::disconnect(frames);
    f.latencies = frameLatencies;
    return f;
}

void report(const char* what, const Figures& f)
{
    std::vector<double> l = f.latencies;
    std::sort(l.begin(), l.end());
    const double median = l.empty() ? 0 : l[l.size() / 2];
    const double worst = l.empty() ? 0 : l.back();
    std::printf("%-24s %5.1f fps (%3.0f%% at full resolution)  latency median %5.1f ms, max %5.1f ms  full frame "
                "%6.1f ms after the last change, idle after %6.1f ms (last drawn in %5.1f ms)  GUI busy at most "
                "%5.1f ms\n",
                what, f.frames / f.seconds, f.frames ? 100.0 * f.fullFrames / f.frames : 0.0, median, worst,
                f.lastChangeToFullMs, f.fullAfterLastChangeMs, f.fullFrameMs, f.longestGuiBusyMs);
}

// The view's full frame traced (tracing and shading every pixel, the overlays) against the same
// frame re-shaded from its kept surface, taking turns; the frame as the viewer would draw it.
void traceAgainstReshade(const char* what, const oxViewerView* view)
{
    oxFrame::Request request =
        oxFrame::request({view->width(), view->height(), 1, oxHostAnalysisModel::the()->settings()});
    oxRenderer::the().derive(request);
    const oxRenderScene& scene = oxRenderer::the().scene();
    const oxRaytracer tracer;
    oxSurfaceBuffer buffer;
    std::vector<float> depth;
    oxFrame::Options kept;
    kept.buffer = &buffer;
    size_t version = 1000; // a version of its own per trace, so that the buffer is traced again
    const auto [traced, reshaded] = alternate(
        [&]
        {
            request.sceneVersion = ++version;
            oxFrame::compose(request, scene, tracer, depth, kept);
        },
        [&] { oxFrame::compose(request, scene, tracer, depth, kept); }, 9);
    // The re-shade's own share, without the overlays: the buffer's shading alone.
    const std::unique_ptr<oxColouring> colouring = oxFrame::colouring(request, scene);
    std::vector<double> shading;
    for (int i = 0; i < 9; ++i)
        shading.push_back(seconds([&] { tracer.render(scene, oxFrame::surfaceKey(request), *colouring, buffer); }));
    std::printf("%-24s full frame traced %6.1f ms, re-shaded %5.1f ms (%.2f of traced; the shading alone %5.1f ms); "
                "surface buffer %.0f MB\n",
                what, traced * 1e3, reshaded * 1e3, reshaded / traced, median(shading) * 1e3,
                double(oxSurfaceBuffer::bytesFor(buffer.key())) / (1 << 20));
}

// The deviation switched on for the model shown (against the reference set), from the setter on
// the GUI thread until the viewer is idle with the field shown: the GUI thread's longest stretch
// between two ticks of a 1 ms timer, and the time until the field was shown.
void deviationSwitchedOn(const char* what, oxViewerWindow* window)
{
    oxViewerRenderer* r = window->view()->renderer();
    bool busy = false;
    QElapsedTimer clock;
    Heartbeat heart;
    const auto watch = QObject::connect(r, &oxViewerRenderer::busyChanged,
                                        [&](const QString& text) { busy = busy || !text.isEmpty(); });
    const size_t measured = oxRenderer::the().derived().deviationsMeasured();
    clock.start();
    heart.start();
    QTimer::singleShot(0, [] { oxHostAnalysisModel::the()->setDeviationActive(true); });
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    while ((!r->isIdle() || !r->busy().isEmpty() || !oxHostAnalysisModel::the()->getDeviationActive()) &&
           clock.elapsed() < 60000);
    const double longest = heart.stop();
    QObject::disconnect(watch);
    std::printf("%-24s field measured %zu time(s), shown after %6.0f ms (busy state %s); GUI busy at most %5.1f ms\n",
                what, oxRenderer::the().derived().deviationsMeasured() - measured, double(clock.elapsed()),
                busy ? "shown" : "not shown", longest);
}

// The light plane in front of the model, so that its lines cross it.
osg::Vec3f placeLightPlane(oxViewerWindow* window)
{
    oxSurfaceAnalysisModel* model = oxSurfaceAnalysisModel::the();
    const oxRenderCamera c = oxViewerCamera::current();
    const float distance = (c.at - c.from).length();
    model->setLightLinesDistance(distance / 20);
    const osg::Vec3f origin = c.at.subZero() + (c.from - c.at) * 0.45f + c.up * (0.12f * distance);
    model->setLightPlaneOrigin(origin);
    window->waitForFrame(60000);
    return origin;
}

// An orbit from the view's centre with the light plane out of the way, behind the eye (a press
// on the plane would drag the light), then a drag of the light plane's body in front of the model.
void orbitAndDrag(const char* what, oxViewerWindow* window)
{
    oxViewerView* view = window->view();
    const oxRenderCamera c = oxViewerCamera::current();
    oxSurfaceAnalysisModel::the()->setLightPlaneOrigin(c.from.subZero() + (c.from - c.at) * 2.f);
    window->waitForFrame(60000);
    const std::string orbit = std::string(what) + " orbit";
    report(orbit.c_str(), motion(view, QPointF(640, 400), QPointF(4, 0.5), 180));
    std::printf("%-24s the eye moved by %.1f (the eye's distance %.1f)\n", orbit.c_str(),
                double((oxViewerCamera::current().from - c.from).length()), double((c.from - c.at).length()));
    const osg::Vec3f origin = placeLightPlane(window);
    QPointF onPlane;
    oxViewerCamera::project(osg::Pnt3f(origin[0], origin[1], origin[2]), view->size(), onPlane);
    oxSurfaceAnalysisModel* model = oxSurfaceAnalysisModel::the();
    const int steps = oxUndoStack::get(0).count();
    const std::string drag = std::string(what) + " light drag";
    report(drag.c_str(), motion(view, onPlane, QPointF(1, 0.25), 180));
    std::printf("%-24s %d undo step(s), origin moved by %.2f\n", drag.c_str(), oxUndoStack::get(0).count() - steps,
                double((model->getLightPlaneOrigin() - origin).length()));
}
// A finer teapot (one million vertices) against the teapot as the reference, the deviation switched
// on; the coarse teapot is shown again after.
void deviationOfAMillionVertices(oxViewerWindow* window, const osg::NodePtr& teapot)
{
    const osg::NodePtr root = oxScenegraph::getRoot();
    const osg::NodePtr finer = oxMeshNodes::makeNode(oxSampleSurfaces::teapot(10.f, 176));
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    root->subChild(teapot);
    root->addChild(finer);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    oxRenderer::the().setReference({std::make_shared<oxRenderMesh>(oxSampleSurfaces::teapot(10.f, 125))});
    window->view()->renderer()->request(false);
    window->waitForFrame(60000);
    size_t vertices = 0;
    for (size_t m = 0; m < oxRenderer::the().scene().meshCount(); ++m)
        vertices += oxRenderer::the().scene().mesh(m).vertexCount();
    std::printf("bench_viewer: deviation of %zu vertices against %zu triangles\n", vertices,
                oxRenderer::the().reference().triangleCount());
    deviationSwitchedOn("deviation on", window);
    oxHostAnalysisModel::the()->setDeviationActive(false);
    oxSurfaceAnalysisModel::the()->setAnalysisActive(true); // the deviation switched it off
    oxRenderer::the().setReference({});
    window->waitForFrame(60000);
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    root->subChild(finer);
    root->addChild(teapot);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
}
} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window keeps its layout in settings: not in the user's.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    oxRaytracingManager::createRaytracingUtils();
    oxInternalCameraConnector connector;
    oxInternalCameraConnector::setInstance(&connector);
    auto* window = new oxViewerWindow;
    oxOSGWidget::setMGLW(window->view());
    oxhostPanelCreate();
    window->setPanel(&oxhostPanelWidget);
    window->panelDock()->hide();
    window->view()->setFixedSize(1280, 800);
    window->show();
    QCoreApplication::processEvents();

    QElapsedTimer load;
    load.start();
    const osg::NodePtr teapot = oxMeshNodes::makeNode(oxSampleSurfaces::teapot(10.f, 125));
    const osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    root->addChild(teapot);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    oxViewerCamera::setUpAxis(oxViewerCamera::YUp);
    window->showModel();
    window->waitForFrame(60000);
    std::printf("bench_viewer: %zu triangles, view %dx%d, first full frame (mesh, BVH, trace) %.0f ms\n",
                oxRenderer::the().scene().triangleCount(), window->view()->width(), window->view()->height(),
                double(load.elapsed()));

    oxSurfaceAnalysisModel* model = oxSurfaceAnalysisModel::the();
    model->setAnalysisActive(true);
    model->setAnalysisMode(1);
    model->setReflectionMode(1);
    model->setLineMode(1);
    model->setIsoLineCount(40);
    orbitAndDrag("teapot", window);
    traceAgainstReshade("teapot", window->view());

    deviationOfAMillionVertices(window, teapot);

    // The CAD torus as finely triangulated, its stripes from the exact surface per pixel.
    QTemporaryDir dir;
    const std::string path = dir.filePath("torus.brep").toStdString();
    std::string error;
    oxCadOptions fine;
    fine.deflection = 0.000003;
    fine.timeoutSeconds = 600;
    fine.angleDegrees = oxCadOptions::DefaultAngle;
    load.restart();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    root->subChild(teapot);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    if (!oxCadImporter::writeSample("torus", path, error) || !oxHostRender::loadMesh(path, error, fine))
    {
        std::fprintf(stderr, "bench_viewer: %s\n", error.c_str());
        return 1;
    }
    oxViewerCamera::setUpAxis(oxViewerCamera::ZUp);
    window->showModel();
    window->waitForFrame(60000);
    std::printf("bench_viewer: CAD torus, %zu triangles, exact shading %s, loaded and first full frame %.0f ms\n",
                oxRenderer::the().scene().triangleCount(), oxRenderer::the().scene().exactShading() ? "on" : "off",
                double(load.elapsed()));
    orbitAndDrag("exact", window);
    traceAgainstReshade("exact", window->view());
    model->setAnalysisMode(3);
    window->waitForFrame(60000);
    traceAgainstReshade("exact curvature", window->view());

    oxUndoStack::get(0).clear();
    delete window;
    oxhostPanelDetach();
    oxOSGWidget::setMGLW(nullptr);
    return 0;
}
