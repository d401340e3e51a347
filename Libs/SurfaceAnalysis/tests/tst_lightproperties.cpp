#include "lighttestsupport.h"

#include "oxFieldBaseUndoCommand.h"

#include <QScopeGuard>

#include <cmath>
#include <functional>

typedef oxSurfaceAnalysisModel M;
using osg::Vec3f;

typedef std::function<void(M*)> Writer;
Q_DECLARE_METATYPE(Writer)

using namespace lighttest;

namespace
{
struct Frame
{
    Vec3f first, second, euler;
    bool operator==(const Frame& o) const { return first == o.first && second == o.second && euler == o.euler; }
};

Frame planeFrame()
{
    return {record()->getLightPlaneAxisU(), record()->getLightPlaneAxisV(), record()->getLightPlaneEulerRotation()};
}

Frame sphereFrame()
{
    return {record()->getLightSphereAxis(), record()->getLightSphereAxisUTangent(),
            record()->getLightSphereEulerRotation()};
}
} // namespace

class tst_LightProperties : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<osg::Vec3f>("osg::Vec3f");
        host.reset(new ModuleHost);
    }
    void init() { host->reset(); }
    void cleanupTestCase() { host.reset(); }

    void directionEditWithoutRecord();
    void directionEditKeepsOwnCopyAndNormalisesTheRecord_data();
    void directionEditKeepsOwnCopyAndNormalisesTheRecord();
    void rotationEditIsOneCompositeStep_data();
    void rotationEditIsOneCompositeStep();
    void rotationEditWithoutRecordRecordsNothing_data() { rotationRows(); }
    void rotationEditWithoutRecordRecordsNothing();
    void placementEditsMoveTheVisuals();
    void hidingALightRemovesItsContextInTheSameStep_data();
    void hidingALightRemovesItsContextInTheSameStep();
    void setToVectorAimsTheLightOfTheMode_data();
    void setToVectorAimsTheLightOfTheMode();
    void setToVectorWithoutRecordDoesNothing();
    void axesFollowTheAnglesAfterEveryWriter_data();
    void axesFollowTheAnglesAfterEveryWriter();
    void visualsFollowModeAndSwitches_data();
    void visualsFollowModeAndSwitches();
    void visualsKeepTheirSizeOnScreen_data();
    void visualsKeepTheirSizeOnScreen();
    void hugeLineCountIsStoredButDrawnCapped_data();
    void hugeLineCountIsStoredButDrawnCapped();

private:
    void rotationRows()
    {
        QTest::addColumn<bool>("sphere");
        QTest::newRow("plane") << false;
        QTest::newRow("sphere") << true;
    }
    void enterMode(unsigned int analysisMode, unsigned int reflectionMode, bool active = true)
    {
        host->model->setReflectionMode(reflectionMode);
        host->model->setAnalysisMode(analysisMode);
        if (active)
            host->model->setAnalysisActive(true);
    }

    std::unique_ptr<ModuleHost> host;
};

void tst_LightProperties::directionEditWithoutRecord()
{
    const Vec3f before = host->model->getLightDirection();
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QSignalSpy spy(host->model, SIGNAL(lightDirectionChanged(osg::Vec3f)));

    host->model->setLightDirection(Vec3f(0, 2, 0));
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), QString("LightDirection"));
    QCOMPARE(host->model->getLightDirection(), Vec3f(0, 2, 0));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Vec3f>(), Vec3f(0, 2, 0));

    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getLightDirection(), before);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<Vec3f>(), before);
}

void tst_LightProperties::directionEditKeepsOwnCopyAndNormalisesTheRecord_data()
{
    QTest::addColumn<Vec3f>("direction");
    QTest::addColumn<Vec3f>("stored");
    QTest::newRow("unit") << Vec3f(0, 1, 0) << Vec3f(0, 1, 0);
    QTest::newRow("non-unit") << Vec3f(0, 3, 4) << Vec3f(0, 0.6f, 0.8f);
    QTest::newRow("tiny, left as it is") << Vec3f(0, 5e-7f, 0) << Vec3f(0, 5e-7f, 0);
    QTest::newRow("zero") << Vec3f() << Vec3f();
}

