#include "oxSurfaceAnalysisUndoCommands.h"

#include "OSGSurfaceAnalysisAttachment.h"
#include "oxInvokeBoolFieldUndoCommand.h"
#include "oxLog.h"
#include "oxUndoStack.h"

#include <QScopeGuard>
#include <QtTest>

using osg::SurfaceAnalysisAttachment;
using osg::SurfaceAnalysisAttachmentPtr;
using osg::Vec3f;

namespace
{
quint64 s_now = 0;

QVariant fieldValue(const SurfaceAnalysisAttachmentPtr& record, int fieldId)
{
    const osg::SurfaceAnalysisValues values = record->getValues();
    QVariant out;
    osg::visitSurfaceAnalysisValue(values, osg::UInt32(fieldId),
                                   [&out](const auto& v) { out = QVariant::fromValue(v); });
    return out;
}
} // namespace

// Stands in for the model: apply slots that report the value they were given.
class Receiver : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void applied(const QVariant& value);
public Q_SLOTS:
    void valueCommand(float value) { Q_EMIT applied(value); }
    void otherValueCommand(float value) { Q_EMIT applied(value); }
    void vecCommand(osg::Vec3f value) { Q_EMIT applied(QVariant::fromValue(value)); }
    void countCommand(unsigned int value) { Q_EMIT applied(value); }
    void flagCommand(bool value) { Q_EMIT applied(value); }
};

// A value edit that lives nowhere; only its id matters.
class NowhereValue : public oxInvokeValueUndoBase<bool>
{
public:
    NowhereValue() : oxInvokeValueUndoBase<bool>(oxUndoString("", QString()), true, nullptr, "", nullptr) {}
    void swapValue(const bool&, bool&) override {}
};

class tst_UndoCommands : public QObject
{
    Q_OBJECT

    // An invoking field edit of the value's type, aimed at the matching slot.
    QUndoCommand* edit(const SurfaceAnalysisAttachmentPtr& record, int fieldId, const QVariant& value,
                       const char* slot = nullptr)
    {
        switch (value.userType())
        {
        case QMetaType::Float:
            return new oxInvokeFieldUndoCommand<float>(record, fieldId, value.toFloat(), &m_receiver,
                                                       slot ? slot : "valueCommand(float)", nullptr);
        case QMetaType::UInt:
            return new oxInvokeFieldUndoCommand<unsigned int>(record, fieldId, value.toUInt(), &m_receiver,
                                                              slot ? slot : "countCommand(unsigned int)", nullptr);
        case QMetaType::Bool:
            return new oxInvokeBoolFieldUndoCommand(record, fieldId, value.toBool(), &m_receiver,
                                                    slot ? slot : "flagCommand(bool)", nullptr);
        default:
            return new oxInvokeFieldUndoCommand<Vec3f>(record, fieldId, value.value<Vec3f>(), &m_receiver,
                                                       slot ? slot : "vecCommand(const osg::Vec3f&)", nullptr);
        }
    }

    Receiver m_receiver;
    SurfaceAnalysisAttachmentPtr m_record;

private Q_SLOTS:
    void initTestCase()
    {
        QMetaType::registerEqualsComparator<Vec3f>();
        oxLog::setEcho(false);
        oxUndoCommand::setClock([] { return s_now; });
    }
    void init()
    {
        oxUndoStack::setMergeWindow(500);
        s_now = 1000;
        oxLog::clear();
        m_record = SurfaceAnalysisAttachment::create();
    }
    void cleanup()
    {
        oxUndoStack::get(0).clear();
        m_record = osg::NullFC;
    }
    void cleanupTestCase() { oxUndoCommand::setClock({}); }

    void editWritesInBracketsThenInvokesWithWrittenValue_data()
    {
        QTest::addColumn<int>("fieldId");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("float") << int(SurfaceAnalysisAttachment::StripeThicknessFieldId) << QVariant(0.25f);
        QTest::newRow("unsigned") << int(SurfaceAnalysisAttachment::IsolinesFieldId) << QVariant(32u);
        QTest::newRow("bool") << int(SurfaceAnalysisAttachment::UseViewVectorFieldId) << QVariant(true);
        QTest::newRow("vector") << int(SurfaceAnalysisAttachment::BaseColorFieldId)
                                << QVariant::fromValue(Vec3f(0.2f, 0.4f, 0.6f));
    }
    void editWritesInBracketsThenInvokesWithWrittenValue()
    {
        QFETCH(int, fieldId);
        QFETCH(QVariant, value);
        const QVariant before = fieldValue(m_record, fieldId);
        QVariantList seenInRecord;
        QObject probe; // disconnects when the test leaves, also on failure
        connect(&m_receiver, &Receiver::applied, &probe, [&] { seenInRecord << fieldValue(m_record, fieldId); });
        QSignalSpy applied(&m_receiver, &Receiver::applied);
        const osg::UInt64 changes = m_record->getChangeCount();
        QList<osg::UInt32> notified; // container, field, whether the mask is the field's
        const int hook = oxFieldBaseUndoCommand::addNotifyHook(
            [&](osg::UInt32 container, osg::UInt32 field, osg::BitVector mask)
            { notified << container << field << osg::UInt32(mask == osg::BitVector(1) << fieldId); });
        const auto unhook = qScopeGuard([hook] { oxFieldBaseUndoCommand::removeNotifyHook(hook); });

        oxUndoStack& stack = oxUndoStack::get(0);
        stack.add(edit(m_record, fieldId, value));
        QCOMPARE(fieldValue(m_record, fieldId), value);
        QCOMPARE(m_record->getChangeCount(), changes + 1);
        QCOMPARE(m_record->getLastChangedMask(), osg::BitVector(1) << fieldId);
        QCOMPARE(notified, (QList<osg::UInt32>{m_record->getId(), osg::UInt32(fieldId), 1}));
        QCOMPARE(stack.text(0), QString("Set ") + m_record->getFieldName(osg::UInt32(fieldId)));
        stack.undo();
        QCOMPARE(fieldValue(m_record, fieldId), before);
        stack.redo();
        QCOMPARE(applied.count(), 3); // once per run
        QCOMPARE(applied.at(1).at(0), before);
        QCOMPARE(seenInRecord, (QVariantList{value, before, value}));
        QVERIFY(oxLog::lines().empty());
    }

