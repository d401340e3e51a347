#include "osgtestsupport.h"
#include "oxInteraction.h"
#include "oxManipulator.h"

#include <QtTest>

using namespace oxk::manipulator;
using oxk::interaction::InteractionEvent;
using oxk::interaction::InteractionManager;
typedef std::vector<std::string> Events;
Q_DECLARE_METATYPE(Events)

namespace
{
// Logs each event with the node's translation x at that moment; can act on an event.
class RecordingContext : public ManipulatorInteractionContext
{
public:
    RecordingContext() : ManipulatorInteractionContext(100) {}
    bool triggerEvent(InteractionManager* manager, const InteractionEvent& event) override
    {
        const osg::NodePtr node = getManipulator()->getNode();
        events.push_back(event.getEvent() + "@" + std::to_string(int(coreOf(node)->getTranslation()[0])));
        if (onEvent)
            onEvent(event.getEvent());
        return ManipulatorInteractionContext::triggerEvent(manager, event);
    }
    std::vector<std::string> events;
    std::function<void(const std::string&)> onEvent;
};

class ClickTool : public oxk::interaction::AbstractInteractionTool
{
};
} // namespace

class tst_Manipulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void dragMovesTheNodeAsTheModeAllows_data();
    void dragMovesTheNodeAsTheModeAllows();
    void addedContextGetsStartDragsAndStop_data();
    void addedContextGetsStartDragsAndStop();
    void nodeWithoutTransformIsNotDragged();
    void clicksPassManipulatorContextsToTools();
    void linksAreClearedByEitherSide();
};

void tst_Manipulator::cleanup()
{
    InteractionManager* manager = InteractionManager::getInstance();
    for (auto* c : manager->getContexts())
        manager->removeContext(c);
}

void tst_Manipulator::dragMovesTheNodeAsTheModeAllows_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<osg::Vec3f>("expectedTranslation");
    QTest::addColumn<osg::Vec3f>("expectedEuler");
    // Start (1, 1, 1) and (30, 0, 0); the last step asks for (5, 6, 7) and (10, 20, 40).
    QTest::newRow("translate-rotate") << int(UniversalTransformManipulator2::TranslateRotateMode) << osg::Vec3f(5, 6, 7)
                                      << osg::Vec3f(10, 20, 40);
    QTest::newRow("translate-rotate-YZ keeps the roll")
        << int(UniversalTransformManipulator2::TranslateRotateYZMode) << osg::Vec3f(5, 6, 7) << osg::Vec3f(30, 20, 40);
    QTest::newRow("rotate only") << int(UniversalTransformManipulator2::RotateMode) << osg::Vec3f(1, 1, 1)
                                 << osg::Vec3f(10, 20, 40);
}

void tst_Manipulator::dragMovesTheNodeAsTheModeAllows()
{
    QFETCH(int, mode);
    QFETCH(osg::Vec3f, expectedTranslation);
    QFETCH(osg::Vec3f, expectedEuler);
    UniversalTransformManipulator2 manipulator;
    osg::NodePtr node = makeTransformNode(osg::Vec3f(1, 1, 1), osg::Vec3f(30, 0, 0));
    manipulator.setNode(node);
    if (mode == UniversalTransformManipulator2::TranslateRotateYZMode)
        manipulator.activateTranslateRotateYZManipulator();
    else if (mode == UniversalTransformManipulator2::RotateMode)
        manipulator.activateRotateManipulator();
    else
        manipulator.activateTranslateRotateManipulator();
    QCOMPARE(int(manipulator.getMode()), mode);

    const osg::UInt64 editsBefore = coreOf(node)->getChangeCount();
    QVERIFY(
        manipulator.drag({{osg::Vec3f(2, 2, 2), osg::Vec3f(0, 0, 10)}, {osg::Vec3f(5, 6, 7), osg::Vec3f(10, 20, 40)}}));
    QCOMPARE(coreOf(node)->getTranslation(), expectedTranslation);
    QCOMPARE(coreOf(node)->getEulerRotation(), expectedEuler);
    QVERIFY(coreOf(node)->getRotation().equals(osg::Transform3D::eulerToQuaternion(expectedEuler), 1e-6f));
    // One closed edit per step.
    QCOMPARE(coreOf(node)->getChangeCount(), editsBefore + 2);
}

void tst_Manipulator::addedContextGetsStartDragsAndStop_data()
{
    QTest::addColumn<bool>("stepwise");     // as the mouse drags: begin, a step per move, end
    QTest::addColumn<bool>("leaveMidDrag"); // the context removes itself on its first "drag"
    QTest::addColumn<Events>("events");
    const Events all = {"start@0", "drag@1", "drag@2", "stop@2"}, cut = {"start@0", "drag@1"};
    QTest::newRow("whole drag") << false << false << all;
    QTest::newRow("stepwise drag") << true << false << all;
    QTest::newRow("removed mid-drag, whole") << false << true << cut;
    QTest::newRow("removed mid-drag, stepwise") << true << true << cut;
}