void tst_LightProperties::directionEditKeepsOwnCopyAndNormalisesTheRecord()
{
    QFETCH(Vec3f, direction);
    QFETCH(Vec3f, stored);
    const Vec3f ownBefore = host->model->getLightDirection();
    const Vec3f recordBefore = record()->getLinearLightDirection();
    QSignalSpy spy(host->model, SIGNAL(lightDirectionChanged(osg::Vec3f)));

    host->model->setLightDirection(direction);
    QCOMPARE(host->model->getLightDirection(), direction);
    VERIFY_NEAR(record()->getLinearLightDirection(), stored);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), direction);

    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getLightDirection(), ownBefore);
    QCOMPARE(record()->getLinearLightDirection(), recordBefore);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), ownBefore);

    oxUndoStack::get(0).redo();
    QCOMPARE(host->model->getLightDirection(), direction);
    VERIFY_NEAR(record()->getLinearLightDirection(), stored);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), direction);
}

void tst_LightProperties::rotationEditIsOneCompositeStep_data()
{
    QTest::addColumn<bool>("sphere");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<osg::UInt32>>("fields");
    QTest::newRow("plane") << false << "LightPlaneRotation"
                           << QList<osg::UInt32>{Record::LightPlaneAxisUFieldId, Record::LightPlaneAxisVFieldId,
                                                 Record::LightPlaneEulerRotationFieldId};
    QTest::newRow("sphere") << true << "LightSphereRotation"
                            << QList<osg::UInt32>{Record::LightSphereAxisFieldId,
                                                  Record::LightSphereAxisUTangentFieldId,
                                                  Record::LightSphereEulerRotationFieldId};
}

void tst_LightProperties::rotationEditIsOneCompositeStep()
{
    QFETCH(bool, sphere);
    QFETCH(QString, text);
    QFETCH(QList<osg::UInt32>, fields);
    const Vec3f euler(30, 45, 60);
    const auto frame = sphere ? sphereFrame : planeFrame;
    const Frame before = frame();
    const char* signal =
        sphere ? SIGNAL(lightSphereRotationChanged(osg::Vec3f)) : SIGNAL(lightPlaneRotationChanged(osg::Vec3f));
    QSignalSpy spy(host->model, signal);
    // The slot runs once all three fields are written.
    QList<bool> consistentInSlot;
    QObject watcher; // the connection ends with it
    connect(host->model, sphere ? &M::lightSphereRotationChanged : &M::lightPlaneRotationChanged, &watcher,
            [&] { consistentInSlot << framesAgreeWithTheirAngles(); });
    QList<osg::UInt32> written;
    const int hook = oxFieldBaseUndoCommand::addNotifyHook([&](osg::UInt32, osg::UInt32 fieldId, osg::BitVector)
                                                           { written << fieldId; });
    const auto unhook = qScopeGuard([hook] { oxFieldBaseUndoCommand::removeNotifyHook(hook); });

    if (sphere)
        host->model->setLightSphereRotation(euler);
    else
        host->model->setLightPlaneRotation(euler);

    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), text);
    QCOMPARE(written, fields);
    QCOMPARE(frame().euler, euler);
    QVERIFY(framesAgreeWithTheirAngles());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Vec3f>(), euler);

    written.clear();
    oxUndoStack::get(0).undo();
    QCOMPARE(written, (QList<osg::UInt32>{fields[2], fields[1], fields[0]}));
    QVERIFY(frame() == before);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<Vec3f>(), before.euler);

    oxUndoStack::get(0).redo();
    QCOMPARE(frame().euler, euler);
    QVERIFY(framesAgreeWithTheirAngles());
    QCOMPARE(consistentInSlot, (QList<bool>{true, true, true}));
    disconnect(host->model, nullptr, &watcher, nullptr);

    // A record removed under the edit: the slot still runs and signals what there is to read.
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    oxUndoStack::get(0).undo();
    QCOMPARE(spy.count(), 4);
    QCOMPARE(spy.at(3).at(0).value<Vec3f>(), Vec3f());
}