    void editsMergeOnlyWithTheSameTarget_data()
    {
        QTest::addColumn<int>("secondField");
        QTest::addColumn<QByteArray>("secondSlot");
        QTest::addColumn<bool>("otherRecord");
        QTest::addColumn<int>("gap");
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("sharedBuffer"); // both signatures written in turn into one buffer
        const int thickness = SurfaceAnalysisAttachment::StripeThicknessFieldId;
        QTest::newRow("same field") << thickness << QByteArray("valueCommand(float)") << false << 0 << 1 << false;
        QTest::newRow("after the window")
            << thickness << QByteArray("valueCommand(float)") << false << 501 << 2 << false;
        QTest::newRow("other field") << int(SurfaceAnalysisAttachment::StripeSharpnessFieldId)
                                     << QByteArray("valueCommand(float)") << false << 0 << 2 << false;
        QTest::newRow("other record") << thickness << QByteArray("valueCommand(float)") << true << 0 << 2 << false;
        QTest::newRow("other slot") << thickness << QByteArray("missing(float)") << false << 0 << 2 << false;
        QTest::newRow("same buffer, other slot")
            << thickness << QByteArray("otherValueCommand(float)") << false << 0 << 2 << true;
    }
    void editsMergeOnlyWithTheSameTarget()
    {
        QFETCH(int, secondField);
        QFETCH(QByteArray, secondSlot);
        QFETCH(bool, otherRecord);
        QFETCH(int, gap);
        QFETCH(int, steps);
        QFETCH(bool, sharedBuffer);
        const SurfaceAnalysisAttachmentPtr second = otherRecord ? SurfaceAnalysisAttachment::create() : m_record;
        QSignalSpy applied(&m_receiver, &Receiver::applied);
        oxUndoStack& stack = oxUndoStack::get(0);
        char buffer[64];
        qstrcpy(buffer, "valueCommand(float)");
        stack.add(
            edit(m_record, SurfaceAnalysisAttachment::StripeThicknessFieldId, 0.3f, sharedBuffer ? buffer : nullptr));
        s_now += quint64(gap);
        qstrcpy(buffer, secondSlot.constData());
        stack.add(edit(second, secondField, 0.7f, sharedBuffer ? buffer : secondSlot.constData()));
        QCOMPARE(stack.count(), steps);
        // A merged edit keeps the value from before the series and redoes to the newest.
        for (int i = 0; i < steps; ++i)
            stack.undo();
        QCOMPARE(m_record->getStripeThickness(), 0.1f);
        QCOMPARE(applied.last().at(0), QVariant(0.1f));
        for (int i = 0; i < steps; ++i)
            stack.redo();
        QCOMPARE(fieldValue(second, secondField), QVariant(0.7f));
    }

    void goneRecordIsLeftAloneButSlotStillRuns()
    {
        QSignalSpy applied(&m_receiver, &Receiver::applied);
        oxUndoStack& stack = oxUndoStack::get(0);
        stack.add(edit(m_record, SurfaceAnalysisAttachment::CurvatureDrawScaleFieldId, 0.2f));
        m_record = SurfaceAnalysisAttachment::create(); // a new scene, a new record
        const osg::UInt64 changes = osg::FieldContainerFactory::the()->getChangeCount();
        const quint64 notifications = oxFieldBaseUndoCommand::notifyCount();
        stack.undo();
        stack.redo();
        QCOMPARE(osg::FieldContainerFactory::the()->getChangeCount(), changes);
        QCOMPARE(oxFieldBaseUndoCommand::notifyCount(), notifications);
        QCOMPARE(applied.count(), 3);
        QCOMPARE(applied.at(1).at(0), QVariant(0.05f)); // the value kept from before the edit
    }

