#include "oxHostAnalysisPanelControls.h"

#include "oxHostAnalysisModel.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

typedef oxHostAnalysisModel M;
namespace R = oxHostAnalysisRows;

namespace
{
M* model()
{
    return M::the();
}

QString vectorText(const osg::Vec3f& v)
{
    return QString("(%1, %2, %3)")
        .arg(double(v[0]), 0, 'g', 4)
        .arg(double(v[1]), 0, 'g', 4)
        .arg(double(v[2]), 0, 'g', 4);
}

QVariant vectorValue(const osg::Vec3f& v)
{
    return QVariantList{double(v[0]), double(v[1]), double(v[2])};
}

QString label(const oxHostAnalysisRow& row)
{
    return oxHostAnalysisPanelControls::tr(row.label);
}

// A spin box's ends within the row's domain, in steps of `step`; an open end the step inside it,
// unless the default sits there (DeviationTolerance's 0 is shown as "not set").
std::pair<double, double> spinRange(const oxHostAnalysisRow& row, double defaultValue, double step)
{
    const oxSettingDomain& d = row.domain;
    const double lo = d.minOpen && defaultValue != d.min ? d.min + step : d.min;
    const double hi = d.maxOpen ? d.max - step : d.max;
    return {lo, hi};
}
} // namespace

oxHostAnalysisPanelControls::oxHostAnalysisPanelControls(QWidget* parent) : QWidget(parent)
{
    setObjectName("hostAnalysisControls");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    addDraftControls();
    addCombControls();
    addDeviationControls();

    const QMetaObject& mo = M::staticMetaObject;
    const int refreshSlot = metaObject()->indexOfSlot("refresh()");
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        if (mo.method(i).methodType() == QMetaMethod::Signal && mo.method(i).name().endsWith("Changed"))
            connect(model(), mo.method(i), this, metaObject()->method(refreshSlot));
    refresh();
}

QFormLayout* oxHostAnalysisPanelControls::section(const QString& title)
{
    auto* box = new QGroupBox(title, this);
    auto* form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout()->addWidget(box);
    return form;
}

void oxHostAnalysisPanelControls::bind(QFormLayout* form, const QString& label, Binding binding)
{
    binding.widget->setObjectName(binding.name);
    if (label.isEmpty())
        form->addRow(binding.widget);
    else
        form->addRow(label, binding.widget);
    _bindings.push_back(std::move(binding));
}

namespace
{
// A control with what it shows, before it has a name.
template <class W> struct Control
{
    W* widget;
    std::function<void()> show;
    std::function<QVariant()> value;
};

// The controls' kinds, each bound to a getter and a setter of the model.
struct Make
{
    QWidget* owner;
    const bool* refreshing;

    Control<QCheckBox> check(const oxHostAnalysisRow& row, bool (M::*get)() const,
                             bool (M::*set)(bool, std::string*)) const
    {
        auto* box = new QCheckBox(label(row), owner);
        const bool* busy = refreshing;
        // A refused value (the deviation without a reference) puts the box back.
        QObject::connect(box, &QCheckBox::toggled, owner,
                         [busy, box, get, set](bool on)
                         {
                             if (!*busy && !(model()->*set)(on, nullptr))
                             {
                                 const QSignalBlocker block(box);
                                 box->setChecked((model()->*get)());
                             }
                         });
        return {box, [box, get] { box->setChecked((model()->*get)()); }, [box] { return QVariant(box->isChecked()); }};
    }