void tst_LightProperties::rotationEditWithoutRecordRecordsNothing()
{
    QFETCH(bool, sphere);
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QSignalSpy plane(host->model, SIGNAL(lightPlaneRotationChanged(osg::Vec3f)));
    QSignalSpy sphereSpy(host->model, SIGNAL(lightSphereRotationChanged(osg::Vec3f)));
    if (sphere)
        host->model->setLightSphereRotation(Vec3f(1, 2, 3));
    else
        host->model->setLightPlaneRotation(Vec3f(1, 2, 3));
    QCOMPARE(oxUndoStack::get(0).count(), 0);
    QCOMPARE(plane.count() + sphereSpy.count(), 0);
}

// The placement is applied to the visuals also while they are hidden.
void tst_LightProperties::placementEditsMoveTheVisuals()
{
    QVERIFY(!Access::lightPlane().isVisible());
    host->model->setLightPlaneOrigin(Vec3f(1, 2, 3));
    host->model->setLightPlaneRotation(Vec3f(10, 20, 30));
    host->model->setLightSphereRotation(Vec3f(40, 50, 60));
    host->model->setLightDirection(Vec3f(0, 0, 3));

    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getTranslation(), Vec3f(1, 2, 3));
    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getEulerRotation(), Vec3f(10, 20, 30));
    QCOMPARE(Access::lightSphere().getRotation(), Vec3f(40, 50, 60));
    const osg::Quaternion arrow = Access::lightDirectionHandle().getRotation();
    VERIFY_NEAR(Vec3f(arrow.x(), arrow.y(), arrow.z()), Vec3f(0, -std::sqrt(0.5f), 0));

    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getEulerRotation(), Vec3f());
}

void tst_LightProperties::hidingALightRemovesItsContextInTheSameStep_data()
{
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<QString>("light");
    QTest::newRow("plane") << Reflection << Parallel << "plane";
    QTest::newRow("sphere") << Reflection << Spherical << "sphere";
    QTest::newRow("direction") << Isophotes << Spherical << "direction";
}

void tst_LightProperties::hidingALightRemovesItsContextInTheSameStep()
{
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(QString, light);
    struct Light
    {
        void (M::*set)(bool);
        void (M::*changed)(bool);
        oxk::interaction::AbstractInteractionContext* context;
        std::function<bool()> visible;
    };
    const std::map<QString, Light> lights = {
        {"plane",
         {&M::setLightPlaneVisibility, &M::lightPlaneVisibilityChanged, &Access::lightPlaneContext(),
          [] { return Access::lightPlane().isVisible(); }}},
        {"sphere",
         {&M::setLightSphereVisibility, &M::lightSphereVisibilityChanged, &Access::lightSphereContext(),
          [] { return Access::lightSphere().isVisible(); }}},
        {"direction",
         {&M::setLightDirectionVisibility, &M::lightDirectionVisibilityChanged, &Access::lightDirectionContext(),
          [] { return Access::lightDirectionHandle().isVisible(); }}},
    };
    const Light& l = lights.at(light);
    M* m = host->model;
    enterMode(analysisMode, reflectionMode);
    (m->*l.set)(true);
    QVERIFY(contextAdded(l.context));
    QVERIFY(l.visible());

    // By the time the signal arrives the light has left the view and the interaction.
    QList<QPair<bool, bool>> seen; // (value, shown and live)
    QObject watcher;
    connect(m, l.changed, &watcher,
            [&](bool value) { seen << qMakePair(value, contextAdded(l.context) && l.visible()); });
    const int steps = oxUndoStack::get(0).count();
    (m->*l.set)(false);
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QVERIFY(!contextAdded(l.context));
    QVERIFY(!l.visible());

    oxUndoStack::get(0).undo();
    QVERIFY(contextAdded(l.context));
    QVERIFY(l.visible());
    QCOMPARE(seen, (QList<QPair<bool, bool>>{{false, false}, {true, true}}));
}

