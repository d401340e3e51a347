// Speed of the viewer of oxhost --gui on the one-million-triangle teapot in a 1280 x 800 view,
// with the real window on the offscreen platform: frames per second while the camera orbits and
// while the light plane is dragged, the full frame after the last change, the time from a mouse
// event to the first frame that shows it, and the longest time the GUI thread was busy while
// frames were traced.
#include "OSGTransform3D.h"
#include "UniversalTransformManipulator2.h"
#include "oxInternalCameraConnector.h"
#include "oxMeshNodes.h"
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
#include <vector>

namespace
{
typedef oxSurfaceAnalysisModelAccess Access;

struct Figures
{
    double seconds = 0;
    int coarseFrames = 0;
    std::vector<double> latencies; // request to display of each frame drawn during the motion
    double fullAfterLastChangeMs = 0;
    double fullFrameMs = 0; // its trace, overlay and scaling on the worker
    double longestGuiBusyMs = 0;
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
    std::vector<double> frameLatencies;
    const QMetaObject::Connection frames = QObject::connect(r, &oxViewerRenderer::frameReady,
                                                            [&]
                                                            {
                                                                if (r->imageDownscale() > 1)
                                                                {
                                                                    ++f.coarseFrames;
                                                                    frameLatencies.push_back(r->lastLatencyMs());
                                                                }
                                                            });
    // The GUI thread's heartbeat: a 1 ms timer; a longer gap between its ticks is the time the
    // GUI thread was busy. (A zero timer would spin and take a core from the tracer.)
    QElapsedTimer beat;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(1);
    QObject::connect(&heart, &QTimer::timeout,
                     [&]
                     {
                         f.longestGuiBusyMs = std::max(f.longestGuiBusyMs, double(beat.nsecsElapsed()) / 1e6 - 1.0);
                         beat.restart();
                     });

    send(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    clock.start();
    beat.start();
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
                         if (++sent == events)
                             loop.quit();
                     });
    mouse.start();
    loop.exec();
    mouse.stop();
    send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    f.seconds = double(clock.elapsed()) / 1000.0;
    QElapsedTimer settle;
    settle.start();
    while (!r->isIdle() && settle.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    f.fullAfterLastChangeMs = double(settle.nsecsElapsed()) / 1e6;
    f.fullFrameMs = r->lastTraceMs();
    heart.stop();
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
    std::printf("%-18s %5.1f fps  latency median %5.1f ms, max %5.1f ms  full frame %6.1f ms after the last "
                "change (drawn in %5.1f ms)  GUI busy at most %5.1f ms\n",
                what, f.coarseFrames / f.seconds, median, worst, f.fullAfterLastChangeMs, f.fullFrameMs,
                f.longestGuiBusyMs);
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
    const oxRenderCamera c = oxViewerCamera::current();
    const float distance = (c.at - c.from).length();
    model->setLightLinesDistance(distance / 20);
    const osg::Vec3f origin = c.at.subZero() + (c.from - c.at) * 0.45f + c.up * (0.12f * distance);
    model->setLightPlaneOrigin(origin);
    window->waitForFrame(60000);

    oxViewerView* view = window->view();
    const QPointF centre(640, 400);
    report("orbit", motion(view, centre, QPointF(4, 0.5), 180));

    QPointF onPlane;
    oxViewerCamera::project(osg::Pnt3f(origin[0], origin[1], origin[2]), view->size(), onPlane);
    const int steps = oxUndoStack::get(0).count();
    const Figures drag = motion(view, onPlane, QPointF(1, 0.25), 180);
    report("light plane drag", drag);
    std::printf("light plane drag: %d undo step(s), origin moved by %.2f\n", oxUndoStack::get(0).count() - steps,
                double((model->getLightPlaneOrigin() - origin).length()));

    oxUndoStack::get(0).clear();
    delete window;
    oxhostPanelDetach();
    oxOSGWidget::setMGLW(nullptr);
    return 0;
}
