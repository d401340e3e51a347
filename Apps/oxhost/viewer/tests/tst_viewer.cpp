// The viewer window of oxhost --gui with its real widgets: mouse and keys on the view, the light
// visuals dragged through their manipulators, the normal pick, the panel bound to the module.
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

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
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

namespace
{
// A host analysis number setting by name, through its getter.
template <class T> double asNumber(const T& value)
{
    if constexpr (std::is_arithmetic_v<T>)
        return double(value);
    else
        return NAN;
}

double hostNumber(const QString& property)
{
#define OX_HOST_NUMBER(Name, ...)                                                                                      \
    if (property == #Name)                                                                                             \
        return asNumber(H::the()->get##Name());
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_NUMBER)
#undef OX_HOST_NUMBER
    return NAN;
}
} // namespace

using osg::Vec3f;

namespace
{
void send(QWidget* w, QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, at, w->mapToGlobal(at.toPoint()), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

// A press, moves in steps to the end, and a release.
void drag(QWidget* w, QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier, int steps = 10)
{
    send(w, QEvent::MouseButtonPress, from, button, button, modifiers);
    for (int i = 1; i <= steps; ++i)
        send(w, QEvent::MouseMove, from + (to - from) * (double(i) / steps), Qt::NoButton, button, modifiers);
    send(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton, modifiers);
}

// On a check box's indicator: a row-wide box takes clicks only on its indicator and text.
QPoint boxPoint(QWidget* box)
{
    return QPoint(8, box->height() / 2);
}

// Accepts every message box as soon as it shows, keeping its text in shown.
void answerMessageBoxes(QTimer& timer, QString& shown)
{
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout,
                     [&shown]
                     {
                         if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                         {
                             shown = box->text();
                             box->accept();
                         }
                     });
    timer.start();
}

// A reference to measure against, for the settings that need one.
std::shared_ptr<const oxRenderMesh> triangle()
{
    auto mesh = std::make_shared<oxRenderMesh>();
    mesh->positions = {osg::Pnt3f(0, 0, 0), osg::Pnt3f(1, 0, 0), osg::Pnt3f(0, 1, 0)};
    mesh->indices = {0, 1, 2};
    return mesh;
}

void click(QWidget* w, const QPointF& at)
{
    send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

using oxRenderMath::unit;

// The record's fields, for comparing whole states.
QList<QVariant> recordState()
{
    const osg::SurfaceAnalysisValues values = record()->getValues();
    QList<QVariant> state;
    for (osg::UInt32 id = Record::LinearLightDirectionFieldId; id < Record::NextFieldId; ++id)
        osg::visitSurfaceAnalysisValue(values, id, [&state](const auto& v) { state << QVariant::fromValue(v); });
    return state;
}
} // namespace

class tst_Viewer : public QObject
{
    Q_OBJECT

private:
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

private Q_SLOTS:
    void initTestCase()
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

    void init()
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

    void cleanupTestCase()
    {
        oxUndoStack::get(0).clear();
        delete window;
        oxhostPanelDetach();
        oxOSGWidget::setMGLW(nullptr);
    }

    void orbitTurnsAboutTheTargetWithZUp()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(100, 0));
        const oxRenderCamera after = oxViewerCamera::current();
        QCOMPARE(after.at, before.at);
        QVERIFY(qAbs((after.from - after.at).length() - (before.from - before.at).length()) < 1e-3f);
        QVERIFY(qAbs(after.from[2] - before.from[2]) < 1e-3f); // a horizontal drag only turns about Z
        QVERIFY((after.from - before.from).length() > 1.f);
        QCOMPARE(after.up, Vec3f(0, 0, 1));

        drag(view, c, c + QPointF(0, 80));
        QVERIFY(oxViewerCamera::current().from[2] != after.from[2]);
    }