void tst_LightProperties::setToVectorAimsTheLightOfTheMode_data()
{
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<Vec3f>("v");
    QTest::addColumn<QString>("step"); // the undo text, empty when nothing is recorded
    QTest::newRow("isophotes aim the direction") << Isophotes << Parallel << Vec3f(0, 0, 2) << "LightDirection";
    QTest::newRow("spherical aims the sphere axis")
        << Reflection << Spherical << Vec3f(0, 3, 0) << "LightSphereRotation";
    QTest::newRow("spherical along +X is no turn") << 2u << Spherical << Vec3f(1, 0, 0) << "LightSphereRotation";
    QTest::newRow("parallel lines are not aimed") << Reflection << Parallel << Vec3f(0, 1, 0) << "";
    QTest::newRow("other reflection modes neither") << Reflection << 2u << Vec3f(0, 1, 0) << "";
    QTest::newRow("curvature has no light") << Curvature << Spherical << Vec3f(0, 1, 0) << "";
}

void tst_LightProperties::setToVectorAimsTheLightOfTheMode()
{
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(Vec3f, v);
    QFETCH(QString, step);
    enterMode(analysisMode, reflectionMode, false);
    const int steps = oxUndoStack::get(0).count();
    const Vec3f direction = host->model->getLightDirection();
    const Frame sphere = sphereFrame();

    host->model->setToVector(v);

    if (step.isEmpty())
    {
        QCOMPARE(oxUndoStack::get(0).count(), steps);
        QCOMPARE(host->model->getLightDirection(), direction);
        QVERIFY(sphereFrame() == sphere);
        return;
    }
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QCOMPARE(oxUndoStack::get(0).text(steps), step);
    if (step == "LightDirection")
    {
        QCOMPARE(host->model->getLightDirection(), v);
        QVERIFY(sphereFrame() == sphere);
        return;
    }
    QCOMPARE(host->model->getLightDirection(), direction);
    VERIFY_NEAR(record()->getLightSphereAxis(), normalised(v));
    if (v == Vec3f(1, 0, 0))
        QCOMPARE(record()->getLightSphereEulerRotation(), Vec3f());
    QVERIFY(framesAgreeWithTheirAngles());
}

void tst_LightProperties::setToVectorWithoutRecordDoesNothing()
{
    const Vec3f direction = host->model->getLightDirection();
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    host->model->setToVector(Vec3f(0, 1, 0));
    QCOMPARE(oxUndoStack::get(0).count(), 0);
    QCOMPARE(host->model->getLightDirection(), direction);
}

void tst_LightProperties::axesFollowTheAnglesAfterEveryWriter_data()
{
    QTest::addColumn<Writer>("write");
    QTest::newRow("plane rotation") << Writer([](M* m) { m->setLightPlaneRotation(Vec3f(1, 2, 3)); });
    QTest::newRow("sphere rotation") << Writer([](M* m) { m->setLightSphereRotation(Vec3f(170, -80, 95)); });
    QTest::newRow("undo and redo") << Writer(
        [](M* m)
        {
            m->setLightPlaneRotation(Vec3f(0, 90, 0));
            m->setLightSphereRotation(Vec3f(0, 90, 0));
            oxUndoStack::get(0).undo();
            oxUndoStack::get(0).undo();
            oxUndoStack::get(0).redo();
        });
    QTest::newRow("setToVector") << Writer(
        [](M* m)
        {
            m->setAnalysisMode(1);
            m->setToVector(Vec3f(-0.3f, 0.2f, 5));
        });
    QTest::newRow("sphere update after a direct record edit") << Writer(
        [](M* m)
        {
            // The sphere's update re-derives its axes from its angles.
            record()->setLightSphereAxis(Vec3f(9, 9, 9));
            m->setLightSphereVisibility(true);
        });
    QTest::newRow("default load") << Writer([](M*) { Access::setDefault(); });
}

void tst_LightProperties::axesFollowTheAnglesAfterEveryWriter()
{
    QFETCH(Writer, write);
    write(host->model);
    QVERIFY(framesAgreeWithTheirAngles());
}