    Control<QSpinBox> count(const oxHostAnalysisRow& row, unsigned defaultValue, unsigned (M::*get)() const,
                            bool (M::*set)(unsigned, std::string*)) const
    {
        auto* spin = new QSpinBox(owner);
        const auto range = spinRange(row, defaultValue, 1);
        spin->setRange(int(std::min(range.first, double(INT_MAX))), int(std::min(range.second, double(INT_MAX))));
        spin->setKeyboardTracking(false);
        const bool* busy = refreshing;
        QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), owner,
                         [busy, set](int n)
                         {
                             if (!*busy)
                                 (model()->*set)(unsigned(n), nullptr);
                         });
        return {spin, [spin, get] { spin->setValue(int((model()->*get)())); },
                [spin] { return QVariant(spin->value()); }};
    }

    Control<QDoubleSpinBox> number(const oxHostAnalysisRow& row, float defaultValue, int decimals,
                                   float (M::*get)() const, bool (M::*set)(float, std::string*)) const
    {
        auto* spin = new QDoubleSpinBox(owner);
        spin->setDecimals(decimals);
        const auto range = spinRange(row, defaultValue, std::pow(10.0, -decimals));
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
        const bool* busy = refreshing;
        QObject::connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), owner,
                         [busy, spin, get, set](double v)
                         {
                             if (!*busy && !(model()->*set)(float(v), nullptr))
                             {
                                 const QSignalBlocker block(spin);
                                 spin->setValue(double((model()->*get)()));
                             }
                         });
        return {spin, [spin, get] { spin->setValue(double((model()->*get)())); },
                [spin] { return QVariant(spin->value()); }};
    }
};
} // namespace

