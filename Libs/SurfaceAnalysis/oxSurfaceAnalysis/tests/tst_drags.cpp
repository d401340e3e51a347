#include "moduletestsupport.h"

#include "InteractionEvent.h"

#include <functional>

typedef oxSurfaceAnalysisModel M;
typedef oxk::manipulator::UniversalTransformManipulator2 Manipulator;
typedef std::vector<Manipulator::DragStep> Steps;
using osg::Vec3f;
Q_DECLARE_METATYPE(Steps)

using namespace lighttest;

namespace
{
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

// A two-step drag from where the light stands; the first step it announces runs interrupt once.
bool interruptedDrag(const Light& l, const std::function<void()>& interrupt)
{
    bool interrupted = false;
    QObject watcher; // the connection ends with it
    QObject::connect(M::the(), l.liveSignal, &watcher,
                     [&]
                     {
                         if (!interrupted && l.dragging())
                         {
                             interrupted = true;
                             interrupt();
                         }
                     });
    const Manipulator::DragStep start = here(l.manipulator());
    return l.manipulator().drag({{start.first, start.second + Vec3f(0, 20, 20)},
                                 {start.first + Vec3f(1, 0, 0), start.second + Vec3f(0, 30, 30)}}) &&
           interrupted;
}
} // namespace

class tst_Drags : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void dragFollowsLive_data();
    void dragFollowsLive();
    void dragIsOneUndoStep_data();
    void dragIsOneUndoStep();
    void planeStepWithinToleranceWritesNothing();
    void stopWithoutDragDoesNothing_data() { addLightRows(); }
    void stopWithoutDragDoesNothing();
    void dragSurvivesItsContextBeingRemoved_data() { addLightRows(); }
    void dragSurvivesItsContextBeingRemoved();
    void recordGoneMidDrag_data();
    void recordGoneMidDrag();
    void dragReachesTheLightOnlyWhileItsContextIsAdded_data();
    void dragReachesTheLightOnlyWhileItsContextIsAdded();
};

void tst_Drags::dragFollowsLive_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<bool>("announcesStart");    // "start" announces where the light stands
    QTest::addColumn<QList<Vec3f>>("announced"); // each step's value
    QTest::addColumn<Vec3f>("translation");      // of the visual afterwards
    QTest::newRow("plane") << "plane" << Steps{{Vec3f(1, 2, 3), Vec3f(10, 0, 0)}, {Vec3f(4, 5, 6), Vec3f(20, 30, 40)}}
                           << false << QList<Vec3f>{Vec3f(10, 0, 0), Vec3f(20, 30, 40)} << Vec3f(4, 5, 6);
    // The arrow lies along its local X axis: a quarter turn about Z aims it along +Y, about Y along
    // +Z. Where the user left it is a viewing aid only.
    QTest::newRow("direction") << "direction"
                               << Steps{{Vec3f(3, 0, 0), Vec3f(0, 0, 90)}, {Vec3f(3, 0, 0), Vec3f(0, -90, 0)}} << true
                               << QList<Vec3f>{Vec3f(0, 1, 0), Vec3f(0, 0, 1)} << Vec3f(3, 0, 0);
    // The sphere only turns about the world origin.
    QTest::newRow("sphere") << "sphere"
                            << Steps{{Vec3f(7, 7, 7), Vec3f(10, 20, 30)}, {Vec3f(0, 0, 0), Vec3f(40, 50, 60)}} << true
                            << QList<Vec3f>{Vec3f(10, 20, 30), Vec3f(40, 50, 60)} << Vec3f();
}

// What the user sees while dragging: each announced step is already in the record, with axes
// that agree with its angles; the plane's origin moves with its steps but is announced once at
// the end; the module's own light direction waits for the end. The undo step is dragIsOneUndoStep's.
void tst_Drags::dragFollowsLive()
{
    QFETCH(QString, light);
    QFETCH(Steps, steps);
    QFETCH(bool, announcesStart);
    QFETCH(QList<Vec3f>, announced);
    QFETCH(Vec3f, translation);
    const Light& l = lightNamed(light);
    arm(l);
    // The direction's record copy is normalised; the module's own copy is state()[0].
    const auto stored = [&] { return light == "direction" ? record()->getLinearLightDirection() : l.state()[0]; };
    if (announcesStart)
        announced.prepend(stored());
    const Vec3f own = host->model->getLightDirection();
    QSignalSpy spy(host->model, l.liveSignal);
    QSignalSpy origin(host->model, SIGNAL(lightPlaneOriginChanged(osg::Vec3f)));
    QList<Vec3f> live, origins;
    QObject watcher; // the connection ends with it
    connect(host->model, l.liveSignal, &watcher,
            [&](const Vec3f& value)
            {
                if (!l.dragging())
                    return;
                live << value;
                QCOMPARE(stored(), value);
                QVERIFY(framesAgreeWithTheirAngles());
                QCOMPARE(host->model->getLightDirection(), own);
                origins << record()->getLightPlaneOrigin();
            });
    QVERIFY(l.manipulator().drag(steps));

    QCOMPARE(live.size(), announced.size());
    for (int i = 0; i < live.size(); ++i)
        VERIFY_NEAR(live[i], announced[i]);
    QCOMPARE(spy.count(), live.size() + 1);
    VERIFY_NEAR(stored(), announced.last());
    VERIFY_NEAR(spy.last().at(0).value<Vec3f>(), announced.last());
    if (light == "direction")
        VERIFY_NEAR(host->model->getLightDirection(), announced.last());
    QCOMPARE(origin.count(), int(light == "plane"));
    if (light == "plane")
    {
        QCOMPARE(origins, (QList<Vec3f>{steps[0].first, steps[1].first}));
        QCOMPARE(origin.at(0).at(0).value<Vec3f>(), steps.back().first);
    }
    QCOMPARE(transformCore(l.manipulator().getNode())->getTranslation(), translation);
    QVERIFY(!l.dragging());
}

