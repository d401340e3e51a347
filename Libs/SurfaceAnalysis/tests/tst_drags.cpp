#include "lighttestsupport.h"

#include "InteractionEvent.h"

#include <functional>
#include <map>

typedef oxSurfaceAnalysisModel M;
typedef oxk::manipulator::UniversalTransformManipulator2 Manipulator;
typedef std::vector<Manipulator::DragStep> Steps;
using osg::Vec3f;
Q_DECLARE_METATYPE(Steps)

using namespace lighttest;

namespace
{
// A light visual with everything a drag of it may change.
struct Light
{
    unsigned int analysisMode, reflectionMode;
    void (M::*setVisibility)(bool);
    Manipulator& (*manipulator)();
    oxSurfaceAnalysisManipulatorContext& (*context)();
    bool (*dragging)();
    bool (*visible)();
    void (M::*liveSignal)(osg::Vec3f);
    QString undoText;
    std::function<QList<Vec3f>()> state;
};

const std::map<QString, Light>& lights()
{
    static const std::map<QString, Light> table = {
        {"plane",
         {Reflection, Parallel, &M::setLightPlaneVisibility, &Access::lightPlaneManipulator, &Access::lightPlaneContext,
          &Access::lightPlaneDragging, [] { return Access::lightPlane().isVisible(); }, &M::lightPlaneRotationChanged,
          "manipulatorStop",
          []
          {
              return QList<Vec3f>{record()->getLightPlaneOrigin(), record()->getLightPlaneEulerRotation(),
                                  record()->getLightPlaneAxisU(), record()->getLightPlaneAxisV()};
          }}},
        {"direction",
         {Isophotes, Spherical, &M::setLightDirectionVisibility, &Access::lightDirectionManipulator,
          &Access::lightDirectionContext, &Access::lightDirectionDragging,
          [] { return Access::lightDirectionHandle().isVisible(); }, &M::lightDirectionChanged, "LightDirection",
          [] {
              return QList<Vec3f>{M::the()->getLightDirection(), record()->getLinearLightDirection()};
          }}},
        {"sphere",
         {Reflection, Spherical, &M::setLightSphereVisibility, &Access::lightSphereManipulator,
          &Access::lightSphereContext, &Access::lightSphereDragging, [] { return Access::lightSphere().isVisible(); },
          &M::lightSphereRotationChanged, "LightSphereRotation",
          []
          {
              return QList<Vec3f>{record()->getLightSphereEulerRotation(), record()->getLightSphereAxis(),
                                  record()->getLightSphereAxisUTangent()};
          }}},
    };
    return table;
}

// Where the manipulator's node stands now, as a drag step.
Manipulator::DragStep here(Manipulator& manipulator)
{
    osg::Transform3DPtr c = transformCore(manipulator.getNode());
    return {c->getTranslation(), c->getEulerRotation()};
}

bool send(oxSurfaceAnalysisManipulatorContext& context, const char* name)
{
    return context.triggerEvent(oxk::interaction::InteractionManager::getInstance(),
                                oxk::interaction::InteractionEvent(name));
}
} // namespace

class tst_Drags : public QObject
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

    void planeDragFollowsLive();
    void directionDragFollowsLive();
    void sphereDragFollowsLive();
    void dragIsOneUndoStep_data();
    void dragIsOneUndoStep();
    void dragEndingWhereItStartedRecordsOneStep_data() { lightRows(); }
    void dragEndingWhereItStartedRecordsOneStep();
    void planeStepWithinToleranceWritesNothing();
    void stopWithoutDragDoesNothing_data() { lightRows(); }
    void stopWithoutDragDoesNothing();
    void dragSurvivesItsContextBeingRemoved_data() { lightRows(); }
    void dragSurvivesItsContextBeingRemoved();
    void recordGoneMidDrag_data();
    void recordGoneMidDrag();
    void dragReachesTheLightOnlyWhileItsContextIsAdded_data();
    void dragReachesTheLightOnlyWhileItsContextIsAdded();

private:
    void lightRows()
    {
        QTest::addColumn<QString>("light");
        for (const auto& entry : lights())
            QTest::newRow(qPrintable(entry.first)) << entry.first;
    }
    // The light's mode, shown, the analysis on: its context is added.
    void arm(const Light& light)
    {
        host->model->setReflectionMode(light.reflectionMode);
        host->model->setAnalysisMode(light.analysisMode);
        (host->model->*light.setVisibility)(true);
        host->model->setAnalysisActive(true);
    }

    std::unique_ptr<ModuleHost> host;
};