    void slotFailuresLeaveTheFieldEditWorking()
    {
        QSignalSpy applied(&m_receiver, &Receiver::applied);
        oxUndoStack& stack = oxUndoStack::get(0);
        // A missing slot is logged once, when the edit is made.
        stack.add(edit(m_record, SurfaceAnalysisAttachment::PhongExponentFieldId, 8.f, "exponentCommand(float)"));
        QCOMPARE(m_record->getPhongExponent(), 8.f);
        stack.undo();
        QCOMPARE(m_record->getPhongExponent(), 32.f);
        QCOMPARE(applied.count(), 0);
        QCOMPARE(oxLog::lines(), std::vector<std::string>{"Method not found: Receiver::exponentCommand(float)"});
        oxLog::clear();

        // A float edit of an unsigned field writes nothing, but its slot runs.
        const osg::UInt64 changes = m_record->getChangeCount();
        stack.add(edit(m_record, SurfaceAnalysisAttachment::IsolinesFieldId, 3.5f));
        QCOMPARE(m_record->getIsolines(), 16u);
        QCOMPARE(m_record->getChangeCount(), changes);
        QCOMPARE(applied.count(), 1);
        // An unsigned edit aimed at a float slot writes, but must not hand the slot an unsigned.
        stack.add(edit(m_record, SurfaceAnalysisAttachment::IsolinesFieldId, 7u, "valueCommand(float)"));
        QCOMPARE(m_record->getIsolines(), 7u);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(oxLog::lines(), std::vector<std::string>{"Could not invoke: Receiver::valueCommand(float)"});
        oxLog::clear();

        // A receiver that is gone is skipped silently.
        auto* receiver = new Receiver;
        stack.add(new oxInvokeFieldUndoCommand<unsigned int>(m_record, SurfaceAnalysisAttachment::LineModeFieldId, 2u,
                                                             receiver, "countCommand(uint)", nullptr));
        delete receiver;
        stack.undo();
        QCOMPARE(m_record->getLineMode(), 0u);
        QVERIFY(oxLog::lines().empty());
    }

    void switchEditSwapsTheSwitchBeforeItsSlot()
    {
        bool active = false;
        QList<bool> seenInSwitch;
        QObject probe; // disconnects when the test leaves, also on failure
        connect(&m_receiver, &Receiver::applied, &probe, [&] { seenInSwitch << active; });
        QSignalSpy applied(&m_receiver, &Receiver::applied);
        oxUndoStack& stack = oxUndoStack::get(0);
        stack.add(new oxInvokePValUndoCommand<bool>(oxUndoString("AnalysisActive", QString()), true, &m_receiver,
                                                    "flagCommand(bool)", nullptr, &active));
        QCOMPARE(active, true);
        stack.undo();
        QCOMPARE(active, false);
        QCOMPARE(seenInSwitch, (QList<bool>{true, false}));
        QCOMPARE(applied.at(1).at(0), QVariant(false));
        QCOMPARE(stack.text(0), QString("AnalysisActive"));
        // Without a target nothing is written and the kept value stays.
        stack.add(new oxInvokePValUndoCommand<bool>(oxUndoString("UiVisibility", QString()), true, &m_receiver,
                                                    "flagCommand(bool)", nullptr, nullptr));
        stack.undo();
        QCOMPARE(applied.at(3).at(0), QVariant(true));

        // The pointer edit keeps its base's id; the target test alone keeps switches apart.
        stack.clear();
        bool visible = false;
        for (bool* target : {&active, &visible, &visible})
            stack.add(new oxInvokePValUndoCommand<bool>(oxUndoString("Switch", QString()), true, &m_receiver,
                                                        "flagCommand(bool)", nullptr, target));
        QCOMPARE(stack.count(), 2);
        QCOMPARE(stack.undoStack()->command(0)->id(), NowhereValue().id());
    }

    void idsArePerInstantiation()
    {
        oxInvokeFieldUndoCommand<float> a(m_record, 7, 1.f, nullptr, "", nullptr);
        oxInvokeFieldUndoCommand<float> b(m_record, 8, 2.f, nullptr, "", nullptr);
        oxInvokeFieldUndoCommand<unsigned int> c(m_record, 4, 1u, nullptr, "", nullptr);
        oxFieldUndoCommand<float> d(m_record, 7, 1.f, nullptr);
        QCOMPARE(a.id(), b.id());
        QVERIFY(a.id() != c.id() && a.id() != d.id() && c.id() != d.id());
        // The bool edit is the invoking edit of a bool field under an id of its own.
        static_assert(std::is_base_of_v<oxInvokeFieldUndoCommand<bool>, oxInvokeBoolFieldUndoCommand>);
        oxInvokeBoolFieldUndoCommand e(m_record, 10, true, nullptr, "", nullptr);
        oxInvokeBoolFieldUndoCommand f(m_record, 24, false, nullptr, "", nullptr);
        oxInvokeFieldUndoCommand<bool> g(m_record, 10, true, nullptr, "", nullptr);
        QCOMPARE(e.id(), f.id());
        QVERIFY(e.id() != g.id() && e.id() != a.id() && e.id() != d.id());
    }
};

QTEST_GUILESS_MAIN(tst_UndoCommands)
#include "tst_undocommands.moc"