void tst_LightProperties::visualsFollowModeAndSwitches_data()
{
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("planeVisible");
    QTest::addColumn<bool>("sphereVisible");
    QTest::addColumn<bool>("directionVisible");
    QTest::addColumn<bool>("activateFirst");
    QTest::addColumn<QString>("shown"); // 'P'lane, 'S'phere, 'D'irection

    struct Row
    {
        const char* name;
        unsigned int analysisMode, reflectionMode;
        bool active, plane, sphere, direction;
        const char* shown;
    };
    const Row rows[] = {
        {"isophotes", Isophotes, Spherical, true, true, true, true, "D"},
        {"isophotes, arrow hidden", Isophotes, Parallel, true, true, true, false, ""},
        {"parallel lines", Reflection, Parallel, true, true, true, true, "P"},
        {"parallel lines in reflection mode 2", 2, Parallel, true, true, false, false, "P"},
        {"parallel lines, plane hidden", Reflection, Parallel, true, false, true, true, ""},
        {"spherical", Reflection, Spherical, true, true, true, true, "S"},
        {"spherical, sphere hidden", Reflection, Spherical, true, true, false, true, ""},
        {"unknown reflection mode", Reflection, 2, true, true, true, true, ""},
        {"curvature", Curvature, Spherical, true, true, true, true, ""},
        {"analysis off", Reflection, Parallel, false, true, true, true, ""},
    };
    for (const Row& r : rows)
        for (bool first : {true, false})
            QTest::addRow("%s, %s", r.name, first ? "switched on first" : "switched on last")
                << r.analysisMode << r.reflectionMode << r.active << r.plane << r.sphere << r.direction << first
                << r.shown;
}

void tst_LightProperties::visualsFollowModeAndSwitches()
{
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(bool, active);
    QFETCH(bool, planeVisible);
    QFETCH(bool, sphereVisible);
    QFETCH(bool, directionVisible);
    QFETCH(bool, activateFirst);
    QFETCH(QString, shown);
    M* m = host->model;
    if (activateFirst)
        m->setAnalysisActive(active);
    m->setLightPlaneVisibility(planeVisible);
    m->setLightSphereVisibility(sphereVisible);
    m->setLightDirectionVisibility(directionVisible);
    m->setReflectionMode(reflectionMode);
    m->setAnalysisMode(analysisMode);
    if (!activateFirst)
        m->setAnalysisActive(active);

    QCOMPARE(Access::lightPlane().isVisible(), shown.contains('P'));
    QCOMPARE(contextAdded(&Access::lightPlaneContext()), shown.contains('P'));
    QCOMPARE(Access::lightSphere().isVisible(), shown.contains('S'));
    QCOMPARE(contextAdded(&Access::lightSphereContext()), shown.contains('S'));
    QCOMPARE(Access::lightDirectionHandle().isVisible(), shown.contains('D'));
    QCOMPARE(contextAdded(&Access::lightDirectionContext()), shown.contains('D'));
}

void tst_LightProperties::visualsKeepTheirSizeOnScreen_data()
{
    QTest::addColumn<bool>("widget");
    QTest::addColumn<bool>("orthographic");
    QTest::addColumn<float>("referenceLength");
    QTest::addColumn<float>("nearPlaneDiagonal");
    QTest::addColumn<Vec3f>("from");
    QTest::addColumn<float>("fov");
    QTest::addColumn<float>("sphereScale");
    QTest::addColumn<float>("arrowScale");

    // Perspective: min(length × 0.049, |p| × fov / 200) for the sphere, min(length × 0.025,
    // |t - p| × fov / 600) for the arrow; the length is 100 without a widget.
    QTest::newRow("far camera") << true << false << 100.f << 0.f << Vec3f(0, 0, 100) << 45.f << 4.9f << 2.5f;
    QTest::newRow("near camera") << true << false << 100.f << 0.f << Vec3f(0, 0, 10) << 45.f << 2.25f << 0.75f;
    QTest::newRow("small scene") << true << false << 20.f << 0.f << Vec3f(0, 0, 100) << 45.f << 0.98f << 0.5f;
    QTest::newRow("no widget, near") << false << false << 20.f << 0.f << Vec3f(0, 3, 4) << 40.f << 1.f << 1 / 3.f;
    QTest::newRow("no widget, far") << false << false << 20.f << 0.f << Vec3f(0, 0, 1000) << 45.f << 4.9f << 2.5f;
    // Orthographic: the near-plane diagonal / 20 instead of the distance.
    QTest::newRow("orthographic") << true << true << 100.f << 40.f << Vec3f(0, 0, 50) << 45.f << 2.f << 2.f;
    QTest::newRow("orthographic, small scene")
        << true << true << 10.f << 400.f << Vec3f(0, 0, 50) << 45.f << 0.49f << 0.25f;
}

