#include "oxInteraction.h"

#include <QtTest>

#include <memory>

using namespace oxk::interaction;

namespace
{
// Counts picks and always misses: a miss still counts as a fresh pick, the tool decides what an empty result means.
class CountingPicker : public Picker
{
public:
    bool pick(const osg::Pnt3f&, const osg::Vec3f&) override
    {
        ++picks;
        return false;
    }
    bool getHitPoint(osg::Vec3f&, int) override { return false; }
    bool getHitNode(osg::NodePtr&, int) override { return false; }
    bool getHitNormal(osg::Vec3f&, int) override { return false; }

    int picks = 0;
};

// Logs every handler call as "handler:hint" and what the picker had done by then.
class RecordingTool : public AbstractInteractionTool
{
public:
    bool selectToolMode(InteractionContext*, const std::string& mode) override
    {
        return mode.empty() || mode == "tool";
    }
    bool handlePointerMove(InteractionContext* c, const std::string& hint) override { return log(c, "move", hint); }
    bool handlePointerPress(InteractionContext* c, const std::string& hint) override { return log(c, "press", hint); }
    bool handlePointerRelease(InteractionContext* c, const std::string& hint) override
    {
        return log(c, "release", hint);
    }
    bool hoverTool(InteractionContext*, const std::string& name) override
    {
        calls.push_back("hover:" + name);
        return true;
    }

    bool log(InteractionContext* context, const char* handler, const std::string& hint)
    {
        calls.push_back(std::string(handler) + ":" + hint);
        pickHint = isPickHint(hint);
        Picker* picker = getPicker(context);
        picksSeen = picker ? static_cast<CountingPicker*>(picker)->picks : -1;
        return true;
    }

    std::vector<std::string> calls;
    bool pickHint = false;
    int picksSeen = -1;
};

// A context whose trigger answer and side effect are set per test; logs into a shared list.
class ScriptedContext : public AbstractInteractionContext
{
public:
    ScriptedContext(const std::string& name, int position, std::vector<std::string>* log)
        : AbstractInteractionContext(position), name(name), log(log)
    {
    }
    void contextRaised(InteractionManager*) override { log->push_back(name + " raised"); }
    void contextLowered(InteractionManager*) override { log->push_back(name + " lowered"); }
    bool triggerEvent(InteractionManager*, const InteractionEvent& event) override
    {
        log->push_back(name + " " + event.getEvent());
        if (onTrigger)
            onTrigger();
        return handles;
    }

    std::string name;
    std::vector<std::string>* log;
    bool handles = false;
    std::function<void()> onTrigger;
};
} // namespace

class tst_Interaction : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void addRemoveAndDestructionTrackActiveState();
    void contextsFollowPreferredPosition_data();
    void contextsFollowPreferredPosition();
    void triggerStopsAtTheFirstHandler();
    void toolGetsPointerHints_data();
    void toolGetsPointerHints();
    void toolTakesClicksOnlyWhileAdded();
    void removalDuringDispatchIsSafe();

private:
    InteractionManager* manager() { return InteractionManager::getInstance(); }
};

void tst_Interaction::cleanup()
{
    for (AbstractInteractionContext* c : manager()->getContexts())
        manager()->removeContext(c);
}

void tst_Interaction::addRemoveAndDestructionTrackActiveState()
{
    std::vector<std::string> log;
    ScriptedContext context("a", 0, &log);
    QVERIFY(!context.isActive());
    QVERIFY(context.getInteractionManager() == nullptr);

    manager()->addContext(&context);
    manager()->addContext(&context);
    QVERIFY(context.isActive());
    QVERIFY(context.getInteractionManager() == manager());
    QCOMPARE(manager()->getContexts().size(), std::size_t(1));

    manager()->removeContext(&context);
    manager()->removeContext(&context);
    QVERIFY(!context.isActive());
    QVERIFY(!context.isRaised());
    QVERIFY(manager()->getContexts().empty());
    QCOMPARE(log, (std::vector<std::string>{"a raised", "a lowered"}));

    // A context destroyed while added leaves, and the next one is raised.
    {
        ScriptedContext front("f", -1, &log);
        manager()->addContext(&front);
        manager()->addContext(&context);
        QVERIFY(front.isRaised());
    }
    QCOMPARE(manager()->getContexts(), std::vector<AbstractInteractionContext*>{&context});
    QVERIFY(context.isRaised());
}

void tst_Interaction::contextsFollowPreferredPosition_data()
{
    QTest::addColumn<QList<int>>("positions");
    QTest::addColumn<QString>("expectedOrder");
    QTest::newRow("ascending") << QList<int>{10, 20, 30} << "abc";
    QTest::newRow("descending") << QList<int>{30, 20, 10} << "cba";
    QTest::newRow("ties keep adding order") << QList<int>{100, 50, 100, 10} << "dbac";
}

