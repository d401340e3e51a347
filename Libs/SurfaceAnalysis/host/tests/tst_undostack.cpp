#include "oxInvokeMultiCommand.h"
#include "oxLog.h"
#include "oxUndoStack.h"

#include <QUndoStack>
#include <QtTest>

namespace
{
quint64 s_now = 0;
QStringList s_journal; // edits and slots in the order they ran
int s_alive = 0;
} // namespace

// A mergeable edit that only writes down what happens to it.
class JournalCommand : public oxUndoCommand
{
public:
    explicit JournalCommand(const char* name, QUndoCommand* parent = nullptr)
        : oxUndoCommand(oxUndoString(name, QString()), parent), m_name(name)
    {
        ++s_alive;
    }
    ~JournalCommand() override { --s_alive; }
    void redo() override { s_journal << m_name + " redo"; }
    void undo() override { s_journal << m_name + " undo"; }
    int id() const override
    {
        static const int id = makeId(typeid(JournalCommand));
        return id;
    }

private:
    QString m_name;
};

class Receiver : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void rotationCommand() { s_journal << "slot"; }
};

class tst_UndoStack : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        oxLog::setEcho(false);
        oxUndoCommand::setClock([] { return s_now; });
    }
    void init()
    {
        oxUndoStack::setMergeWindow(500);
        s_now = 1000;
        s_journal.clear();
        oxLog::clear();
    }
    void cleanup()
    {
        oxUndoStack::get(0).clear();
        QCOMPARE(s_alive, 0);
    }
    void cleanupTestCase() { oxUndoCommand::setClock({}); }

    void addRunsRedoAndUndoRedoAlternate()
    {
        oxUndoStack& stack = oxUndoStack::get(0);
        stack.add(new JournalCommand("a"));
        QCOMPARE(s_journal, QStringList{"a redo"});
        QCOMPARE(stack.text(0), QString("a"));
        stack.undo();
        stack.redo();
        QCOMPARE(s_journal, (QStringList{"a redo", "a undo", "a redo"}));
        QCOMPARE(stack.index(), 1);
        QCOMPARE(stack.undoStack()->count(), 1);
        QVERIFY(&oxUndoStack::get(0) == &stack);
        QVERIFY(&oxUndoStack::get(7) != &stack);
        QCOMPARE(oxUndoStack::get(7).count(), 0);
    }

    void mergeFollowsTheWindow_data()
    {
        QTest::addColumn<qint64>("window");
        QTest::addColumn<QList<int>>("gaps"); // ms before each further edit
        QTest::addColumn<int>("steps");
        QTest::newRow("same moment") << qint64(500) << QList<int>{0} << 1;
        QTest::newRow("at the edge") << qint64(500) << QList<int>{500} << 1;
        QTest::newRow("just outside") << qint64(500) << QList<int>{501} << 2;
        QTest::newRow("series moves the window along") << qint64(500) << QList<int>{400, 400, 400} << 1;
        QTest::newRow("pause splits the series") << qint64(500) << QList<int>{100, 600, 100} << 2;
        QTest::newRow("negative window never merges") << qint64(-1) << QList<int>{0} << 2;
    }
    void mergeFollowsTheWindow()
    {
        QFETCH(qint64, window);
        QFETCH(QList<int>, gaps);
        QFETCH(int, steps);
        oxUndoStack::setMergeWindow(window);
        oxUndoStack& stack = oxUndoStack::get(0);
        stack.add(new JournalCommand("e"));
        for (int gap : gaps)
        {
            s_now += quint64(gap);
            stack.add(new JournalCommand("e"));
        }
        QCOMPARE(s_journal.count(), gaps.count() + 1); // every edit ran before merging
        QCOMPARE(stack.count(), steps);
        QCOMPARE(s_alive, steps); // merged edits are gone
    }

    void macroIsOneStepAndMisuseIsReported()
    {
        oxUndoStack& stack = oxUndoStack::get(0);
        stack.endMacro();
        stack.add(nullptr);
        QCOMPARE(oxLog::lines(), (std::vector<std::string>{"Undo stack 0: cannot end a macro: no macro was begun.",
                                                           "Undo stack 0: cannot add an edit: the edit is null."}));
        stack.beginMacro("manipulatorStop");
        stack.add(new JournalCommand("a"));
        s_now += 1000;
        stack.add(new JournalCommand("b"));
        stack.undo(); // refused while open
        stack.endMacro();
        QCOMPARE(oxLog::lines().size(), size_t(3));
        QCOMPARE(stack.count(), 1);
        QCOMPARE(stack.text(0), QString("manipulatorStop"));
        stack.undo();
        QCOMPARE(s_journal, (QStringList{"a redo", "b redo", "b undo", "a undo"}));
    }

    void multiCommandRunsChildrenThenSlot()
    {
        Receiver receiver;
        oxUndoStack& stack = oxUndoStack::get(0);
        for (int i = 0; i < 2; ++i)
        {
            auto* multi = new oxInvokeMultiCommand(oxUndoString("LightPlaneRotation", QString()), &receiver,
                                                   "rotationCommand(void)");
            new JournalCommand("u", multi);
            new JournalCommand("v", multi);
            new JournalCommand("e", multi);
            stack.add(multi);
        }
        QCOMPARE(stack.count(), 2); // a finished drag never merges with the one before
        s_journal.clear();
        stack.undo();
        QCOMPARE(s_journal, (QStringList{"e undo", "v undo", "u undo", "slot"}));
        s_journal.clear();
        stack.redo();
        QCOMPARE(s_journal, (QStringList{"u redo", "v redo", "e redo", "slot"}));
        QCOMPARE(stack.text(1), QString("LightPlaneRotation"));
        QVERIFY(oxLog::lines().empty());

        // A missing slot is logged once; the children still run.
        auto* multi = new oxInvokeMultiCommand(oxUndoString("LightSphereRotation", QString()), &receiver, "gone(void)");
        new JournalCommand("a", multi);
        s_journal.clear();
        stack.add(multi);
        stack.undo();
        QCOMPARE(s_journal, (QStringList{"a redo", "a undo"}));
        QCOMPARE(oxLog::lines(), std::vector<std::string>{"Method not found: Receiver::gone()"});
    }
};

QTEST_GUILESS_MAIN(tst_UndoStack)
#include "tst_undostack.moc"