void tst_LightProperties::visualsKeepTheirSizeOnScreen()
{
    QFETCH(bool, widget);
    QFETCH(bool, orthographic);
    QFETCH(float, referenceLength);
    QFETCH(float, nearPlaneDiagonal);
    QFETCH(Vec3f, from);
    QFETCH(float, fov);
    QFETCH(float, sphereScale);
    QFETCH(float, arrowScale);
    osg::UberCameraPtr camera = host->widget->getUberCamera();
    const auto restore = qScopeGuard(
        [camera]
        {
            camera->setOrthographic(false);
            camera->setReferenceLength(100.f);
        });
    QCOMPARE(transformCore(Access::lightDirectionHandle().getTransformNode())->getTranslation(), Vec3f());
    oxMessage msg;
    // Leave the cached view first: an unchanged view is not rescaled.
    oxOSGWidget::setCamera(osg::Pnt3f(0, 0, 12345), 33.f);
    oxController::raiseCB("updateFOV", msg);

    camera->setOrthographic(orthographic);
    camera->setReferenceLength(referenceLength);
    camera->setNearPlaneDiagonal(nearPlaneDiagonal);
    if (!widget)
        oxOSGWidget::setMGLW(nullptr);
    oxOSGWidget::setCamera(osg::Pnt3f(from), fov);
    QCOMPARE(oxController::raiseCB("updateFOV", msg), 1);

    const Vec3f sphere = transformCore(Access::lightSphere().getTransformNode())->getScale();
    const Vec3f arrow = transformCore(Access::lightDirectionHandle().getTransformNode())->getScale();
    VERIFY_NEAR(sphere, Vec3f(sphereScale, sphereScale, sphereScale));
    VERIFY_NEAR(arrow, Vec3f(arrowScale, arrowScale, arrowScale));
}

void tst_LightProperties::hugeLineCountIsStoredButDrawnCapped_data()
{
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::newRow("parallel lines") << Parallel;
    QTest::newRow("spherical lights") << Spherical;
}

// A script's -1 arrives as 2^32 - 1: the record keeps it, the visuals draw their maximum.
void tst_LightProperties::hugeLineCountIsStoredButDrawnCapped()
{
    QFETCH(unsigned int, reflectionMode);
    enterMode(Reflection, reflectionMode);
    QSignalSpy spy(host->model, SIGNAL(isoLineCountChanged(uint)));

    host->model->setIsoLineCount(4294967295u);
    QCOMPARE(record()->getIsolines(), 4294967295u);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toUInt(), 4294967295u);
    if (reflectionMode == Parallel)
    {
        QVERIFY(Access::lightPlane().isVisible());
        QCOMPARE(Access::lightPlane().getLinesGeometry()->getPositions()->size(), 2 * oxSALightPlane::MaxLines);
    }
    else
    {
        QVERIFY(Access::lightSphere().isVisible());
        QCOMPARE(Access::lightSphere().getRingsNode()->getNChildren(), oxSALightSphere::MaxRings + 1);
    }

    // A later refresh of the visuals, as after a load, keeps the cap.
    host->model->setLightSphereVisibility(true);
    host->model->setStripeColor(Vec3f(1, 0, 0));
    if (reflectionMode == Parallel)
        QCOMPARE(Access::lightPlane().getLinesGeometry()->getPositions()->size(), 2 * oxSALightPlane::MaxLines);
    else
        QCOMPARE(Access::lightSphere().getRingsNode()->getNChildren(), oxSALightSphere::MaxRings + 1);

    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    QCOMPARE(record()->getIsolines(), 16u);
    if (reflectionMode == Parallel)
        QCOMPARE(Access::lightPlane().getLinesGeometry()->getPositions()->size(), 32u);
    else
        QCOMPARE(Access::lightSphere().getRingsNode()->getNChildren(), 17u);
}

QTEST_MAIN(tst_LightProperties)
#include "tst_lightproperties.moc"