void tst_Interaction::contextsFollowPreferredPosition()
{
    QFETCH(QList<int>, positions);
    QFETCH(QString, expectedOrder);
    std::vector<std::string> log;
    std::vector<std::unique_ptr<ScriptedContext>> contexts;
    for (int i = 0; i < positions.size(); ++i)
    {
        contexts.emplace_back(new ScriptedContext(std::string(1, char('a' + i)), positions[i], &log));
        manager()->addContext(contexts.back().get());
    }
    QString order;
    for (AbstractInteractionContext* c : manager()->getContexts())
        order += QString::fromStdString(static_cast<ScriptedContext*>(c)->name);
    QCOMPARE(order, expectedOrder);
    for (const auto& c : contexts)
        QCOMPARE(c->isRaised(), c->name == expectedOrder.left(1).toStdString());

    // Every trigger goes down the same order.
    log.clear();
    QVERIFY(!manager()->trigger("trigger"));
    QString triggered;
    for (const std::string& line : log)
        triggered += QString::fromStdString(line.substr(0, 1));
    QCOMPARE(triggered, expectedOrder);
}

void tst_Interaction::triggerStopsAtTheFirstHandler()
{
    std::vector<std::string> log;
    ScriptedContext a("a", 1, &log), disabled("d", 2, &log), b("b", 3, &log), c("c", 4, &log);
    b.handles = c.handles = true;
    disabled.handles = true;
    disabled.setEnabled(false);
    for (ScriptedContext* x : {&a, &disabled, &b, &c})
        manager()->addContext(x);
    log.clear();

    QVERIFY(manager()->trigger("trigger"));
    QCOMPARE(log, (std::vector<std::string>{"a trigger", "b trigger"}));
}

void tst_Interaction::toolGetsPointerHints_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("withPicker");
    QTest::addColumn<QString>("expectedCall");
    QTest::newRow("move, picker") << int(PointerAction::Move) << true << "move:pick";
    QTest::newRow("press, picker") << int(PointerAction::Press) << true << "press:pickPress";
    QTest::newRow("release, picker") << int(PointerAction::Release) << true << "release:pickRelease";
    QTest::newRow("move, no picker") << int(PointerAction::Move) << false << "move:move";
    QTest::newRow("press, no picker") << int(PointerAction::Press) << false << "press:press";
    QTest::newRow("release, no picker") << int(PointerAction::Release) << false << "release:release";
}

void tst_Interaction::toolGetsPointerHints()
{
    QFETCH(int, action);
    QFETCH(bool, withPicker);
    QFETCH(QString, expectedCall);
    CountingPicker picker;
    RecordingTool tool;
    ToolInteractionContext context(100);
    context.setTool(&tool);
    if (withPicker)
        context.setPicker(&picker);

    // Not added: nothing reaches the tool, and nobody took the event.
    QVERIFY(!manager()->pointerRay(osg::Pnt3f(0, 0, 10), osg::Vec3f(0, 0, -1), PointerAction(action)));
    QVERIFY(tool.calls.empty());

    manager()->addContext(&context);
    // The host's view hands a press that a tool took to nobody else.
    QVERIFY(manager()->pointerRay(osg::Pnt3f(0, 0, 10), osg::Vec3f(0, 0, -1), PointerAction(action)));
    QCOMPARE(tool.calls, std::vector<std::string>{expectedCall.toStdString()});
    QCOMPARE(tool.pickHint, withPicker);
    QCOMPARE(tool.picksSeen, withPicker ? 1 : -1);
}

void tst_Interaction::toolTakesClicksOnlyWhileAdded()
{
    RecordingTool tool;
    ToolInteractionContext context(100);
    context.setTool(&tool);
    QVERIFY(!context.triggerEvent(manager(), InteractionEvent("trigger")));

    manager()->addContext(&context);
    QVERIFY(tool.isActive());
    QCOMPARE(context.getMode(), std::string("tool"));
    QVERIFY(manager()->trigger("trigger"));
    QVERIFY(!manager()->trigger("Trigger"));
    QVERIFY(manager()->trigger("hover"));
    QCOMPARE(tool.calls, std::vector<std::string>{"hover:hover"});

    // Swapping tools while added moves the activation.
    RecordingTool other;
    context.setTool(&other);
    QVERIFY(!tool.isActive());
    QVERIFY(other.isActive());

    manager()->removeContext(&context);
    QVERIFY(!other.isActive());
    QCOMPARE(context.getMode(), std::string());
    QVERIFY(!manager()->trigger("trigger"));
    QVERIFY(!context.triggerEvent(manager(), InteractionEvent("trigger")));
}

void tst_Interaction::removalDuringDispatchIsSafe()
{
    std::vector<std::string> log;
    ScriptedContext first("a", 1, &log);
    auto* doomed = new ScriptedContext("b", 2, &log);
    ScriptedContext last("c", 3, &log);
    ScriptedContext late("l", 0, &log);
    last.handles = true;
    first.onTrigger = [&]
    {
        delete doomed;
        doomed = nullptr;
        manager()->removeContext(&first);
        manager()->addContext(&late);
    };
    for (ScriptedContext* x : {&first, doomed, &last})
        manager()->addContext(x);
    log.clear();

    QVERIFY(manager()->trigger("trigger"));
    // The destroyed context is skipped and the one added meanwhile waits for the next event.
    QCOMPARE(log,
             (std::vector<std::string>{"a trigger", "a lowered", "c raised", "c lowered", "l raised", "c trigger"}));
    QCOMPARE(manager()->getContexts(), (std::vector<AbstractInteractionContext*>{&late, &last}));
}

QTEST_APPLESS_MAIN(tst_Interaction)
#include "tst_interaction.moc"