void tst_Drags::planeDragFollowsLive()
{
    arm(lights().at("plane"));
    QVERIFY(contextAdded(&Access::lightPlaneContext()));
    QSignalSpy rotation(host->model, SIGNAL(lightPlaneRotationChanged(osg::Vec3f)));
    QSignalSpy origin(host->model, SIGNAL(lightPlaneOriginChanged(osg::Vec3f)));
    QList<QList<Vec3f>> live;
    QObject watcher; // the connection ends with it
    connect(
        host->model, &M::lightPlaneRotationChanged, &watcher,
        [&](const Vec3f& euler)
        {
            QVERIFY(framesAgreeWithTheirAngles());
            if (Access::lightPlaneDragging())
                live << QList<Vec3f>{euler, record()->getLightPlaneOrigin(), record()->getLightPlaneEulerRotation()};
        });
    const int steps = oxUndoStack::get(0).count();

    QVERIFY(
        Access::lightPlaneManipulator().drag({{Vec3f(1, 2, 3), Vec3f(10, 0, 0)}, {Vec3f(4, 5, 6), Vec3f(20, 30, 40)}}));

    // "start" moved nothing; each step wrote the record and refreshed through the rotation only.
    QCOMPARE(live, (QList<QList<Vec3f>>{{Vec3f(10, 0, 0), Vec3f(1, 2, 3), Vec3f(10, 0, 0)},
                                        {Vec3f(20, 30, 40), Vec3f(4, 5, 6), Vec3f(20, 30, 40)}}));
    QCOMPARE(rotation.count(), 3);
    QCOMPARE(origin.count(), 1);
    QCOMPARE(origin.at(0).at(0).value<Vec3f>(), Vec3f(4, 5, 6));
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QCOMPARE(oxUndoStack::get(0).text(steps), QString("manipulatorStop"));
    QCOMPARE(record()->getLightPlaneOrigin(), Vec3f(4, 5, 6));
    QCOMPARE(record()->getLightPlaneEulerRotation(), Vec3f(20, 30, 40));
    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getTranslation(), Vec3f(4, 5, 6));
    QVERIFY(!Access::lightPlaneDragging());
}

void tst_Drags::directionDragFollowsLive()
{
    arm(lights().at("direction"));
    const Vec3f own = host->model->getLightDirection();
    QSignalSpy spy(host->model, SIGNAL(lightDirectionChanged(osg::Vec3f)));
    QList<QList<Vec3f>> live;
    QObject watcher; // the connection ends with it
    connect(host->model, &M::lightDirectionChanged, &watcher,
            [&](const Vec3f& d)
            {
                if (Access::lightDirectionDragging())
                    live << QList<Vec3f>{d, record()->getLinearLightDirection(), host->model->getLightDirection()};
            });
    const int steps = oxUndoStack::get(0).count();

    // The arrow lies along its local X axis: a quarter turn about Z aims it along +Y, about Y along +Z.
    QVERIFY(Access::lightDirectionManipulator().drag(
        {{Vec3f(3, 0, 0), Vec3f(0, 0, 90)}, {Vec3f(3, 0, 0), Vec3f(0, -90, 0)}}));

    QCOMPARE(live.size(), 3);
    const Vec3f expected[] = {normalised(own), Vec3f(0, 1, 0), Vec3f(0, 0, 1)};
    for (int i = 0; i < 3; ++i)
    {
        VERIFY_NEAR(live[i][0], expected[i]);
        QCOMPARE(live[i][1], live[i][0]);
        QCOMPARE(live[i][2], own); // a drag leaves the model's own copy alone until it ends
    }
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QCOMPARE(oxUndoStack::get(0).text(steps), QString("LightDirection"));
    VERIFY_NEAR(host->model->getLightDirection(), Vec3f(0, 0, 1));
    VERIFY_NEAR(record()->getLinearLightDirection(), Vec3f(0, 0, 1));
    VERIFY_NEAR(spy.last().at(0).value<Vec3f>(), Vec3f(0, 0, 1));
    // Where the user left the arrow is a viewing aid only.
    QCOMPARE(transformCore(Access::lightDirectionHandle().getTransformNode())->getTranslation(), Vec3f(3, 0, 0));

    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getLightDirection(), own);
    QCOMPARE(record()->getLinearLightDirection(), normalised(own));
    QCOMPARE(spy.last().at(0).value<Vec3f>(), own);
}