void oxHostAnalysisPanelControls::addDraftControls()
{
    QFormLayout* form = section(tr("Draft"));
    const Make make{this, &_refreshing};
    const oxHostAnalysisSettings defaults;
    {
        const auto c = make.check(R::DraftActive, &M::getDraftActive, &M::setDraftActive);
        bind(form, QString(), Binding{R::DraftActive.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(R::DraftAngle, defaults.DraftAngle, 2, &M::getDraftAngle, &M::setDraftAngle);
        c.widget->setSuffix(QString::fromUtf8("\u00b0"));
        c.widget->setToolTip(tr("The least draft a face needs, in degrees"));
        bind(form, label(R::DraftAngle), Binding{R::DraftAngle.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.check(R::DraftRamp, &M::getDraftRamp, &M::setDraftRamp);
        bind(form, QString(), Binding{R::DraftRamp.name, c.widget, c.show, c.value});
    }

    // The pull direction: the axes, the view, or a face's normal; the label shows the value.
    auto* shown = new QLabel(this);
    bind(form, label(R::DraftDirection),
         Binding{R::DraftDirection.name, shown, [shown] { shown->setText(vectorText(model()->getDraftDirection())); },
                 [] { return vectorValue(model()->getDraftDirection()); }});
    auto* axes = new QWidget(this);
    auto* grid = new QHBoxLayout(axes);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    const std::pair<const char*, osg::Vec3f> directions[] = {
        {"+X", osg::Vec3f(1, 0, 0)},  {"+Y", osg::Vec3f(0, 1, 0)},  {"+Z", osg::Vec3f(0, 0, 1)},
        {"-X", osg::Vec3f(-1, 0, 0)}, {"-Y", osg::Vec3f(0, -1, 0)}, {"-Z", osg::Vec3f(0, 0, -1)}};
    for (const auto& axis : directions)
    {
        auto* button = new QPushButton(axis.first, axes);
        button->setObjectName(QString("DraftDirection.") + axis.first);
        button->setMinimumWidth(28);
        const osg::Vec3f d = axis.second;
        connect(button, &QPushButton::clicked, this, [d] { model()->setDraftDirection(d); });
        grid->addWidget(button);
    }
    form->addRow(axes);

    auto* more = new QWidget(this);
    auto* row = new QHBoxLayout(more);
    row->setContentsMargins(0, 0, 0, 0);
    auto* view = new QPushButton(tr("View direction"), more);
    view->setObjectName("DraftDirection.View");
    view->setToolTip(tr("Pull towards the viewer: faces facing you read +90\u00b0"));
    connect(view, &QPushButton::clicked, this, [] { model()->setDraftDirection(M::viewDirection()); });
    auto* pick = new QPushButton(tr("Pick a face"), more);
    pick->setObjectName("DraftDirection.Pick");
    pick->setCheckable(true);
    pick->setToolTip(tr("Click the model: the pull direction becomes the surface normal there"));
    connect(pick, &QPushButton::toggled, this,
            [this](bool on)
            {
                if (!_refreshing)
                    model()->setFacePick(on);
            });
    row->addWidget(view);
    row->addWidget(pick);
    form->addRow(more);
    _bindings.push_back(Binding{"FacePick", pick, [pick] { pick->setChecked(model()->facePick()); },
                                [pick] { return QVariant(pick->isChecked()); }});
}

void oxHostAnalysisPanelControls::addCombControls()
{
    QFormLayout* form = section(tr("Combs"));
    const Make make{this, &_refreshing};
    const oxHostAnalysisSettings defaults;
    {
        const auto c = make.check(R::CombActive, &M::getCombActive, &M::setCombActive);
        bind(form, QString(), Binding{R::CombActive.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.check(R::CombEdges, &M::getCombEdges, &M::setCombEdges);
        bind(form, QString(), Binding{R::CombEdges.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.count(R::CombSections, defaults.CombSections, &M::getCombSections, &M::setCombSections);
        bind(form, label(R::CombSections), Binding{R::CombSections.name, c.widget, c.show, c.value});
    }
    auto* normal = new QWidget(this);
    auto* row = new QHBoxLayout(normal);
    row->setContentsMargins(0, 0, 0, 0);
    auto* shown = new QLabel(normal);
    row->addWidget(shown, 1);
    const std::pair<const char*, osg::Vec3f> axes[] = {
        {"X", osg::Vec3f(1, 0, 0)}, {"Y", osg::Vec3f(0, 1, 0)}, {"Z", osg::Vec3f(0, 0, 1)}};
    for (const auto& axis : axes)
    {
        auto* button = new QPushButton(axis.first, normal);
        button->setObjectName(QString("CombSectionNormal.") + axis.first);
        button->setMinimumWidth(28);
        const osg::Vec3f d = axis.second;
        connect(button, &QPushButton::clicked, this, [d] { model()->setCombSectionNormal(d); });
        row->addWidget(button);
    }
    bind(form, label(R::CombSectionNormal),
         Binding{R::CombSectionNormal.name, normal,
                 [shown] { shown->setText(vectorText(model()->getCombSectionNormal())); },
                 [] { return vectorValue(model()->getCombSectionNormal()); }});
    {
        const auto c = make.count(R::CombSamples, defaults.CombSamples, &M::getCombSamples, &M::setCombSamples);
        bind(form, label(R::CombSamples), Binding{R::CombSamples.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(R::CombScale, defaults.CombScale, 4, &M::getCombScale, &M::setCombScale);
        c.widget->setSpecialValueText(tr("fitted"));
        c.widget->setToolTip(tr("Tooth length per unit curvature; fitted: the longest tooth is a tenth of the model"));
        bind(form, label(R::CombScale), Binding{R::CombScale.name, c.widget, c.show, c.value});
    }
}

void oxHostAnalysisPanelControls::addDeviationControls()
{
    QFormLayout* form = section(tr("Deviation"));
    const Make make{this, &_refreshing};
    const oxHostAnalysisSettings defaults;
    {
        const auto c = make.check(R::DeviationActive, &M::getDeviationActive, &M::setDeviationActive);
        c.widget->setToolTip(tr("Colours the model by its distance to the reference (File > Open reference)"));
        bind(form, QString(), Binding{R::DeviationActive.name, c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(R::DeviationTolerance, defaults.DeviationTolerance, 5, &M::getDeviationTolerance,
                                   &M::setDeviationTolerance);
        c.widget->setSpecialValueText(tr("size / 1000"));
        c.widget->setToolTip(tr("Distances within \u00b1 this read as neutral; by default a thousandth of the "
                                "reference's size"));
        bind(form, label(R::DeviationTolerance), Binding{R::DeviationTolerance.name, c.widget, c.show, c.value});
    }
    {
        const auto c =
            make.number(R::DeviationRange, defaults.DeviationRange, 5, &M::getDeviationRange, &M::setDeviationRange);
        c.widget->setSpecialValueText(tr("fitted"));
        c.widget->setToolTip(tr("The distance at the ramp's ends; fitted: 98% of the model lies within it"));
        bind(form, label(R::DeviationRange), Binding{R::DeviationRange.name, c.widget, c.show, c.value});
    }
}

void oxHostAnalysisPanelControls::refresh()
{
    _refreshing = true;
    for (const Binding& b : _bindings)
    {
        const QSignalBlocker block(b.widget);
        b.show();
    }
    _refreshing = false;
}

QVariantMap oxHostAnalysisPanelControls::state() const
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

QWidget* oxHostAnalysisPanelControls::control(const QString& name) const
{
    for (const Binding& b : _bindings)
        if (b.name == name)
            return b.widget;
    return findChild<QWidget*>(name);
}
