#pragma once

// The viewer window of oxhost --gui with its real widgets, as each viewer test program opens it:
// the sample sphere in the window, the panel in its dock, the module's analysis off before each test.
#include "moduletestsupport.h"

#include "OSGTransform3D.h"
#include "oxCadImporter.h"
#include "oxFrame.h"
#include "oxHostAnalysisModel.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "UniversalTransformManipulator2.h"
#include "oxHostRender.h"
#include "oxHostRooms.h"
#include "oxHostScene.h"
#include "oxInternalCameraConnector.h"
#include "oxOSGWidgetPicker.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"
#include "oxScenegraph.h"
#include "oxSurfaceAnalysisPanel.h"
#include "oxViewerCamera.h"
#include "oxViewerRenderer.h"
#include "oxViewerView.h"
#include "oxViewerWindow.h"
#include "viewershots.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QRandomGenerator>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QUndoStack>

typedef oxSurfaceAnalysisModel M;
typedef oxHostAnalysisModel H;
typedef oxk::manipulator::UniversalTransformManipulator2 Manipulator;

using osg::Vec3f;
using oxRenderMath::unit;

inline void send(QWidget* w, QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, at, w->mapToGlobal(at.toPoint()), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

// A press, moves in steps to the end, and a release.
inline void drag(QWidget* w, QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier, int steps = 10)
{
    send(w, QEvent::MouseButtonPress, from, button, button, modifiers);
    for (int i = 1; i <= steps; ++i)
        send(w, QEvent::MouseMove, from + (to - from) * (double(i) / steps), Qt::NoButton, button, modifiers);
    send(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton, modifiers);
}

// On a check box's indicator: a row-wide box takes clicks only on its indicator and text.
inline QPoint boxPoint(QWidget* box)
{
    return QPoint(8, box->height() / 2);
}

inline void click(QWidget* w, const QPointF& at)
{
    send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// The host's view with the host analyses' settings as they are, traced afresh here.
inline QImage tracedView(int width, int height, int samples = 1)
{
    oxFrame::Request frame = oxFrame::request({width, height, samples, oxHostAnalysisModel::the()->settings()});
    oxRenderer::the().derive(frame);
    std::vector<float> depth;
    return oxFrame::compose(frame, oxRenderer::the().scene(), oxRaytracer(), depth);
}

// The window and the module over it: set up before the first test, reset before each. A test
// class that needs more around them overrides these slots and calls setUp, reset and tearDown.
class ViewerTestCase : public QObject
{
    Q_OBJECT

protected Q_SLOTS:
    void initTestCase() { setUp(); }
    void init() { reset(); }
    void cleanupTestCase() { tearDown(); }

protected:
    QTemporaryDir settingsDir;
    oxViewerWindow* window = nullptr;
    oxViewerView* view = nullptr;
    std::unique_ptr<oxInternalCameraConnector> connector;
    M* model = nullptr;

    QVariantMap panel() const
    {
        QVariantMap state;
        QMetaObject::invokeMethod(window->panel(), "state", Q_RETURN_ARG(QVariantMap, state));
        return state;
    }

    QPointF pixelOf(const Vec3f& p) const
    {
        QPointF pixel;
        oxViewerCamera::project(osg::Pnt3f(p[0], p[1], p[2]), view->size(), pixel);
        return pixel;
    }

    // A pixel over the visual's body (not a handle), searched around where its origin shows.
    QPointF pixelOver(Manipulator& manipulator) const
    {
        const QPointF centre = pixelOf(osg::Transform3DPtr::dcast(manipulator.getNode()->getCore())->getTranslation());
        for (int r = 0; r <= 80; r += 4)
            for (int dx = -r; dx <= r; dx += 4)
                for (int dy = -r; dy <= r; dy += 4)
                {
                    const QPointF p = centre + QPointF(dx, dy);
                    const oxViewerView::Hover h = view->hoverAt(p);
                    if (h.manipulator == &manipulator && !h.handle)
                        return p;
                }
        return QPointF(-1, -1);
    }

    // A pixel near the view's centre where a press orbits: over no light visual.
    QPointF orbitPixel() const
    {
        const QPointF centre(view->width() / 2, view->height() / 2);
        for (int r = 0; r <= 200; r += 10)
            for (int dx = -r; dx <= r; dx += 10)
                for (const QPointF p : {centre + QPointF(dx, -r), centre + QPointF(dx, r), centre + QPointF(-r, dx),
                                        centre + QPointF(r, dx)})
                    if (!view->hoverAt(p).manipulator)
                        return p;
        return centre;
    }

    void showAnalysis(unsigned analysis, unsigned reflection)
    {
        model->setAnalysisActive(true);
        model->setAnalysisMode(analysis);
        model->setReflectionMode(reflection);
        model->setLineMode(1);
        oxUndoStack::get(0).clear();
    }

    // A CAD sample written to path (its shape as oxCadImporter::writeSample takes it) and read as
    // the only model in the window.
    void showCadSample(const char* sample, const QString& path, int rows = 5, int cols = 8, int poles = 24)
    {
        oxHostScene::clear();
        std::string error;
        QVERIFY2(oxCadImporter::writeSample(sample, path.toStdString(), error, rows, cols, poles), error.c_str());
        QVERIFY2(oxHostRender::loadMesh(path.toStdString(), error) != osg::NullFC, error.c_str());
        window->showModel();
    }

    void setUp()
    {
        qRegisterMetaType<osg::Vec3f>("osg::Vec3f");
        oxLog::setEcho(false);
        // The window restores and keeps its layout in settings: a fresh folder, not the user's.
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        oxRaytracingManager::createRaytracingUtils();
        // The host analyses' sections come from their rooms, which oxhost installs at start-up.
        oxHostRooms::install();
        connector = std::make_unique<oxInternalCameraConnector>();
        oxInternalCameraConnector::setInstance(connector.get());
        window = new oxViewerWindow;
        view = window->view();
        oxOSGWidget::setMGLW(view);
        oxhostPanelCreate();
        window->setPanel(&oxhostPanelWidget);
        model = M::the();
        window->resize(1000, 640);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        std::string error;
        QVERIFY(oxHostRender::addSample("sphere", error) != osg::NullFC);
    }

    void reset()
    {
        if (model->getAnalysisActive())
            model->setAnalysisActive(false);
        if (model->getSimpleMode())
            model->setSimpleMode(false);
        Access::setDefault();
        model->setUiVisibility(true);
        window->panelDock()->show();
        window->showModel();
        QVERIFY(window->waitForFrame());
        oxUndoStack::get(0).clear();
        oxUndoStack::setMergeWindow(500);
        useSteppingClock(); // edits merge only where a test says so
    }

    // The rows of a long job cut short: by its Cancel button, or by closing the window.
    static void cutShortRows()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("Cancel") << false;
        QTest::newRow("closing the window") << true;
    }
    void cutShort(QAbstractButton* cancel, bool closeWindow)
    {
        if (closeWindow)
            window->close();
        else
            QTest::mouseClick(cancel, Qt::LeftButton);
    }
    // The window as it was before cutShort: shown, whichever way the job was cut short.
    void reopen(bool closeWindow)
    {
        QCOMPARE(window->isVisible(), !closeWindow);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void tearDown()
    {
        oxUndoStack::get(0).clear();
        delete window;
        oxhostPanelDetach();
        oxOSGWidget::setMGLW(nullptr);
    }
};
