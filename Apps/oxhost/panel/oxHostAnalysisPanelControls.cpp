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

#include <utility>

typedef oxHostAnalysisModel M;

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

    Control<QCheckBox> check(const QString& text, bool (M::*get)() const, bool (M::*set)(bool, std::string*)) const
    {
        auto* box = new QCheckBox(text, owner);
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

    Control<QSpinBox> count(int lo, int hi, unsigned (M::*get)() const, bool (M::*set)(unsigned, std::string*)) const
    {
        auto* spin = new QSpinBox(owner);
        spin->setRange(lo, hi);
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

    Control<QDoubleSpinBox> number(double lo, double hi, int decimals, float (M::*get)() const,
                                   bool (M::*set)(float, std::string*)) const
    {
        auto* spin = new QDoubleSpinBox(owner);
        spin->setRange(lo, hi);
        spin->setDecimals(decimals);
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
    {
        const auto c = make.check(tr("Draft on"), &M::getDraftActive, &M::setDraftActive);
        bind(form, QString(), Binding{"DraftActive", c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(0, 89.99, 2, &M::getDraftAngle, &M::setDraftAngle);
        c.widget->setSuffix(QString::fromUtf8("\u00b0"));
        c.widget->setToolTip(tr("The least draft a face needs, in degrees"));
        bind(form, tr("Minimum angle"), Binding{"DraftAngle", c.widget, c.show, c.value});
    }
    {
        const auto c = make.check(tr("Colour ramp over -90..90\u00b0"), &M::getDraftRamp, &M::setDraftRamp);
        bind(form, QString(), Binding{"DraftRamp", c.widget, c.show, c.value});
    }

    // The pull direction: the axes, the view, or a face's normal; the label shows the value.
    auto* shown = new QLabel(this);
    bind(form, tr("Pull direction"),
         Binding{"DraftDirection", shown, [shown] { shown->setText(vectorText(model()->getDraftDirection())); },
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
    {
        const auto c = make.check(tr("Combs on"), &M::getCombActive, &M::setCombActive);
        bind(form, QString(), Binding{"CombActive", c.widget, c.show, c.value});
    }
    {
        const auto c = make.check(tr("On every edge"), &M::getCombEdges, &M::setCombEdges);
        bind(form, QString(), Binding{"CombEdges", c.widget, c.show, c.value});
    }
    {
        const auto c = make.count(0, 1000, &M::getCombSections, &M::setCombSections);
        bind(form, tr("Sections"), Binding{"CombSections", c.widget, c.show, c.value});
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
    bind(form, tr("Section normal"),
         Binding{"CombSectionNormal", normal, [shown] { shown->setText(vectorText(model()->getCombSectionNormal())); },
                 [] { return vectorValue(model()->getCombSectionNormal()); }});
    {
        const auto c = make.count(2, 100000, &M::getCombSamples, &M::setCombSamples);
        bind(form, tr("Teeth per curve"), Binding{"CombSamples", c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(0, 1e6, 4, &M::getCombScale, &M::setCombScale);
        c.widget->setSpecialValueText(tr("fitted"));
        c.widget->setToolTip(tr("Tooth length per unit curvature; fitted: the longest tooth is a tenth of the model"));
        bind(form, tr("Scale"), Binding{"CombScale", c.widget, c.show, c.value});
    }
}

void oxHostAnalysisPanelControls::addDeviationControls()
{
    QFormLayout* form = section(tr("Deviation"));
    const Make make{this, &_refreshing};
    {
        const auto c = make.check(tr("Deviation on"), &M::getDeviationActive, &M::setDeviationActive);
        c.widget->setToolTip(tr("Colours the model by its distance to the reference (File > Open reference)"));
        bind(form, QString(), Binding{"DeviationActive", c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(0, 1e6, 5, &M::getDeviationTolerance, &M::setDeviationTolerance);
        c.widget->setSpecialValueText(tr("size / 1000"));
        c.widget->setToolTip(tr("Distances within \u00b1 this read as neutral; by default a thousandth of the "
                                "reference's size"));
        bind(form, tr("Tolerance"), Binding{"DeviationTolerance", c.widget, c.show, c.value});
    }
    {
        const auto c = make.number(0, 1e6, 5, &M::getDeviationRange, &M::setDeviationRange);
        c.widget->setSpecialValueText(tr("fitted"));
        c.widget->setToolTip(tr("The distance at the ramp's ends; fitted: 98% of the model lies within it"));
        bind(form, tr("Colour range"), Binding{"DeviationRange", c.widget, c.show, c.value});
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