    void panMovesEyeAndTargetTogether()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(60, 30), Qt::MiddleButton);
        oxRenderCamera after = oxViewerCamera::current();
        const Vec3f moved = after.at - before.at;
        QVERIFY(moved.length() > 1e-3f);
        QVERIFY(((after.from - before.from) - moved).length() < 1e-3f);
        // The model point that was under the cursor follows it.
        QVERIFY((pixelOf(before.at.subZero()) - (c + QPointF(60, 30))).manhattanLength() < 2.0);

        drag(view, c, c + QPointF(-60, 0), Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY((oxViewerCamera::current().at - after.at).length() > 1e-3f);
    }

    // A second button pressed and released during an orbit leaves the orbit running.
    void onlyTheDragsButtonEndsIt()
    {
        const QPointF c(view->width() / 2, view->height() / 2);
        send(view, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonPress, c, Qt::MiddleButton, Qt::LeftButton | Qt::MiddleButton);
        send(view, QEvent::MouseButtonRelease, c, Qt::MiddleButton, Qt::LeftButton);
        QVERIFY(view->isInteracting());
        const osg::Pnt3f before = oxViewerCamera::current().from;
        send(view, QEvent::MouseMove, c + QPointF(20, 0), Qt::NoButton, Qt::LeftButton);
        QVERIFY(oxViewerCamera::current().from != before);
        send(view, QEvent::MouseButtonRelease, c + QPointF(20, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!view->isInteracting());
    }

    void wheelZoomsTowardTheCursor()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const double distance = (before.at - before.from).length();
        const QPointF corner(view->width() * 0.75, view->height() * 0.5);
        QWheelEvent wheel(corner, view->mapToGlobal(corner.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        const oxRenderCamera after = oxViewerCamera::current();
        QVERIFY(qAbs((after.at - after.from).length() - 0.85 * distance) < 1e-3 * distance);
        QVERIFY(after.at != before.at); // toward the cursor, not the centre
    }

    void doubleClickRecentresOnTheSurface()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(40, 25);
        send(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        send(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        const oxRenderCamera after = oxViewerCamera::current();
        QVERIFY(qAbs((after.at - osg::Pnt3f(0, 0, 0)).length() - 20.f) < 0.1f); // on the sphere
        QVERIFY(((after.from - after.at) - (before.from - before.at)).length() < 1e-3f);
        QVERIFY((pixelOf(after.at.subZero()) - QPointF(view->width() / 2, view->height() / 2)).manhattanLength() < 2);

        // Off the model, nothing moves.
        send(view, QEvent::MouseButtonDblClick, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(oxViewerCamera::current().at, after.at);
    }

    // The resting cursor reads the surface: the sample sphere has radius 20 everywhere.
    void statusBarShowsTheProbeUnderTheCursor()
    {
        auto* label = window->findChild<QLabel*>("probeLabel");
        QVERIFY(label);
        send(view, QEvent::MouseMove, pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20), Qt::NoButton, Qt::NoButton);
        QTRY_VERIFY(label->text().startsWith("k1 "));
        const QStringList words = label->text().split(' ', Qt::SkipEmptyParts);
        QVERIFY2(qAbs(words.at(1).toDouble() - 0.05) < 0.003 && qAbs(words.at(3).toDouble() - 0.05) < 0.003,
                 qPrintable(label->text()));
        QVERIFY(label->text().contains("R min 20") || label->text().contains("R min 19."));

        send(view, QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
        QTRY_COMPARE(label->text(), QString());
    }

    // The probe reads the last full frame's surface where that frame shows the current view: the
    // same surface as a ray through the pixel's centre finds; after a camera move, a ray again.
    void probeReadsTheKeptSurface()
    {
        oxViewerRenderer* r = view->renderer();
        QVERIFY(window->waitForFrame());
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20);
        bool hit = false;
        oxProbe kept, traced;
        QVERIFY(r->probe(at, hit, kept));
        QVERIFY(hit);
        oxRenderCamera camera = oxViewerCamera::current();
        camera.setup(view->width(), view->height());
        osg::Pnt3f origin;
        osg::Vec3f direction;
        camera.ray(float(int(at.x())) + 0.5f, float(int(at.y())) + 0.5f, origin, direction);
        QVERIFY(oxProbe::trace(oxRenderer::the().scene(), origin, direction, traced));
        QCOMPARE(kept.triangle, traced.triangle);
        QVERIFY((kept.point - traced.point).length() < 1e-3f);
        QVERIFY((kept.normal - traced.normal).length() < 1e-4f);
        QVERIFY(qAbs(kept.k1 - traced.k1) < 1e-5f && qAbs(kept.k2 - traced.k2) < 1e-5f);
        QVERIFY(r->probe(QPointF(2, 2), hit, kept));
        QVERIFY(!hit);
        oxViewerCamera::orbit(5.f, 0.f);
        QVERIFY(!r->probe(at, hit, kept));
        QVERIFY(window->waitForFrame());
        QVERIFY(r->probe(at, hit, kept));
    }

    void fitFramesTheModel()
    {
        for (int i = 0; i < 8; ++i)
            oxViewerCamera::zoom(2.f, QPointF(view->width() / 2, view->height() / 2), view->size());
        QTest::keyClick(window, Qt::Key_F);
        // The sphere of radius 20 at the origin: its silhouette inside the view, and not tiny.
        const oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((c.at - osg::Pnt3f(0, 0, 0)).length() < 1e-2f);
        const Vec3f side = unit((c.at - c.from).cross(c.up)) * 20.f;
        const QPointF left = pixelOf(-side), right = pixelOf(side);
        QVERIFY(left.x() > 0 && right.x() < view->width());
        QVERIFY2(right.x() - left.x() > qMin(view->width(), view->height()) * 0.5,
                 qPrintable(QString("%1 to %2 in %3").arg(left.x()).arg(right.x()).arg(view->height())));
    }

    void standardViewsAndProjection_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Vec3f>("forward");
        QTest::newRow("front") << int(Qt::Key_1) << Vec3f(0, 1, 0);
        QTest::newRow("right") << int(Qt::Key_4) << Vec3f(-1, 0, 0);
        QTest::newRow("top") << int(Qt::Key_5) << Vec3f(0, 0, -1);
    }
    void standardViewsAndProjection()
    {
        QFETCH(int, key);
        QFETCH(Vec3f, forward);
        QTest::keyClick(window, Qt::Key(key));
        const oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((unit(c.at - c.from) - forward).length() < 1e-4f);
        QTest::keyClick(window, Qt::Key_O);
        QVERIFY(oxViewerCamera::isOrthographic());
        QTest::keyClick(window, Qt::Key_O);
        QVERIFY(!oxViewerCamera::isOrthographic());
    }

    void orbitStopsShortOfThePoles()
    {
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(0, 2000), Qt::LeftButton, Qt::NoModifier, 40);
        oxRenderCamera cam = oxViewerCamera::current();
        Vec3f toEye = unit(cam.from - cam.at);
        QVERIFY(qAbs(toEye.dot(Vec3f(0, 0, 1))) < std::sin(89.5 * M_PI / 180));
        QVERIFY(std::isfinite(cam.from[0]) && (cam.up - Vec3f(0, 0, 1)).length() < 1e-6f);
        drag(view, c, c - QPointF(0, 4000), Qt::LeftButton, Qt::NoModifier, 40);
        cam = oxViewerCamera::current();
        toEye = unit(cam.from - cam.at);
        QVERIFY(qAbs(toEye.dot(Vec3f(0, 0, 1))) < std::sin(89.5 * M_PI / 180));
    }

    void zoomOutAndInReturns()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF at(view->width() * 0.3, view->height() * 0.6);
        oxViewerCamera::zoom(-2.f, at, view->size());
        QVERIFY((oxViewerCamera::current().from - before.at).length() > (before.from - before.at).length());
        oxViewerCamera::zoom(2.f, at, view->size());
        QVERIFY((oxViewerCamera::current().from - before.from).length() < 1e-3f);
        QVERIFY((oxViewerCamera::current().at - before.at).length() < 1e-3f);
    }

    // A world point's pixel and the ray through that pixel agree, in both projections.
    void pixelsAndRaysAgree_data()
    {
        QTest::addColumn<bool>("orthographic");
        QTest::newRow("perspective") << false;
        QTest::newRow("orthographic") << true;
    }
    void pixelsAndRaysAgree()
    {
        QFETCH(bool, orthographic);
        oxViewerCamera::setOrthographic(orthographic);
        const Vec3f p(5, -7, 11);
        QPointF pixel;
        QVERIFY(oxViewerCamera::project(osg::Pnt3f(p[0], p[1], p[2]), view->size(), pixel));
        osg::Pnt3f origin;
        Vec3f direction;
        oxViewerCamera::ray(pixel, view->size(), origin, direction);
        const Vec3f toPoint = p - origin.subZero();
        QVERIFY((toPoint - direction * toPoint.dot(direction)).length() < 1e-3f * toPoint.length());
        oxViewerCamera::setOrthographic(false);
        // Behind the eye there is no pixel.
        const oxRenderCamera c = oxViewerCamera::current();
        const osg::Pnt3f behind = c.from + (c.from - c.at);
        QVERIFY(!oxViewerCamera::project(behind, view->size(), pixel));
    }

    void yUpViewsStandOnY()
    {
        oxViewerCamera::setUpAxis(oxViewerCamera::YUp);
        QTest::keyClick(window, Qt::Key_1);
        oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((unit(c.at - c.from) - Vec3f(0, 0, -1)).length() < 1e-4f);
        QCOMPARE(c.up, Vec3f(0, 1, 0));
        const float height = c.from[1];
        const QPointF centre(view->width() / 2, view->height() / 2);
        drag(view, centre, centre + QPointF(80, 0));
        QVERIFY(qAbs(oxViewerCamera::current().from[1] - height) < 1e-3f); // turns about Y
        oxViewerCamera::setUpAxis(oxViewerCamera::ZUp);
    }

    // The direction buttons aim the light, one undo step each.
    void directionButtonsAimTheLight_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Vec3f>("direction");
        QTest::newRow("X") << "LightDirection.X" << Vec3f(1, 0, 0);
        QTest::newRow("Y") << "LightDirection.Y" << Vec3f(0, 1, 0);
        QTest::newRow("Z") << "LightDirection.Z" << Vec3f(0, 0, 1);
    }
    void directionButtonsAimTheLight()
    {
        QFETCH(QString, button);
        QFETCH(Vec3f, direction);
        qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>(button))->click();
        QCOMPARE(model->getLightDirection(), direction);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QCOMPARE(panel()["LightDirection"].toList(),
                 (QVariantList{double(direction[0]), double(direction[1]), double(direction[2])}));
    }

    // Each light: a 100-pixel drag is one undo step that changes the property, Ctrl+Z undoes it.
    void lightDragIsOneUndoStep_data()
    {
        QTest::addColumn<unsigned>("analysis");
        QTest::addColumn<unsigned>("reflection");
        QTest::addColumn<QString>("light");
        QTest::newRow("plane body moves") << 1u << 1u << "plane";
        QTest::newRow("sphere turns") << 1u << 0u << "sphere";
        QTest::newRow("arrow turns") << 0u << 0u << "arrow";
    }
    void lightDragIsOneUndoStep()
    {
        QFETCH(unsigned, analysis);
        QFETCH(unsigned, reflection);
        QFETCH(QString, light);
        if (light == "plane")
            model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        if (light == "arrow")
            model->setLightDirectionVisibility(true);
        showAnalysis(analysis, reflection);
        Manipulator& manipulator = light == "plane"    ? Access::lightPlaneManipulator()
                                   : light == "sphere" ? Access::lightSphereManipulator()
                                                       : Access::lightDirectionManipulator();
        QVERIFY(contextAdded(manipulator.getContext()));
        const auto value = [&]
        {
            return light == "plane"    ? model->getLightPlaneOrigin()
                   : light == "sphere" ? model->getLightSphereRotation()
                                       : model->getLightDirection();
        };
        const Vec3f before = value();
        const QPointF at = pixelOver(manipulator);
        QVERIFY2(at.x() >= 0, "the visual is not under the cursor anywhere near its origin");
        const oxRenderCamera camera = oxViewerCamera::current();

        QSignalSpy live(model, light == "plane"    ? SIGNAL(lightPlaneRotationChanged(osg::Vec3f))
                               : light == "sphere" ? SIGNAL(lightSphereRotationChanged(osg::Vec3f))
                                                   : SIGNAL(lightDirectionChanged(osg::Vec3f)));
        drag(view, at, at + QPointF(100, 0));
        QVERIFY(live.count() > 2); // the stripes followed during the drag
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        const Vec3f after = value();
        QVERIFY((after - before).length() > 1e-3f);
        if (light == "plane")
        {
            const Vec3f moved = after - before;
            QVERIFY(qAbs(moved.dot(unit(camera.at - camera.from))) < 1e-3f * moved.length()); // in the view plane
            QVERIFY(qAbs(pixelOf(after).x() - pixelOf(before).x() - 100) < 2.0);
        }
        // The Edit menu names the step; Ctrl+Z undoes it.
        auto* undo = window->findChild<QAction*>("undo");
        QVERIFY(undo && undo->isEnabled() && undo->text().startsWith("&Undo ") && undo->text().size() > 7);
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY((value() - before).length() < 1e-4f);
        QVERIFY(!undo->isEnabled());
        QVERIFY(window->findChild<QAction*>("redo")->text().startsWith("&Redo "));
        QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
        QVERIFY((value() - after).length() < 1e-4f);
    }

    void planeHandleTurnsThePlane()
    {
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        showAnalysis(1, 1);
        Manipulator& manipulator = Access::lightPlaneManipulator();
        const QPointF body = pixelOver(manipulator);
        send(view, QEvent::MouseMove, body, Qt::NoButton, Qt::NoButton);
        QCOMPARE(view->hover().manipulator, &manipulator);
        // A corner handle: the hover there says so.
        QPointF handle(-1, -1);
        for (int x = 0; x < view->width() && handle.x() < 0; x += 3)
            for (int y = 0; y < view->height(); y += 3)
                if (view->hoverAt(QPointF(x, y)).handle)
                {
                    handle = QPointF(x, y);
                    break;
                }
        QVERIFY(handle.x() >= 0);
        const Vec3f origin = model->getLightPlaneOrigin(), euler = model->getLightPlaneRotation();
        drag(view, handle, handle + QPointF(0, 60));
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QVERIFY((model->getLightPlaneRotation() - euler).length() > 1.f);
        QVERIFY((model->getLightPlaneOrigin() - origin).length() < 1e-4f);
    }

    void normalPickClickAimsTheLight()
    {
        showAnalysis(0, 0);
        const QPointF centre = pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20);
        osg::Pnt3f o;
        Vec3f d;
        oxViewerCamera::ray(centre, view->size(), o, d);
        oxOSGWidgetPicker picker;
        Vec3f normal;
        QVERIFY(picker.pick(o, d) && picker.getHitNormal(normal, 0));

        // Off: a click neither turns the camera nor aims anything.
        const oxRenderCamera camera = oxViewerCamera::current();
        const Vec3f direction = model->getLightDirection();
        click(view, centre);
        QCOMPARE(oxViewerCamera::current().from, camera.from);
        QCOMPARE(model->getLightDirection(), direction);
        QCOMPARE(oxUndoStack::get(0).count(), 0);

        qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("PickNormal"))->click();
        QVERIFY(model->getPickNormal());
        click(view, centre);
        QVERIFY((unit(model->getLightDirection()) - normal).length() < 1e-4f);
        QCOMPARE(oxViewerCamera::current().from, camera.from);
    }

    void sliderDragIsOneUndoStep()
    {
        showAnalysis(1, 1);
        useFrozenClock();
        auto* slider = qobject_cast<QSlider*>(window->panel()->findChild<QWidget*>("StripeThickness"));
        QVERIFY(slider && slider->isEnabled());
        slider->setSliderDown(true);
        for (int i = 1; i <= 50; ++i)
            slider->setValue(i);
        slider->setSliderDown(false);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QCOMPARE(model->getStripeThickness(), 0.5f);
    }

    // Whoever changes a property, the panel shows it at once; controls that do not apply are disabled.
    void panelFollowsTheModule_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("IsoLineCount") << "IsoLineCount" << QVariant(7u) << QVariant(7);
        QTest::newRow("AnalysisMode") << "AnalysisMode" << QVariant(3u) << QVariant(3);
        QTest::newRow("LineMode") << "LineMode" << QVariant(1u) << QVariant(1);
        QTest::newRow("StripeThickness") << "StripeThickness" << QVariant(0.25f) << QVariant(0.25);
        QTest::newRow("CurvatureMode") << "CurvatureMode" << QVariant(2u) << QVariant(2);
        QTest::newRow("UseBands") << "UseBands" << QVariant(true) << QVariant(true);
        QTest::newRow("ShadingMode") << "ShadingMode" << QVariant(2u) << QVariant(2);
        QTest::newRow("PickNormal") << "PickNormal" << QVariant(true) << QVariant(true);
    }
    // Showing the interface marks the analysis active but leaves the view plain: the box says
    // what the view shows, and one click brings the analysis.
    void analysisBoxSaysWhatTheViewShows()
    {
        QVERIFY(model->getAnalysisActive());
        QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
        auto* box = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("AnalysisActive"));
        QVERIFY(!box->isChecked());
        box->click();
        QCOMPARE(oxOSGWidget::getRenderingMode(-1), 2);
        QVERIFY(box->isChecked());
        box->click();
        QVERIFY(!model->getAnalysisActive());
        QVERIFY(!box->isChecked());
    }

    void panelFollowsTheModule()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QVariant, shown);
        static const QMap<QString, std::function<void(const QVariant&)>> setters = {
            {"IsoLineCount", [](const QVariant& v) { M::the()->setIsoLineCount(v.toUInt()); }},
            {"AnalysisMode", [](const QVariant& v) { M::the()->setAnalysisMode(v.toUInt()); }},
            {"LineMode", [](const QVariant& v) { M::the()->setLineMode(v.toUInt()); }},
            {"StripeThickness", [](const QVariant& v) { M::the()->setStripeThickness(v.toFloat()); }},
            {"CurvatureMode", [](const QVariant& v) { M::the()->setCurvatureMode(v.toUInt()); }},
            {"UseBands", [](const QVariant& v) { M::the()->setUseBands(v.toBool()); }},
            {"ShadingMode", [](const QVariant& v) { M::the()->setShadingMode(v.toUInt()); }},
            {"PickNormal", [](const QVariant& v) { M::the()->setPickNormal(v.toBool()); }},
        };
        setters[property](value);
        QCOMPARE(panel().value(property), shown);
        oxUndoStack::get(0).undo();
        QVERIFY(panel().value(property) != shown);
    }

    // The Draft and Combs sections follow the host analyses' model, whoever changes it.
    void hostAnalysisSectionsFollowTheModel_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("DraftActive") << "DraftActive" << QVariant(true);
        QTest::newRow("DraftDirection") << "DraftDirection" << QVariant(QVariantList{0.0, -1.0, 0.0});
        QTest::newRow("DraftAngle") << "DraftAngle" << QVariant(4.5);
        QTest::newRow("DraftRamp") << "DraftRamp" << QVariant(true);
        QTest::newRow("CombActive") << "CombActive" << QVariant(true);
        QTest::newRow("CombEdges") << "CombEdges" << QVariant(false);
        QTest::newRow("CombSections") << "CombSections" << QVariant(6);
        QTest::newRow("CombSectionNormal") << "CombSectionNormal" << QVariant(QVariantList{0.0, 0.0, 1.0});
        QTest::newRow("CombSamples") << "CombSamples" << QVariant(17);
        QTest::newRow("CombScale") << "CombScale" << QVariant(0.25);
        QTest::newRow("DeviationActive") << "DeviationActive" << QVariant(true);
        QTest::newRow("DeviationTolerance") << "DeviationTolerance" << QVariant(0.25);
        QTest::newRow("DeviationRange") << "DeviationRange" << QVariant(0.5);
    }

    void hostAnalysisSectionsFollowTheModel()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, shown);
        H::the()->load(oxMessage());
        static const QMap<QString, std::function<void()>> setters = {
            {"DraftActive", [] { H::the()->setDraftActive(true); }},
            {"DraftDirection", [] { H::the()->setDraftDirection(Vec3f(0, -2, 0)); }},
            {"DraftAngle", [] { H::the()->setDraftAngle(4.5f); }},
            {"DraftRamp", [] { H::the()->setDraftRamp(true); }},
            {"CombActive", [] { H::the()->setCombActive(true); }},
            {"CombEdges", [] { H::the()->setCombEdges(false); }},
            {"CombSections", [] { H::the()->setCombSections(6); }},
            {"CombSectionNormal", [] { H::the()->setCombSectionNormal(Vec3f(0, 0, 3)); }},
            {"CombSamples", [] { H::the()->setCombSamples(17); }},
            {"CombScale", [] { H::the()->setCombScale(0.25f); }},
            {"DeviationActive", [] { H::the()->setDeviationActive(true); }},
            {"DeviationTolerance", [] { H::the()->setDeviationTolerance(0.25f); }},
            {"DeviationRange", [] { H::the()->setDeviationRange(0.5f); }},
        };
        oxRenderer::the().setReference({triangle()});
        QVERIFY(panel().value(property) != shown);
        setters[property]();
        QCOMPARE(panel().value(property), shown);
        oxUndoStack::get(0).undo();
        QVERIFY(panel().value(property) != shown);
        oxRenderer::the().setReference({});
    }

    // A number control reaches the ends of its setting's domain, as many steps in as an open end
    // needs, and the model takes what it shows there.
    void hostAnalysisNumberControlsSpanTheDomain_data()
    {
        QTest::addColumn<QString>("property");
        for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
            if (oxHostAnalysisRows::at(i).domain.numeric)
                QTest::newRow(oxHostAnalysisRows::at(i).name) << QString(oxHostAnalysisRows::at(i).name);
    }

    void hostAnalysisNumberControlsSpanTheDomain()
    {
        QFETCH(QString, property);
        const oxSettingDomain& d = oxHostAnalysisRows::find(qPrintable(property))->domain;
        QWidget* control = window->panel()->findChild<QWidget*>(property);
        auto* count = qobject_cast<QSpinBox*>(control);
        auto* number = qobject_cast<QDoubleSpinBox*>(control);
        QVERIFY(count || number);
        const double step = count ? 1.0 : std::pow(10.0, -number->decimals());
        const double lo = count ? count->minimum() : number->minimum();
        const double hi = count ? count->maximum() : number->maximum();
        QCOMPARE(hi, d.maxOpen ? d.max - step : d.max);
        QVERIFY2(lo == d.min || (d.minOpen && lo == d.min + step), qPrintable(QString::number(lo)));
        for (double end : {hi, d.contains(lo) ? lo : lo + step})
        {
            H::the()->load(oxMessage());
            count ? count->setValue(int(end)) : number->setValue(end);
            QCOMPARE(hostNumber(property), double(float(end)));
        }
        H::the()->load(oxMessage());
        oxUndoStack::get(0).clear();
    }

    // Without a reference the Deviation box refuses to come on and stays clear.
    void deviationBoxWithoutReferenceStaysOff()
    {
        H::the()->load(oxMessage());
        auto* box = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("DeviationActive"));
        QVERIFY(box);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, boxPoint(box));
        QVERIFY(!box->isChecked() && !H::the()->getDeviationActive());
        QCOMPARE(oxUndoStack::get(0).count(), 0);
    }

    // File > Open reference reads a model file as the reference, or explains and keeps the old
    // one; View > Show reference switches its ghost; File > Clear reference drops it.
    void openReferenceLoadsOrExplains()
    {
        const osg::UInt32 children = oxScenegraph::getRoot()->getNChildren();
        QTemporaryDir dir;
        QFile obj(dir.filePath("tri.obj"));
        QVERIFY(obj.open(QIODevice::WriteOnly));
        obj.write("v 0 0 30\nv 5 0 30\nv 0 5 30\nf 1 2 3\n");
        obj.close();
        QCOMPARE(window->openReference(obj.fileName()), oxViewerLoader::Loaded);
        QVERIFY(oxRenderer::the().hasReference());
        QCOMPARE(oxRenderer::the().reference().triangleCount(), size_t(1));
        QCOMPARE(oxScenegraph::getRoot()->getNChildren(), children); // not part of the model

        QString shown;
        QTimer answer;
        answerMessageBoxes(answer, shown);
        QCOMPARE(window->openReference(dir.filePath("missing.stl")), oxViewerLoader::Failed);
        QVERIFY2(shown.startsWith("cannot read") && shown.contains("missing.stl"), qPrintable(shown));
        QCOMPARE(oxRenderer::the().reference().triangleCount(), size_t(1));

        auto* ghost = window->findChild<QAction*>("showReference");
        QVERIFY(ghost && ghost->isCheckable() && ghost->isChecked());
        ghost->trigger();
        QVERIFY(!oxRenderer::the().showReference());
        ghost->trigger();
        QVERIFY(oxRenderer::the().showReference());
        auto* clear = window->findChild<QAction*>("clearReference");
        QVERIFY(clear && window->findChild<QAction*>("openReference"));
        clear->trigger();
        QVERIFY(!oxRenderer::the().hasReference());
    }

    // The renderer reads the published record: every change of a host analysis setting is a new frame.
    void hostAnalysisChangeDrawsAFrame()
    {
        QSignalSpy frames(view->renderer(), &oxViewerRenderer::frameReady);
        H::the()->setCombSamples(9);
        QVERIFY(frames.wait(5000));
        QCOMPARE(oxHostAnalysisSettings::current().CombSamples, 9u);
    }

    // Edits made with the mouse and keys: one undo step each, a held spin box arrow one in all.
    void hostAnalysisControlsAreUndoableEdits()
    {
        H::the()->load(oxMessage());
        QWidget* p = window->panel();
        auto* draft = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftActive"));
        QVERIFY(draft);
        QTest::mouseClick(draft, Qt::LeftButton, Qt::NoModifier, boxPoint(draft));
        QVERIFY(H::the()->getDraftActive());
        QCOMPARE(oxUndoStack::get(0).count(), 1);

        const std::pair<const char*, Vec3f> axes[] = {{"+X", Vec3f(1, 0, 0)},  {"-X", Vec3f(-1, 0, 0)},
                                                      {"+Y", Vec3f(0, 1, 0)},  {"-Y", Vec3f(0, -1, 0)},
                                                      {"-Z", Vec3f(0, 0, -1)}, {"+Z", Vec3f(0, 0, 1)}};
        for (const auto& axis : axes)
        {
            auto* button =
                qobject_cast<QAbstractButton*>(p->findChild<QWidget*>(QString("DraftDirection.") + axis.first));
            QVERIFY2(button, axis.first);
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(H::the()->getDraftDirection(), axis.second);
        }
        QCOMPARE(oxUndoStack::get(0).count(), 7);

        // Faces turned to the viewer read +90: the pull points from the part to the eye.
        QTest::mouseClick(qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftDirection.View")),
                          Qt::LeftButton);
        const oxRenderCamera camera = oxViewerCamera::current();
        QVERIFY((H::the()->getDraftDirection() - unit(camera.from - camera.at)).length() < 1e-5f);

        useFrozenClock();
        auto* angle = qobject_cast<QDoubleSpinBox*>(p->findChild<QWidget*>("DraftAngle"));
        QVERIFY(angle);
        const int steps = oxUndoStack::get(0).count();
        angle->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(angle, Qt::Key_Up);
        QCOMPARE(H::the()->getDraftAngle(), 5.f);
        QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
        auto* sections = qobject_cast<QSpinBox*>(p->findChild<QWidget*>("CombSections"));
        sections->setFocus();
        QTest::keyClick(sections, Qt::Key_Up);
        QTest::keyClick(sections, Qt::Key_Up);
        QCOMPARE(H::the()->getCombSections(), 2u);
        QCOMPARE(oxUndoStack::get(0).count(), steps + 2);
        oxUndoStack::get(0).undo();
        oxUndoStack::get(0).undo();
        QCOMPARE(angle->value(), 1.0);
        QCOMPARE(sections->value(), 0);
    }

    // The draft and the module's analysis boxes take turns, each switch one step.
    void draftAndAnalysisBoxesTakeTurns()
    {
        H::the()->load(oxMessage());
        showAnalysis(1, 1);
        QWidget* p = window->panel();
        auto* draft = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftActive"));
        auto* analysis = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("AnalysisActive"));
        QVERIFY(analysis->isChecked());
        QTest::mouseClick(draft, Qt::LeftButton, Qt::NoModifier, boxPoint(draft));
        QVERIFY(draft->isChecked() && !analysis->isChecked() && !model->getAnalysisActive());
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QTest::mouseClick(analysis, Qt::LeftButton, Qt::NoModifier, boxPoint(analysis));
        QVERIFY(!draft->isChecked() && analysis->isChecked() && !H::the()->getDraftActive());
        QCOMPARE(oxUndoStack::get(0).count(), 2);
        oxUndoStack::get(0).undo();
        QVERIFY(draft->isChecked() && !analysis->isChecked());
        oxUndoStack::get(0).undo();
        QVERIFY(!draft->isChecked() && analysis->isChecked());
    }

    // "Pick a face" takes the next click on the model: the pull direction becomes the normal
    // oxHost.probe reads at that pixel; the camera stays, and the pick ends.
    void pickAFaceSetsThePullDirection()
    {
        H::the()->load(oxMessage());
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(40, -25);
        auto* pick = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("DraftDirection.Pick"));
        QTest::mouseClick(pick, Qt::LeftButton);
        QVERIFY(pick->isChecked() && H::the()->facePick());

        oxRenderCamera camera = oxRenderer::the().hostCamera();
        const osg::Pnt3f eye = camera.from;
        camera.setup(view->width(), view->height());
        osg::Pnt3f o;
        Vec3f d;
        camera.ray(float(std::floor(at.x())) + 0.5f, float(std::floor(at.y())) + 0.5f, o, d);
        oxProbe probe;
        QVERIFY(oxProbe::trace(oxRenderer::the().scene(), o, d, probe));

        click(view, at);
        QVERIFY((H::the()->getDraftDirection() - probe.normal).length() < 1e-5f);
        // On the sample sphere the outward normal points from its centre through the point.
        QVERIFY((H::the()->getDraftDirection() - unit(probe.point.subZero())).length() < 0.02f);
        QCOMPARE(oxViewerCamera::current().from, eye);
        QVERIFY(!pick->isChecked() && !H::the()->facePick());
        QCOMPARE(oxUndoStack::get(0).count(), 1);

        // Disarmed, a click changes nothing; armed, a drag still orbits and picks nothing.
        click(view, at + QPointF(-60, 0));
        QVERIFY((H::the()->getDraftDirection() - probe.normal).length() < 1e-5f);
        QTest::mouseClick(pick, Qt::LeftButton);
        drag(view, at, at + QPointF(60, 0));
        QVERIFY(oxViewerCamera::current().from != eye);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QTest::mouseClick(pick, Qt::LeftButton);
        QVERIFY(!H::the()->facePick());
    }

    // The three sections in the dock, as a user sees them; OX_SCREENSHOT names a file to keep.
    void hostAnalysisSectionsScreenshot()
    {
        H::the()->load(oxMessage());
        H::the()->setDraftActive(true);
        H::the()->setCombActive(true);
        QWidget* sections = window->panel()->findChild<QWidget*>("hostAnalysisControls");
        QVERIFY(sections && sections->isVisible());
        const QList<QGroupBox*> boxes = sections->findChildren<QGroupBox*>();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0]->title(), QString("Draft"));
        QCOMPARE(boxes[1]->title(), QString("Combs"));
        QCOMPARE(boxes[2]->title(), QString("Deviation"));
        const QImage shot = sections->grab().toImage();
        QVERIFY(!shot.isNull() && shot.height() > 200);
        if (qEnvironmentVariableIsSet("OX_SCREENSHOT"))
        {
            QVERIFY(shot.save(qEnvironmentVariable("OX_SCREENSHOT")));
            QVERIFY(window->grab().save(qEnvironmentVariable("OX_SCREENSHOT") + ".window.png"));
        }
        H::the()->load(oxMessage());
    }

    void projectLoadShowsInThePanel()
    {
        oxMessage msg;
        msg.set("Number of Isolines", 9u, true);
        msg.set("Isoline Color", Vec3f(1.f, 0.5f, 0.f), true);
        Access::load(msg);
        const QVariantMap s = panel();
        QCOMPARE(s["IsoLineCount"], QVariant(9));
        QCOMPARE(s["StripeColor"].toList(), (QVariantList{1.0, 0.5, 0.0}));
    }

    // Closing or hiding the whole window is not the user hiding the panel.
    void hidingTheWindowKeepsTheInterfaceVisible()
    {
        window->hide();
        QVERIFY(model->getUiVisibility());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(model->getUiVisibility());
        QVERIFY(window->panelDock()->isVisible());
        QCOMPARE(oxUndoStack::get(0).count(), 0);
    }

    // Requests made together start one frame; while one is traced, the newest waiting request
    // replaces the others; after an interaction come a half and exactly one full frame.
    void newestRequestSupersedes()
    {
        oxViewerRenderer* r = view->renderer();
        QVERIFY(window->waitForFrame());
        const int frames = r->framesDrawn();
        oxViewerCamera::orbit(5.f, 0.f);
        r->request(true);
        r->request(true);
        r->request(false);
        QVERIFY(!r->isIdle());
        QVERIFY(window->waitForFrame());
        QCOMPARE(r->framesDrawn(), frames + 3); // a quarter, a half, the full one
        QCOMPARE(r->imageDownscale(), 1);

        const int before = r->framesDrawn();
        r->request(false);
        QTRY_VERIFY(r->framesDrawn() > before || !r->isIdle());
        for (int i = 0; i < 20; ++i)
            r->request(false); // while the first is traced: one waits, the rest replace it
        QVERIFY(window->waitForFrame());
        QVERIFY(r->framesDrawn() <= before + 2);
    }

    // A light drag changes nothing but the shading: every frame of it is re-shaded at full
    // resolution from the last trace, and equals a frame traced afresh with the same settings.
    void lightDragShowsFullFramesEqualToTracedOnes()
    {
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        const int traces = r->fullTraces();
        std::vector<int> downscales;
        const auto record =
            connect(r, &oxViewerRenderer::frameReady, [&] { downscales.push_back(r->imageDownscale()); });
        Manipulator& manipulator = Access::lightPlaneManipulator();
        const QPointF at = pixelOver(manipulator);
        QVERIFY(at.x() >= 0);
        send(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 4; ++i)
        {
            const size_t shown = downscales.size();
            send(view, QEvent::MouseMove, at + QPointF(12 * i, 0), Qt::NoButton, Qt::LeftButton);
            QTRY_VERIFY(downscales.size() > shown);
        }
        send(view, QEvent::MouseButtonRelease, at + QPointF(48, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(window->waitForFrame());
        disconnect(record);
        QVERIFY(downscales.size() >= 4);
        QCOMPARE(downscales, std::vector<int>(downscales.size(), 1));
        QCOMPARE(r->fullTraces(), traces);
        std::vector<float> depth;
        const QImage traced = oxFrame::compose(oxFrame::request(view->width(), view->height()),
                                               oxRenderer::the().scene(), oxRaytracer(), depth);
        QCOMPARE(r->image(), traced);
    }

    // A camera change shows a quarter, a half and the full frame, each as soon as the one before
    // is shown, while the button is still down.
    void cameraChangeRefinesToFull()
    {
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        std::vector<int> downscales;
        const auto record =
            connect(r, &oxViewerRenderer::frameReady, [&] { downscales.push_back(r->imageDownscale()); });
        const QPointF c = orbitPixel();
        send(view, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseMove, c + QPointF(30, 0), Qt::NoButton, Qt::LeftButton);
        QTRY_VERIFY(!downscales.empty() && downscales.back() == 1);
        QVERIFY(r->isIdle());
        disconnect(record);
        send(view, QEvent::MouseButtonRelease, c + QPointF(30, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(window->waitForFrame());
        QCOMPARE(downscales, (std::vector<int>{4, 2, 1}));
    }

    // A camera change while a refinement is traced ends it at a tile boundary; the newest view
    // refines to full.
    void newerRequestCancelsTheFrameInFlight()
    {
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        const int cancelled = r->framesCancelled();
        QMetaObject::Connection once;
        once = connect(r, &oxViewerRenderer::fullFrameStarted,
                       [&]
                       {
                           disconnect(once);
                           oxViewerCamera::orbit(3.f, 0.f);
                           r->request(true);
                       });
        oxViewerCamera::orbit(3.f, 0.f);
        r->request(true);
        QVERIFY(window->waitForFrame());
        disconnect(once);
        QCOMPARE(r->framesCancelled(), cancelled + 1);
        QCOMPARE(r->imageDownscale(), 1);
        std::vector<float> depth;
        const QImage traced = oxFrame::compose(oxFrame::request(view->width(), view->height()),
                                               oxRenderer::the().scene(), oxRaytracer(), depth);
        QCOMPARE(r->image(), traced);
    }

    void controlsThatDoNotApplyAreDisabled()
    {
        model->setAnalysisMode(3);
        QVariantMap s = panel();
        QVERIFY(!s["StripeThickness.enabled"].toBool());
        QVERIFY(!s["ReflectionMode.enabled"].toBool());
        QVERIFY(s["CurvatureMode.enabled"].toBool());
        QVERIFY(s["StripeThickness.visible"].toBool()); // disabled, not hidden
        model->setAnalysisMode(1);
        s = panel();
        QVERIFY(s["StripeThickness.enabled"].toBool());
        QVERIFY(s["ReflectionMode.enabled"].toBool());
        QVERIFY(!s["CurvatureMode.enabled"].toBool());
    }

    void simpleModeShowsTheBasicControls()
    {
        model->setSimpleMode(true);
        QVariantMap s = panel();
        QVERIFY(s["IsoLineCount.visible"].toBool());
        QVERIFY(!s["StripeSharpness.visible"].toBool());
        QVERIFY(!s["PhongExponent.visible"].toBool());
        model->setSimpleMode(false);
        QVERIFY(panel()["StripeSharpness.visible"].toBool());
    }

    void dockVisibilityIsTheModulesInterfaceVisibility()
    {
        QVERIFY(model->getUiVisibility());
        window->panelDock()->toggleViewAction()->trigger();
        QVERIFY(!window->panelDock()->isVisible());
        QVERIFY(!model->getUiVisibility());
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        model->setUiVisibility(true);
        QVERIFY(window->panelDock()->isVisible());
        oxUndoStack::get(0).undo();
        QVERIFY(!window->panelDock()->isVisible());
    }

    void fullFrameFollowsAnInteraction()
    {
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        const int frames = view->renderer()->framesDrawn();
        int first = 0;
        const auto record = connect(view->renderer(), &oxViewerRenderer::frameReady,
                                    [&] { first = first ? first : view->renderer()->imageDownscale(); });
        // Over no light visual: a drag there orbits (a light drag would only re-shade).
        const QPointF c = orbitPixel();
        send(view, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseMove, c + QPointF(30, 0), Qt::NoButton, Qt::LeftButton);
        QTRY_VERIFY(view->renderer()->framesDrawn() > frames);
        QCOMPARE(first, oxViewerRenderer::InteractiveDownscale);
        send(view, QEvent::MouseButtonRelease, c + QPointF(30, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(window->waitForFrame());
        disconnect(record);
        QCOMPARE(view->renderer()->imageDownscale(), 1);
        QCOMPARE(view->renderer()->image().size(), view->size());
    }

    // File > Open: a mesh is read beside the event loop and added; a file that cannot be read
    // shows the command line's error in a message box, and the model stays as it was.
    void openModelAddsOrExplains()
    {
        const osg::NodePtr root = oxScenegraph::getRoot();
        const osg::UInt32 before = root->getNChildren();
        QTemporaryDir dir;
        QFile obj(dir.filePath("tri.obj"));
        QVERIFY(obj.open(QIODevice::WriteOnly));
        obj.write("v 0 0 30\nv 5 0 30\nv 0 5 30\nf 1 2 3\n");
        obj.close();
        window->openModel(obj.fileName());
        QCOMPARE(root->getNChildren(), before + 1);
        QCOMPARE(QString::fromStdString(root->getChild(before)->getName()), QString("tri.obj"));

        // The box comes after the reading; it is answered as soon as it shows.
        QString shown;
        QTimer answer;
        answerMessageBoxes(answer, shown);
        window->openModel(dir.filePath("missing.stl"));
        QVERIFY2(shown.startsWith("cannot read") && shown.contains("missing.stl"), qPrintable(shown));
        QCOMPARE(root->getNChildren(), before + 1);

        // A CAD file is read and triangulated on a thread: the window's timers keep running, and
        // the node keeps its exact surfaces.
        std::string error;
        const QString step = dir.filePath("sphere.step");
        QVERIFY2(oxCadImporter::writeSample("sphere", step.toStdString(), error), error.c_str());
        int ticks = 0;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        QTRY_VERIFY_WITH_TIMEOUT(view->renderer()->isIdle(), 30000); // the added mesh's frames
        tick.start();
        window->openModel(step);
        tick.stop();
        QVERIFY(ticks > 0);
        QCOMPARE(root->getNChildren(), before + 2);
        const osg::NodePtr cad = root->getChild(before + 1);
        QCOMPARE(QString::fromStdString(cad->getName()), QString("sphere.step"));
        QVERIFY(oxCadMesh::of(*osg::GeometryPtr::dcast(cad->getCore())) != nullptr);

        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        root->subChild(cad);
        root->subChild(root->getChild(before));
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    }

    // With the continuity display on, the joins piece's shared edges show over the view in the
    // colours of their classes.
    void continuityEdgesShowInTheView()
    {
        QTemporaryDir dir;
        std::string error;
        const QString step = dir.filePath("joins.step");
        QVERIFY2(oxCadImporter::writeSample("joins", step.toStdString(), error), error.c_str());
        // The sample sphere would hide the piece: the model is the piece alone for this test.
        const osg::NodePtr root = oxScenegraph::getRoot();
        std::vector<osg::NodePtr> model;
        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        while (root->getNChildren() > 0)
        {
            model.push_back(root->getChild(0));
            root->subChild(root->getChild(0));
        }
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
        window->openModel(step);
        const osg::NodePtr joins = root->getChild(root->getNChildren() - 1);
        window->showModel();
        QVERIFY(window->waitForFrame());
        auto redShare = [this]
        {
            const QImage image = view->renderer()->image();
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                {
                    const QRgb c = image.pixel(x, y);
                    n += qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
                }
            return double(n) / (image.width() * image.height());
        };
        const double before = redShare();
        oxRenderer::the().setShowContinuity(true);
        oxController::updateRender(false);
        QVERIFY(window->waitForFrame());
        const double shown = redShare();
        oxRenderer::the().setShowContinuity(false);
        oxController::updateRender(false);
        QVERIFY(window->waitForFrame());
        QVERIFY2(shown > before + 0.0003 && redShare() == before,
                 qPrintable(QString("%1 %2 %3").arg(before).arg(shown).arg(redShare())));

        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        root->subChild(joins);
        for (const osg::NodePtr& node : model)
            root->addChild(node);
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    }

    // A camera moved by a script (as navigation does) is a change the view draws.
    void cameraMovedElsewhereIsDrawn()
    {
        const int frames = view->renderer()->framesDrawn();
        QVERIFY(oxHostRender::frameScene(1.f));
        QVERIFY(window->waitForFrame());
        QVERIFY(view->renderer()->framesDrawn() > frames);
    }

    // Isophote stripes on the sphere: the window shows many dark and many light pixels in the view.
    void screenshotShowsTheAnalysis()
    {
        showAnalysis(0, 0);
        model->setIsoLineCount(12);
        model->setStripeThickness(0.5f);
        QVERIFY(window->waitForFrame());
        const QImage shot = window->grab().toImage();
        const QRect area(view->mapTo(window, QPoint(0, 0)), view->size());
        int dark = 0, light = 0, total = 0;
        for (int y = area.top(); y < area.bottom(); y += 2)
            for (int x = area.left(); x < area.right(); x += 2, ++total)
            {
                const int v =
                    qGray(shot.pixel(x * shot.width() / window->width(), y * shot.height() / window->height()));
                dark += v < 40;
                light += v > 215;
            }
        QVERIFY2(dark > total / 50 && light > total / 50,
                 qPrintable(QString("dark %1, light %2 of %3").arg(dark).arg(light).arg(total)));
    }

    // The view and an image file of the same state are one frame, overlays and legend included,
    // also when the host's downscale makes it coarse.
    void viewAndFileRenderAgree_data()
    {
        QTest::addColumn<unsigned>("analysis");
        QTest::addColumn<unsigned>("downscale");
        QTest::newRow("reflection lines and light visuals") << 1u << 1u;
        QTest::newRow("curvature and legend") << 3u << 1u;
        QTest::newRow("downscaled with light visuals") << 1u << 2u;
    }

    void viewAndFileRenderAgree()
    {
        QFETCH(unsigned, analysis);
        QFETCH(unsigned, downscale);
        showAnalysis(analysis, 1);
        oxOSGWidget::enableRaytracingDownscale(downscale > 1);
        oxOSGWidget::setRaytracingDownscaleFactor(downscale);
        view->renderer()->request(false);
        QVERIFY(window->waitForFrame());
        const QImage shown = view->renderer()->image();
        const QImage file = oxRenderer::the().renderView(shown.width(), shown.height());
        oxOSGWidget::enableRaytracingDownscale(0);
        oxOSGWidget::setRaytracingDownscaleFactor(1);
        QCOMPARE(file, shown);
    }

    // The report's several images of one view: oxHost.render with other settings traces the view
    // once, and each image equals a frame traced afresh.
    void renderingOneViewTwiceTracesOnce()
    {
        QTemporaryDir dir;
        std::string error;
        showAnalysis(0, 1);
        const std::string first = dir.filePath("first.png").toStdString();
        QVERIFY2(oxHostRender::render(first, 160, 100, error), error.c_str());
        const size_t traces = oxRenderer::the().traces();
        showAnalysis(1, 1);
        const std::string second = dir.filePath("second.png").toStdString();
        QVERIFY2(oxHostRender::render(second, 160, 100, error), error.c_str());
        QCOMPARE(oxRenderer::the().traces(), traces);
        std::vector<float> depth;
        const QImage traced = oxFrame::compose(oxFrame::request(160, 100, oxRenderer::DefaultFileSamples),
                                               oxRenderer::the().scene(), oxRaytracer(), depth);
        QCOMPARE(QImage(QString::fromStdString(second)).convertToFormat(QImage::Format_RGB32), traced);
    }

    // Random events over the window: no crash, and the history replays to the same record.
    void monkey()
    {
        showAnalysis(1, 1);
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        model->setLightSphereVisibility(true);
        model->setLightDirectionVisibility(true);
        oxUndoStack::get(0).clear();
        const QList<QVariant> start = recordState();
        QRandomGenerator random(20261207);
        const int keys[] = {Qt::Key_F, Qt::Key_1, Qt::Key_3, Qt::Key_7, Qt::Key_O, Qt::Key_Z, Qt::Key_Y};
        Qt::MouseButtons held = Qt::NoButton;
        QPointF at(view->width() / 2, view->height() / 2);
        for (int i = 0; i < 5000; ++i)
        {
            const int kind = random.bounded(100);
            const QPointF to(random.bounded(view->width()), random.bounded(view->height()));
            const Qt::MouseButton button = random.bounded(4) == 0 ? Qt::MiddleButton : Qt::LeftButton;
            if (kind < 50)
                send(view, QEvent::MouseMove, at = at + (to - at) * 0.2, Qt::NoButton, held);
            else if (kind < 62 && !(held & button))
            {
                send(view, QEvent::MouseButtonPress, at, button, held |= button,
                     random.bounded(5) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
            }
            else if (kind < 76 && held)
            {
                const Qt::MouseButton up = held & Qt::LeftButton ? Qt::LeftButton : Qt::MiddleButton;
                send(view, QEvent::MouseButtonRelease, at, up, held &= ~Qt::MouseButtons(up));
            }
            else if (kind < 82)
            {
                QWheelEvent wheel(at, view->mapToGlobal(at.toPoint()), QPoint(),
                                  QPoint(0, random.bounded(2) ? 120 : -120), held, Qt::NoModifier, Qt::NoScrollPhase,
                                  false);
                QApplication::sendEvent(view, &wheel);
            }
            else if (kind < 86 && !held)
                send(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
            else if (kind < 94 && !held)
            {
                const int key = keys[random.bounded(int(sizeof keys / sizeof *keys))];
                QTest::keyClick(window, Qt::Key(key),
                                key == Qt::Key_Z || key == Qt::Key_Y ? Qt::ControlModifier : Qt::NoModifier);
            }
            else if (!held)
                model->setPickNormal(!model->getPickNormal());
            if (i % 250 == 0)
                QCoreApplication::processEvents();
        }
        for (const Qt::MouseButton up : {Qt::LeftButton, Qt::MiddleButton})
            if (held & up)
                send(view, QEvent::MouseButtonRelease, at, up, held &= ~Qt::MouseButtons(up));
        QVERIFY(window->waitForFrame());

        QUndoStack* stack = oxUndoStack::get(0).undoStack();
        while (stack->canRedo())
            stack->redo();
        const QList<QVariant> end = recordState();
        while (stack->canUndo())
            stack->undo();
        QCOMPARE(recordState(), start);
        while (stack->canRedo())
            stack->redo();
        QCOMPARE(recordState(), end);
    }
};

QTEST_MAIN(tst_Viewer)
#include "tst_viewer.moc"
