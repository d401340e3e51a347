#include "oxPanelBindings.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QSpinBox>

#include <algorithm>
#include <climits>
#include <cmath>

QFormLayout* oxPanelBindings::group(const QString& title)
{
    auto* box = new QGroupBox(title, _owner);
    auto* form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    _owner->layout()->addWidget(box);
    return form;
}

void oxPanelBindings::bind(QFormLayout* form, const QString& label, Binding binding)
{
    if (label.isEmpty())
        form->addRow(binding.widget);
    else
    {
        auto* text = new QLabel(label, _owner);
        form->addRow(text, binding.widget);
        binding.label = text;
    }
    add(std::move(binding));
}

void oxPanelBindings::add(Binding binding)
{
    binding.widget->setObjectName(binding.name);
    _bindings.push_back(std::move(binding));
}

void oxPanelBindings::refresh(bool simple)
{
    _refreshing = true;
    for (const Binding& b : _bindings)
    {
        {
            const QSignalBlocker block(b.widget);
            b.show();
        }
        b.widget->setEnabled(!b.applies || b.applies());
        b.widget->setVisible(b.basic || !simple);
        if (b.label)
        {
            b.label->setEnabled(b.widget->isEnabled());
            b.label->setVisible(b.basic || !simple);
        }
    }
    _refreshing = false;
}

QVariantMap oxPanelBindings::state() const
{
    QVariantMap map;
    for (const Binding& b : _bindings)
    {
        map[b.name] = b.value();
        map[b.name + ".enabled"] = b.widget->isEnabled();
        map[b.name + ".visible"] = !b.widget->isHidden();
    }
    return map;
}

QWidget* oxPanelBindings::control(const QString& name) const
{
    for (const Binding& b : _bindings)
        if (b.name == name)
            return b.widget;
    return _owner->findChild<QWidget*>(name);
}

std::pair<double, double> oxPanelBindings::spinRange(const oxSettingDomain& d, double defaultValue, double step)
{
    const double lo = d.minOpen && defaultValue != d.min ? d.min + step : d.min;
    const double hi = d.maxOpen ? d.max - step : d.max;
    return {lo, hi};
}

oxPanelBindings::Binding oxPanelBindings::check(const QString& text, Get<bool> get, Set<bool> set)
{
    auto* box = new QCheckBox(text, _owner);
    QObject::connect(box, &QCheckBox::toggled, _owner,
                     [this, box, get, set](bool on)
                     {
                         if (!_refreshing && !set(on))
                         {
                             const QSignalBlocker block(box);
                             box->setChecked(get());
                         }
                     });
    Binding b;
    b.widget = box;
    b.show = [box, get] { box->setChecked(get()); };
    b.value = [box] { return QVariant(box->isChecked()); };
    return b;
}

oxPanelBindings::Binding oxPanelBindings::count(const oxSettingDomain& domain, unsigned defaultValue, Get<unsigned> get,
                                                Set<unsigned> set)
{
    auto* spin = new QSpinBox(_owner);
    const auto range = spinRange(domain, defaultValue, 1);
    spin->setRange(int(std::min(range.first, double(INT_MAX))), int(std::min(range.second, double(INT_MAX))));
    spin->setKeyboardTracking(false);
    QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), _owner,
                     [this, spin, get, set](int n)
                     {
                         if (!_refreshing && !set(unsigned(n)))
                         {
                             const QSignalBlocker block(spin);
                             spin->setValue(int(get()));
                         }
                     });
    Binding b;
    b.widget = spin;
    b.show = [spin, get] { spin->setValue(int(get())); };
    b.value = [spin] { return QVariant(spin->value()); };
    return b;
}

oxPanelBindings::Binding oxPanelBindings::number(const oxSettingDomain& domain, float defaultValue, int decimals,
                                                 Get<float> get, Set<float> set)
{
    auto* spin = new QDoubleSpinBox(_owner);
    spin->setDecimals(decimals);
    const auto range = spinRange(domain, defaultValue, std::pow(10.0, -decimals));
    // Sized for seven digits before the point, not for all of a domain up to the largest float:
    // the box takes the field's width.
    const double shown = 1e6;
    if (range.second > shown)
    {
        spin->setRange(range.first, shown);
        spin->setMinimumWidth(spin->minimumSizeHint().width());
        spin->setSizePolicy(QSizePolicy::Ignored, spin->sizePolicy().verticalPolicy());
    }
    spin->setRange(range.first, range.second);
    spin->setKeyboardTracking(false);
    QObject::connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), _owner,
                     [this, spin, get, set](double v)
                     {
                         if (!_refreshing && !set(float(v)))
                         {
                             const QSignalBlocker block(spin);
                             spin->setValue(double(get()));
                         }
                     });
    Binding b;
    b.widget = spin;
    b.show = [spin, get] { spin->setValue(double(get())); };
    b.value = [spin] { return QVariant(spin->value()); };
    return b;
}