void tst_Manipulator::addedContextGetsStartDragsAndStop()
{
    QFETCH(bool, stepwise);
    QFETCH(bool, leaveMidDrag);
    QFETCH(Events, events);
    UniversalTransformManipulator2 manipulator;
    manipulator.setNode(makeTransformNode(osg::Vec3f(0, 0, 0), osg::Vec3f(30, 0, 0)));
    manipulator.activateTranslateRotateYZManipulator();
    RecordingContext context;
    context.setManipulator(&manipulator);
    // Not added: the node moves, the context hears nothing.
    QVERIFY(manipulator.drag({{osg::Vec3f(3, 0, 0), osg::Vec3f()}, {osg::Vec3f(0, 0, 0), osg::Vec3f()}}));
    InteractionManager::getInstance()->addContext(&context);
    manipulator.dragTo({osg::Vec3f(5, 0, 0), osg::Vec3f()}); // no drag running: ignored
    manipulator.endDrag();
    QVERIFY(context.events.empty());
    if (leaveMidDrag)
        context.onEvent = [&](const std::string& name)
        {
            if (name == "drag")
                InteractionManager::getInstance()->removeContext(&context);
        };

    const std::vector<UniversalTransformManipulator2::DragStep> steps = {{osg::Vec3f(1, 0, 0), osg::Vec3f(0, 10, 20)},
                                                                         {osg::Vec3f(2, 0, 0), osg::Vec3f(0, 10, 20)}};
    if (stepwise)
    {
        QVERIFY(manipulator.beginDrag());
        QVERIFY(manipulator.isDragging());
        QVERIFY(!manipulator.beginDrag());
        QVERIFY(!manipulator.drag({{osg::Vec3f(9, 0, 0), osg::Vec3f()}}));
        for (const UniversalTransformManipulator2::DragStep& step : steps)
            manipulator.dragTo(step);
        manipulator.endDrag();
    }
    else
        QVERIFY(manipulator.drag(steps));
    QVERIFY(!manipulator.isDragging());
    // Each "drag" arrives after its step has moved the node; the node moves on without a listener.
    QCOMPARE(context.events, events);
    QCOMPARE(coreOf(manipulator.getNode())->getTranslation(), osg::Vec3f(2, 0, 0));
    // The mode still keeps the roll.
    QCOMPARE(coreOf(manipulator.getNode())->getEulerRotation(), osg::Vec3f(30, 10, 20));
}

void tst_Manipulator::nodeWithoutTransformIsNotDragged()
{
    UniversalTransformManipulator2 manipulator;
    RecordingContext context;
    context.setManipulator(&manipulator);
    InteractionManager::getInstance()->addContext(&context);
    QVERIFY(!manipulator.drag({}));

    osg::NodePtr group = osg::Node::create();
    group->setCore(osg::Group::create());
    group->setName("Lid");
    manipulator.setNode(group);
    QVERIFY(!manipulator.drag({{osg::Vec3f(1, 0, 0), osg::Vec3f()}}));
    QVERIFY(!manipulator.beginDrag());
    QVERIFY(context.events.empty());
}

void tst_Manipulator::clicksPassManipulatorContextsToTools()
{
    UniversalTransformManipulator2 manipulator;
    manipulator.setNode(makeTransformNode(osg::Vec3f(), osg::Vec3f()));
    RecordingContext manipulatorContext;
    manipulatorContext.setManipulator(&manipulator);
    ClickTool tool;
    oxk::interaction::ToolInteractionContext toolContext(100);
    toolContext.setTool(&tool);
    InteractionManager::getInstance()->addContext(&manipulatorContext);
    InteractionManager::getInstance()->addContext(&toolContext);

    // Same position, manipulator first: the click still reaches the tool.
    QVERIFY(InteractionManager::getInstance()->trigger("trigger"));
    QVERIFY(manipulatorContext.events.empty());
}

void tst_Manipulator::linksAreClearedByEitherSide()
{
    ManipulatorInteractionContext context(100);
    {
        UniversalTransformManipulator2 manipulator;
        context.setManipulator(&manipulator);
        QVERIFY(manipulator.getContext() == &context);
        ManipulatorInteractionContext other(100);
        other.setManipulator(&manipulator);
        QVERIFY(context.getManipulator() == nullptr);
        context.setManipulator(&manipulator);
        QVERIFY(other.getManipulator() == nullptr);
    }
    QVERIFY(context.getManipulator() == nullptr);

    UniversalTransformManipulator2 manipulator;
    {
        ManipulatorInteractionContext shortLived(100);
        shortLived.setManipulator(&manipulator);
    }
    QVERIFY(manipulator.getContext() == nullptr);
}

QTEST_APPLESS_MAIN(tst_Manipulator)
#include "tst_manipulator.moc"