void tst_Drags::dragIsOneUndoStep_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<Steps>("steps"); // from where the light stands
    QTest::newRow("plane") << "plane"
                           << Steps{{Vec3f(1, 0, 0), Vec3f(0, 0, 5)},
                                    {Vec3f(-2, 8, 1), Vec3f(90, -45, 170)},
                                    {Vec3f(3, 3, 3), Vec3f(-30, 60, 10)}};
    QTest::newRow("plane, rotation only") << "plane" << Steps{{Vec3f(), Vec3f(0, 90, 0)}};
    QTest::newRow("direction") << "direction"
                               << Steps{{Vec3f(), Vec3f(0, 30, 30)}, {Vec3f(2, 2, 2), Vec3f(0, -60, 200)}};
    QTest::newRow("sphere") << "sphere" << Steps{{Vec3f(), Vec3f(5, 5, 5)}, {Vec3f(), Vec3f(100, -20, 75)}};
    // The end of a drag does not compare: even a drag back to the start is a step.
    for (const char* light : {"plane", "direction", "sphere"})
        QTest::addRow("%s, back to the start", light)
            << light << Steps{{Vec3f(1, 1, 1), Vec3f(0, 10, 10)}, Manipulator::DragStep()};
}

void tst_Drags::dragIsOneUndoStep()
{
    QFETCH(QString, light);
    QFETCH(Steps, steps);
    const Light& l = lightNamed(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    const int count = oxUndoStack::get(0).count();
    const Manipulator::DragStep start = here(l.manipulator());
    for (Manipulator::DragStep& step : steps)
        step = {start.first + step.first, start.second + step.second};

    QVERIFY(l.manipulator().drag(steps));
    const QList<Vec3f> after = l.state();
    QCOMPARE(oxUndoStack::get(0).count(), count + 1);
    QCOMPARE(oxUndoStack::get(0).text(count), l.undoText);
    QVERIFY(framesAgreeWithTheirAngles());
    if (steps.back() != start)
        QVERIFY(after != before);
    else
        for (int i = 0; i < before.size(); ++i)
            VERIFY_NEAR(after[i], light == "direction" ? normalised(before[i]) : before[i]);

    oxUndoStack::get(0).undo();
    QCOMPARE(l.state(), before);
    QVERIFY(framesAgreeWithTheirAngles());
    oxUndoStack::get(0).redo();
    QCOMPARE(l.state(), after);
    QVERIFY(framesAgreeWithTheirAngles());
}

void tst_Drags::planeStepWithinToleranceWritesNothing()
{
    arm(lightNamed("plane"));
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
    const Light& l = lightNamed(light);
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
    const Light& l = lightNamed(light);
    arm(l);
    const QList<Vec3f> before = l.state();
    const Manipulator::DragStep start = here(l.manipulator());
    QVERIFY(interruptedDrag(l, [this] { host->model->setAnalysisActive(false); }));

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
    for (const auto& entry : allLights())
        for (const char* how : {"light hidden", "analysis off", "interface hidden", "other mode"})
            QTest::addRow("%s, %s", qPrintable(entry.first), how) << entry.first << QString(how);
}

void tst_Drags::dragReachesTheLightOnlyWhileItsContextIsAdded()
{
    QFETCH(QString, light);
    QFETCH(QString, how);
    const Light& l = lightNamed(light);
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
        for (bool replaced : {true, false})
            QTest::addRow("%s, %s", light, replaced ? "replaced" : "removed") << QString(light) << replaced;
}

// The host swaps or drops the record while the user still holds the mouse: the rest of the
// drag, its stop and undo/redo must neither crash nor write into the new record's settings
// from the old drag.
void tst_Drags::recordGoneMidDrag()
{
    QFETCH(QString, light);
    QFETCH(bool, replaced);
    const Light& l = lightNamed(light);
    arm(l);
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    QVERIFY(interruptedDrag(l, [&] { replaced ? (void)utils->replaceAttachment() : utils->removeAttachment(); }));

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