void tst_Drags::sphereDragFollowsLive()
{
    arm(lights().at("sphere"));
    const Vec3f start = record()->getLightSphereEulerRotation();
    QSignalSpy spy(host->model, SIGNAL(lightSphereRotationChanged(osg::Vec3f)));
    QList<Vec3f> live;
    QObject watcher; // the connection ends with it
    connect(host->model, &M::lightSphereRotationChanged, &watcher,
            [&](const Vec3f& euler)
            {
                QVERIFY(framesAgreeWithTheirAngles());
                if (Access::lightSphereDragging())
                    live << euler << record()->getLightSphereEulerRotation();
            });
    const int steps = oxUndoStack::get(0).count();

    QVERIFY(Access::lightSphereManipulator().drag(
        {{Vec3f(7, 7, 7), Vec3f(10, 20, 30)}, {Vec3f(0, 0, 0), Vec3f(40, 50, 60)}}));

    QCOMPARE(live,
             (QList<Vec3f>{start, start, Vec3f(10, 20, 30), Vec3f(10, 20, 30), Vec3f(40, 50, 60), Vec3f(40, 50, 60)}));
    QCOMPARE(spy.count(), 4);
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QCOMPARE(oxUndoStack::get(0).text(steps), QString("LightSphereRotation"));
    QCOMPARE(record()->getLightSphereEulerRotation(), Vec3f(40, 50, 60));
    // The sphere only turns about the world origin.
    QCOMPARE(transformCore(Access::lightSphere().getTransformNode())->getTranslation(), Vec3f());
}

void tst_Drags::dragIsOneUndoStep_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<Steps>("steps");
    QTest::newRow("plane") << "plane"
                           << Steps{{Vec3f(1, 0, 0), Vec3f(0, 0, 5)},
                                    {Vec3f(-2, 8, 1), Vec3f(90, -45, 170)},
                                    {Vec3f(3, 3, 3), Vec3f(-30, 60, 10)}};
    QTest::newRow("plane, rotation only") << "plane" << Steps{{Vec3f(), Vec3f(0, 90, 0)}};
    QTest::newRow("direction") << "direction"
                               << Steps{{Vec3f(), Vec3f(0, 30, 30)}, {Vec3f(2, 2, 2), Vec3f(0, -60, 200)}};
    QTest::newRow("sphere") << "sphere" << Steps{{Vec3f(), Vec3f(5, 5, 5)}, {Vec3f(), Vec3f(100, -20, 75)}};
}

