// The panels' binding kit: a control shows its model's value, a change goes to the setter, a
// refused one puts the control back, and refresh decides what is enabled and shown.
#include "oxPanelBindings.h"

#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtTest>

namespace
{
// A model that takes values up to a limit and counts its setters' calls.
struct Model
{
    double value = 1;
    double limit = 10;
    int calls = 0;

    bool set(double v)
    {
        ++calls;
        if (v > limit)
            return false;
        value = v;
        return true;
    }
};

void enter(QWidget* control, double v)
{
    if (auto* box = qobject_cast<QAbstractButton*>(control))
        box->setChecked(v != 0);
    else if (auto* count = qobject_cast<QSpinBox*>(control))
        count->setValue(int(v));
    else
        qobject_cast<QDoubleSpinBox*>(control)->setValue(v);
}
} // namespace

class tst_PanelBindings : public QObject
{
    Q_OBJECT

private:
    Model model;

    oxPanelBindings::Binding make(oxPanelBindings& b, const QString& kind)
    {
        const oxSettingDomain domain = oxSettingDomain::atLeast(0).atMost(100);
        Model* m = &model;
        if (kind == "check")
            return b.check(
                "on", [m] { return m->value != 0; }, [m](bool on) { return m->set(on ? 1 : 0); });
        if (kind == "count")
            return b.count(
                domain, 0, [m] { return unsigned(m->value); }, [m](unsigned n) { return m->set(n); });
        return b.number(
            domain, 0, 2, [m] { return float(m->value); }, [m](float v) { return m->set(v); });
    }

private Q_SLOTS:
    void init() { model = Model(); }

    void aRefusedValueIsPutBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("limit");
        QTest::addColumn<double>("entered");
        QTest::newRow("check") << "check" << 0.0 << 1.0;
        QTest::newRow("count") << "count" << 10.0 << 42.0;
        QTest::newRow("number") << "number" << 10.0 << 42.5;
    }

    void aRefusedValueIsPutBack()
    {
        QFETCH(QString, kind);
        QFETCH(double, limit);
        QFETCH(double, entered);
        model.value = 0;
        QWidget owner;
        new QVBoxLayout(&owner);
        oxPanelBindings bindings(&owner);
        oxPanelBindings::Binding b = make(bindings, kind);
        b.name = "Value";
        bindings.bind(bindings.group("Values"), "Value", b);
        bindings.refresh();
        QCOMPARE(model.calls, 0);

        model.limit = limit;
        enter(bindings.control("Value"), entered);
        QCOMPARE(model.calls, 1);
        QCOMPARE(model.value, 0.0);
        QCOMPARE(bindings.state().value("Value").toDouble(), 0.0);
    }

    // A control that does not apply is disabled with its label; simple mode hides the others.
    void refreshEnablesAndShows_data()
    {
        QTest::addColumn<bool>("applies");
        QTest::addColumn<bool>("basic");
        QTest::addColumn<bool>("simple");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("visible");
        QTest::newRow("applies") << true << false << false << true << true;
        QTest::newRow("does not apply") << false << true << false << false << true;
        QTest::newRow("simple, basic") << true << true << true << true << true;
        QTest::newRow("simple, not basic") << true << false << true << true << false;
    }

    void refreshEnablesAndShows()
    {
        QFETCH(bool, applies);
        QFETCH(bool, basic);
        QFETCH(bool, simple);
        QFETCH(bool, enabled);
        QFETCH(bool, visible);
        QWidget owner;
        new QVBoxLayout(&owner);
        oxPanelBindings bindings(&owner);
        oxPanelBindings::Binding b = make(bindings, "number");
        b.name = "Value";
        b.applies = [applies] { return applies; };
        b.basic = basic;
        bindings.bind(bindings.group("Values"), "Value", b);
        bindings.refresh(simple);
        const QVariantMap state = bindings.state();
        QCOMPARE(state.value("Value.enabled").toBool(), enabled);
        QCOMPARE(state.value("Value.visible").toBool(), visible);
        const QList<QLabel*> labels = owner.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0]->isEnabled(), enabled);
        QCOMPARE(!labels[0]->isHidden(), visible);
        QCOMPARE(model.calls, 0);
    }
};

QTEST_MAIN(tst_PanelBindings)
#include "tst_panelbindings.moc"