void tst_Drags::dragIsOneUndoStep()
{
    QFETCH(QString, light);
    QFETCH(Steps, steps);
    const Light& l = lights().at(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    const int count = oxUndoStack::get(0).count();

    QVERIFY(l.manipulator().drag(steps));
    const QList<Vec3f> after = l.state();
    QVERIFY(after != before);
    QCOMPARE(oxUndoStack::get(0).count(), count + 1);
    QCOMPARE(oxUndoStack::get(0).text(count), l.undoText);
    QVERIFY(framesAgreeWithTheirAngles());

    oxUndoStack::get(0).undo();
    QCOMPARE(l.state(), before);
    QVERIFY(framesAgreeWithTheirAngles());

    oxUndoStack::get(0).redo();
    QCOMPARE(l.state(), after);
    QVERIFY(framesAgreeWithTheirAngles());
}

// The end of a drag does not compare: even a drag back to the start is a step.
void tst_Drags::dragEndingWhereItStartedRecordsOneStep()
{
    QFETCH(QString, light);
    const Light& l = lights().at(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    const int count = oxUndoStack::get(0).count();
    const Manipulator::DragStep start = here(l.manipulator());

    QVERIFY(l.manipulator().drag({{start.first + Vec3f(1, 1, 1), start.second + Vec3f(0, 10, 10)}, start}));
    QCOMPARE(oxUndoStack::get(0).count(), count + 1);
    QCOMPARE(oxUndoStack::get(0).text(count), l.undoText);
    for (int i = 0; i < before.size(); ++i)
        VERIFY_NEAR(l.state()[i], light == "direction" ? normalised(before[i]) : before[i]);

    oxUndoStack::get(0).undo();
    QCOMPARE(l.state(), before);
}

void tst_Drags::planeStepWithinToleranceWritesNothing()
{
    arm(lights().at("plane"));
    oxSurfaceAnalysisManipulatorContext& context = Access::lightPlaneContext();
    osg::Transform3DPtr c = transformCore(Access::lightPlane().getTransformNode());
    const Vec3f origin = record()->getLightPlaneOrigin();
    const Vec3f euler = record()->getLightPlaneEulerRotation();
    QSignalSpy rotation(host->model, SIGNAL(lightPlaneRotationChanged(osg::Vec3f)));
    QSignalSpy moved(host->model, SIGNAL(lightPlaneOriginChanged(osg::Vec3f)));
    const osg::UInt64 changes = record()->getChangeCount();

    c->setTranslation(origin + Vec3f(9e-7f, -9e-7f, 0));
    c->setRotationAsEuler(euler + Vec3f(0, 0, 9e-7f));
    QVERIFY(send(context, "drag"));
    QVERIFY(Access::lightPlaneDragging());
    QCOMPARE(record()->getChangeCount(), changes);
    QCOMPARE(record()->getLightPlaneOrigin(), origin);
    QCOMPARE(rotation.count() + moved.count(), 0);

    // One step further is beyond the tolerance.
    c->setTranslation(origin + Vec3f(2e-6f, 0, 0));
    QVERIFY(send(context, "drag"));
    QCOMPARE(record()->getLightPlaneOrigin(), origin + Vec3f(2e-6f, 0, 0));
    QCOMPARE(rotation.count(), 1);
    QVERIFY(send(context, "stop"));
    QCOMPARE(oxUndoStack::get(0).text(oxUndoStack::get(0).count() - 1), QString("manipulatorStop"));
}

void tst_Drags::stopWithoutDragDoesNothing()
{
    QFETCH(QString, light);
    const Light& l = lights().at(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    const int count = oxUndoStack::get(0).count();
    const osg::UInt64 changes = record()->getChangeCount();
    QSignalSpy spy(host->model, SIGNAL(lightDirectionChanged(osg::Vec3f)));
    QSignalSpy plane(host->model, SIGNAL(lightPlaneRotationChanged(osg::Vec3f)));
    QSignalSpy sphere(host->model, SIGNAL(lightSphereRotationChanged(osg::Vec3f)));

    // Moved by someone else, then only the end of a drag arrives.
    transformCore(l.manipulator().getNode())->setRotationAsEuler(Vec3f(0, 45, 45));
    QVERIFY(send(l.context(), "stop"));

    QCOMPARE(oxUndoStack::get(0).count(), count);
    QCOMPARE(l.state(), before);
    QCOMPARE(record()->getChangeCount(), changes);
    QCOMPARE(spy.count() + plane.count() + sphere.count(), 0);
    QVERIFY(!l.dragging());
}

// A drag cut off by its context leaving keeps its start; the next event carries it on.
void tst_Drags::dragSurvivesItsContextBeingRemoved()
{
    QFETCH(QString, light);
    const Light& l = lights().at(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    bool switchedOff = false;
    QObject watcher;
    connect(host->model, l.liveSignal, &watcher,
            [&]
            {
                if (!switchedOff && l.dragging())
                {
                    switchedOff = true;
                    host->model->setAnalysisActive(false);
                }
            });
    const Manipulator::DragStep start = here(l.manipulator());
    QVERIFY(l.manipulator().drag({{start.first, start.second + Vec3f(0, 20, 20)},
                                  {start.first + Vec3f(1, 0, 0), start.second + Vec3f(0, 30, 30)}}));
    disconnect(host->model, nullptr, &watcher, nullptr);

    QVERIFY(switchedOff);
    QVERIFY(!contextAdded(&l.context()));
    QVERIFY(!l.visible());
    QVERIFY(l.dragging());
    const int count = oxUndoStack::get(0).count();
    QCOMPARE(oxUndoStack::get(0).text(count - 1), QString("AnalysisActive"));

    host->model->setAnalysisActive(true);
    QVERIFY(contextAdded(&l.context()));
    QVERIFY(l.manipulator().drag({{start.first, start.second + Vec3f(0, 40, 40)}}));
    QVERIFY(!l.dragging());
    QCOMPARE(oxUndoStack::get(0).count(), count + 2);
    QCOMPARE(oxUndoStack::get(0).text(count + 1), l.undoText);
    QVERIFY(framesAgreeWithTheirAngles());

    // The step goes back to where the first drag began.
    oxUndoStack::get(0).undo();
    QCOMPARE(l.state(), before);
}

void tst_Drags::dragReachesTheLightOnlyWhileItsContextIsAdded_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<QString>("how");
    for (const auto& entry : lights())
        for (const char* how : {"light hidden", "analysis off", "interface hidden", "other mode"})
            QTest::addRow("%s, %s", qPrintable(entry.first), how) << entry.first << QString(how);
}

void tst_Drags::dragReachesTheLightOnlyWhileItsContextIsAdded()
{
    QFETCH(QString, light);
    QFETCH(QString, how);
    const Light& l = lights().at(light);
    M* m = host->model;
    arm(l);
    m->setUiVisibility(true);
    QVERIFY(contextAdded(&l.context()));
    QVERIFY(l.visible());

    if (how == "light hidden")
        (m->*l.setVisibility)(false);
    else if (how == "analysis off")
        m->setAnalysisActive(false);
    else if (how == "interface hidden")
        m->setUiVisibility(false);
    else
        m->setAnalysisMode(l.analysisMode == Isophotes ? 3 : Isophotes);
    QVERIFY(!contextAdded(&l.context()));
    QVERIFY(!l.visible());

    const QList<Vec3f> before = l.state();
    const int count = oxUndoStack::get(0).count();
    const Manipulator::DragStep start = here(l.manipulator());
    QVERIFY(l.manipulator().drag({{start.first, start.second + Vec3f(0, 15, 15)}}));
    QCOMPARE(l.state(), before);
    QCOMPARE(oxUndoStack::get(0).count(), count);
    QVERIFY(!l.dragging());

    // Back again: the visual shows where the record says, and drags reach it.
    oxUndoStack::get(0).undo();
    QVERIFY(contextAdded(&l.context()));
    QVERIFY(l.visible());
    VERIFY_NEAR(here(l.manipulator()).second, start.second);
    // An undone step is dropped by the next one, so count by position.
    const int steps = oxUndoStack::get(0).index();
    QVERIFY(l.manipulator().drag({{start.first, start.second + Vec3f(0, 15, 15)}}));
    QCOMPARE(oxUndoStack::get(0).index(), steps + 1);
    QVERIFY(l.state() != before);
}

void tst_Drags::recordGoneMidDrag_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<bool>("replaced");
    for (const char* light : {"plane", "direction", "sphere"})
    {
        QTest::newRow(qPrintable(QString("%1, replaced").arg(light))) << QString(light) << true;
        QTest::newRow(qPrintable(QString("%1, removed").arg(light))) << QString(light) << false;
    }
}

// The host swaps or drops the record while the user still holds the mouse: the rest of the
// drag, its stop and undo/redo must neither crash nor write into the new record's settings
// from the old drag.
void tst_Drags::recordGoneMidDrag()
{
    QFETCH(QString, light);
    QFETCH(bool, replaced);
    const Light& l = lights().at(light);
    arm(l);
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    bool swapped = false;
    QObject watcher;
    connect(host->model, l.liveSignal, &watcher,
            [&]
            {
                if (swapped || !l.dragging())
                    return;
                swapped = true;
                if (replaced)
                    utils->replaceAttachment();
                else
                    utils->removeAttachment();
            });
    const Manipulator::DragStep start = here(l.manipulator());
    QVERIFY(l.manipulator().drag({{start.first, start.second + Vec3f(0, 20, 20)},
                                  {start.first + Vec3f(1, 0, 0), start.second + Vec3f(0, 30, 30)}}));
    disconnect(host->model, nullptr, &watcher, nullptr);
    QVERIFY(swapped);

    oxUndoStack& stack = oxUndoStack::get(0);
    while (stack.index() > 0)
        stack.undo();
    while (stack.index() < stack.count())
        stack.redo();
    if (replaced)
        QVERIFY(framesAgreeWithTheirAngles());
    else
        QCOMPARE(record(), osg::SurfaceAnalysisAttachmentPtr(osg::NullFC));
}

QTEST_MAIN(tst_Drags)
#include "tst_drags.moc"
