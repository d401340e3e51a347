#include "oxSurfaceAnalysisPanelWidget.h"

#include "oxOSGWidget.h"
#include "OSGSurfaceAnalysisModes.h"
#include "oxHostAnalysisModel.h"
#include "oxSurfaceAnalysisPanel.h"
#include "oxSurfaceAnalysisModel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDockWidget>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMetaMethod>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

typedef oxSurfaceAnalysisModel M;

namespace
{
M* model()
{
    return M::the();
}

bool reflection()
{
    const unsigned mode = model()->getAnalysisMode();
    return mode == osg::ReflectionLinesAnalysis || mode == osg::HighlightLinesAnalysis;
}
bool curvature()
{
    return model()->getAnalysisMode() == osg::CurvatureAnalysis;
}
bool lines()
{
    return !curvature();
}
bool planeLights()
{
    return reflection() && model()->getReflectionMode() == osg::ParallelLinearLights;
}
bool sphereLights()
{
    return reflection() && model()->getReflectionMode() == osg::SphericalLights;
}
bool always()
{
    return true;
}

QColor toColor(const osg::Vec3f& c)
{
    return QColor::fromRgbF(std::clamp(double(c[0]), 0.0, 1.0), std::clamp(double(c[1]), 0.0, 1.0),
                            std::clamp(double(c[2]), 0.0, 1.0));
}

void paintSwatch(QToolButton* button, const QColor& color)
{
    QPixmap swatch(28, 14);
    swatch.fill(color);
    button->setIcon(QIcon(swatch));
    button->setIconSize(swatch.size());
}

const int SliderSteps = 100;
} // namespace

oxSurfaceAnalysisPanelWidget::oxSurfaceAnalysisPanelWidget(QDockWidget* dock, QWidget* parent)
    : QWidget(parent ? parent : dock), _dock(dock), _bindings(this)
{
    setObjectName("surfaceAnalysisPanel");
    buildControls();

    // Every change signal of the module refreshes the controls.
    const QMetaObject& mo = M::staticMetaObject;
    const int refreshSlot = metaObject()->indexOfSlot("refresh()");
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        if (mo.method(i).methodType() == QMetaMethod::Signal && mo.method(i).name().endsWith("Changed"))
            connect(model(), mo.method(i), this, metaObject()->method(refreshSlot));

    if (_dock)
    {
        _dock->installEventFilter(this);
        connect(model(), &M::uiVisibilityChanged, _dock,
                [this](bool visible)
                {
                    if (_dock->isVisible() != visible)
                        _dock->setVisible(visible);
                });
    }
    refresh();
}

oxSurfaceAnalysisPanelWidget::~oxSurfaceAnalysisPanelWidget()
{
    if (_dock)
        _dock->removeEventFilter(this);
}

// Showing or hiding the dock is the module's interface visibility, as the host's
// "showSurfaceAnalysisModule" callback sets it. Hiding the whole window is not.
bool oxSurfaceAnalysisPanelWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == _dock && (event->type() == QEvent::Show || event->type() == QEvent::Hide) && !event->spontaneous())
    {
        const bool visible = event->type() == QEvent::Show;
        const QWidget* window = _dock->window();
        if ((visible || (window && window->isVisible())) && model()->getUiVisibility() != visible)
            model()->setUiVisibility(visible);
    }
    return QWidget::eventFilter(watched, event);
}

void oxSurfaceAnalysisPanelWidget::buildControls()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    addAnalysisControls();
    addSurfaceControls();
    addLightControls();
    addCurvatureControls();
    addViewControls();
}

// Controls bound to a getter and a setter of the module; named() completes the binding. The
// module's setters take every value.
oxSurfaceAnalysisPanelWidget::Binding oxSurfaceAnalysisPanelWidget::check(const QString& text, bool (M::*get)() const,
                                                                          void (M::*set)(bool))
{
    return _bindings.check(
        text, [get] { return (model()->*get)(); },
        [set](bool on)
        {
            (model()->*set)(on);
            return true;
        });
}

oxSurfaceAnalysisPanelWidget::Binding
oxSurfaceAnalysisPanelWidget::combo(const QStringList& items, unsigned (M::*get)() const, void (M::*set)(unsigned))
{
    auto* box = new QComboBox(this);
    box->addItems(items);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    connect(box, qOverload<int>(&QComboBox::activated), this,
            [this, set](int index)
            {
                if (!_bindings.refreshing() && index >= 0)
                    (model()->*set)(unsigned(index));
            });
    return Binding{QString(),
                   box,
                   [box, get] { box->setCurrentIndex(int((model()->*get)())); },
                   [box] { return QVariant(box->currentIndex()); },
                   always,
                   true,
                   nullptr};
}

// A slider over [lo, hi] in SliderSteps; its steps are edits that the undo stack merges.
oxSurfaceAnalysisPanelWidget::Binding oxSurfaceAnalysisPanelWidget::slider(float lo, float hi, float (M::*get)() const,
                                                                           void (M::*set)(float))
{
    auto* s = new QSlider(Qt::Horizontal, this);
    s->setRange(0, SliderSteps);
    connect(s, &QSlider::valueChanged, this,
            [this, s, lo, hi, set](int step)
            {
                if (!_bindings.refreshing())
                    (model()->*set)(lo + (hi - lo) * float(step) / float(s->maximum()));
            });
    return Binding{QString(),
                   s,
                   [s, lo, hi, get]
                   { s->setValue(int(std::lround(((model()->*get)() - lo) / (hi - lo) * float(s->maximum())))); },
                   [s, lo, hi] { return QVariant(double(lo + (hi - lo) * float(s->value()) / float(s->maximum()))); },
                   always,
                   true,
                   nullptr};
}

oxSurfaceAnalysisPanelWidget::Binding
oxSurfaceAnalysisPanelWidget::number(double lo, double hi, int decimals, float (M::*get)() const, void (M::*set)(float))
{
    return _bindings.number(
        oxSettingDomain{lo, hi}, float(lo), decimals, [get] { return (model()->*get)(); },
        [set](float v)
        {
            (model()->*set)(v);
            return true;
        });
}

oxSurfaceAnalysisPanelWidget::Binding oxSurfaceAnalysisPanelWidget::color(osg::Vec3f (M::*get)() const,
                                                                          void (M::*set)(const osg::Vec3f&),
                                                                          const QString& title)
{
    auto* button = new QToolButton(this);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(button, &QToolButton::clicked, this,
            [this, get, set, title]
            {
                const QColor chosen = QColorDialog::getColor(toColor((model()->*get)()), this, title);
                if (chosen.isValid())
                    (model()->*set)(osg::Vec3f(float(chosen.redF()), float(chosen.greenF()), float(chosen.blueF())));
            });
    return Binding{QString(),
                   button,
                   [button, get] { paintSwatch(button, toColor((model()->*get)())); },
                   [get]
                   {
                       const osg::Vec3f c = (model()->*get)();
                       return QVariant(QVariantList{double(c[0]), double(c[1]), double(c[2])});
                   },
                   always,
                   true,
                   nullptr};
}

oxSurfaceAnalysisPanelWidget::Binding oxSurfaceAnalysisPanelWidget::named(Binding b, const char* name,
                                                                          bool (*applies)(), bool basic)
{
    b.name = name;
    b.applies = applies;
    b.basic = basic;
    return b;
}

void oxSurfaceAnalysisPanelWidget::addAnalysisControls()
{
    QFormLayout* form = _bindings.group(tr("Analysis"));
    {
        Binding active = check(tr("Analysis on"), &M::getAnalysisActive, &M::setAnalysisActive);
        // Showing the module's interface sets AnalysisActive but leaves the renderer in its own
        // mode; the box says what the view shows, so that a click switches the analysis on.
        auto* box = static_cast<QCheckBox*>(active.widget);
        // Switched on over a host analysis that colours the surface, that goes off in the same undo step.
        disconnect(box, &QCheckBox::toggled, this, nullptr);
        connect(box, &QCheckBox::toggled, this,
                [this](bool on)
                {
                    if (_bindings.refreshing())
                        return;
                    if (on && oxHostAnalysisModel::the()->colouring())
                        oxSurfaceAnalysisPanel::switchModuleAnalysisOn([] { model()->setAnalysisActive(true); });
                    else
                        model()->setAnalysisActive(on);
                });
        active.show = [box]
        {
            box->setChecked(model()->getAnalysisActive() &&
                            oxOSGWidget::getRenderingMode(-1) == oxOSGWidget::AnalysisRenderingMode);
        };
        _bindings.bind(form, QString(), named(active, "AnalysisActive", always, true));
    }
    _bindings.bind(form, tr("Kind"),
                   named(combo({tr("Isophotes"), tr("Reflection lines"), tr("Highlight lines"), tr("Curvature")},
                               &M::getAnalysisMode, &M::setAnalysisMode),
                         "AnalysisMode", always, true));
    _bindings.bind(form, tr("Lights"),
                   named(combo({tr("Light sphere"), tr("Light plane")}, &M::getReflectionMode, &M::setReflectionMode),
                         "ReflectionMode", reflection, true));
    _bindings.bind(
        form, tr("Draw"),
        named(combo({tr("Lines"), tr("Stripes")}, &M::getLineMode, &M::setLineMode), "LineMode", lines, true));
    {
        Binding count = _bindings.count(
            oxSettingDomain{1, 4096}, 1u, [] { return model()->getIsoLineCount(); },
            [](unsigned n)
            {
                model()->setIsoLineCount(n);
                return true;
            });
        _bindings.bind(form, tr("Count"), named(count, "IsoLineCount", always, true));
    }
    _bindings.bind(
        form, tr("Thickness"),
        named(slider(0.f, 1.f, &M::getStripeThickness, &M::setStripeThickness), "StripeThickness", lines, true));
    _bindings.bind(
        form, tr("Sharpness"),
        named(slider(0.f, 1.f, &M::getStripeSharpness, &M::setStripeSharpness), "StripeSharpness", lines, false));
    _bindings.bind(
        form, tr("Stripe colour"),
        named(color(&M::getStripeColor, &M::setStripeColor, tr("Stripe colour")), "StripeColor", always, true));
}

void oxSurfaceAnalysisPanelWidget::addSurfaceControls()
{
    QFormLayout* form = _bindings.group(tr("Surface"));
    _bindings.bind(form, tr("Shading"),
                   named(combo({tr("Flat"), tr("Diffuse"), tr("Glossy")}, &M::getShadingMode, &M::setShadingMode),
                         "ShadingMode", always, false));
    _bindings.bind(form, tr("Base colour"),
                   named(color(&M::getBaseColor, &M::setBaseColor, tr("Base colour")), "BaseColor", lines, false));
    _bindings.bind(
        form, tr("Glossy colour"),
        named(color(&M::getGlossyColor, &M::setGlossyColor, tr("Glossy colour")), "GlossyColor", always, false));
    _bindings.bind(
        form, tr("Glossiness"),
        named(number(1, 1000, 1, &M::getPhongExponent, &M::setPhongExponent), "PhongExponent", always, false));
}

// Light direction and visuals.
void oxSurfaceAnalysisPanelWidget::addLightControls()
{
    QFormLayout* form = _bindings.group(tr("Light"));
    addDirectionControls(form);
    _bindings.bind(form, QString(),
                   named(check(tr("Use the view direction"), &M::getUseViewVector, &M::setUseViewVector),
                         "UseViewVector", lines, false));
    _bindings.bind(form, QString(),
                   named(check(tr("Show light plane"), &M::getLightPlaneVisibility, &M::setLightPlaneVisibility),
                         "LightPlaneVisibility", planeLights, true));
    _bindings.bind(form, QString(),
                   named(check(tr("Show light sphere"), &M::getLightSphereVisibility, &M::setLightSphereVisibility),
                         "LightSphereVisibility", sphereLights, true));
    _bindings.bind(
        form, QString(),
        named(check(tr("Show direction arrow"), &M::getLightDirectionVisibility, &M::setLightDirectionVisibility),
              "LightDirectionVisibility", lines, false));
    _bindings.bind(form, tr("Line spacing"),
                   named(number(0.001, 1e6, 3, &M::getLightLinesDistance, &M::setLightLinesDistance),
                         "LightLinesDistance", planeLights, false));
    _bindings.bind(form, QString(),
                   named(check(tr("Limit line length"), &M::getLimitedLightLinesLength, &M::setLimitedLightLinesLength),
                         "LimitedLightLinesLength", planeLights, false));
    _bindings.bind(form, tr("Line length"),
                   named(
                       number(0.001, 1e7, 3, &M::getLightLinesLength, &M::setLightLinesLength), "LightLinesLength",
                       [] { return planeLights() && model()->getLimitedLightLinesLength(); }, false));
}

// The X, Y, Z buttons, which have no value of their own, and Pick normal.
void oxSurfaceAnalysisPanelWidget::addDirectionControls(QFormLayout* form)
{
    auto* row = new QWidget(this);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, osg::Vec3f> axes[] = {
        {"X", osg::Vec3f(1, 0, 0)}, {"Y", osg::Vec3f(0, 1, 0)}, {"Z", osg::Vec3f(0, 0, 1)}};
    for (const auto& axis : axes)
    {
        auto* button = new QPushButton(axis.first, row);
        button->setObjectName(QString("LightDirection.") + axis.first);
        const osg::Vec3f direction = axis.second;
        connect(button, &QPushButton::clicked, this, [direction] { model()->setLightDirection(direction); });
        buttons->addWidget(button);
    }
    auto* pick = new QPushButton(tr("Pick normal"), this);
    pick->setObjectName("PickNormal");
    pick->setCheckable(true);
    pick->setToolTip(tr("Click a surface to aim the light at its normal there"));
    connect(pick, &QPushButton::toggled, this,
            [this](bool on)
            {
                if (!_bindings.refreshing())
                    model()->setPickNormal(on);
            });
    _bindings.bind(form, tr("Direction"),
                   Binding{"LightDirection", row,
                           [row, pick]
                           {
                               pick->setChecked(model()->getPickNormal());
                               const osg::Vec3f d = model()->getLightDirection();
                               row->setToolTip(QString("(%1, %2, %3)").arg(d[0]).arg(d[1]).arg(d[2]));
                           },
                           []
                           {
                               const osg::Vec3f d = model()->getLightDirection();
                               return QVariant(QVariantList{double(d[0]), double(d[1]), double(d[2])});
                           },
                           lines, true, nullptr});
    form->addRow(QString(), pick);
    _bindings.add(
        Binding{"PickNormal", pick, [] {}, [pick] { return QVariant(pick->isChecked()); }, lines, true, nullptr});
}

void oxSurfaceAnalysisPanelWidget::addCurvatureControls()
{
    QFormLayout* form = _bindings.group(tr("Curvature"));
    _bindings.bind(form, tr("Type"),
                   named(combo({tr("Gaussian"), tr("Mean"), tr("Minimum"), tr("Maximum")}, &M::getCurvatureMode,
                               &M::setCurvatureMode),
                         "CurvatureMode", curvature, true));
    _bindings.bind(form, tr("Scale"),
                   named(number(0, 1e6, 3, &M::getCurvatureDrawScale, &M::setCurvatureDrawScale), "CurvatureDrawScale",
                         curvature, true));
    _bindings.bind(form, QString(),
                   named(check(tr("Bands"), &M::getUseBands, &M::setUseBands), "UseBands", curvature, false));
    _bindings.bind(form, QString(),
                   named(check(tr("Mark radii below the limit"), &M::getUseRadiusLimit, &M::setUseRadiusLimit),
                         "UseRadiusLimit", curvature, false));
    _bindings.bind(form, tr("Radius limit"),
                   named(
                       number(0, 1e6, 3, &M::getRadiusLimit, &M::setRadiusLimit), "RadiusLimit",
                       [] { return curvature() && model()->getUseRadiusLimit(); }, false));
    _bindings.bind(
        form, QString(),
        named(check(tr("Legend"), &M::getCurvatureLegendOverlayVisibility, &M::setCurvatureLegendOverlayVisibility),
              "CurvatureLegendOverlayVisibility", curvature, true));
}

void oxSurfaceAnalysisPanelWidget::addViewControls()
{
    QFormLayout* form = _bindings.group(tr("View"));
    _bindings.bind(
        form, QString(),
        named(check(tr("Raytracing downscale"), &M::getUseRaytracingDownscale, &M::setUseRaytracingDownscale),
              "UseRaytracingDownscale", always, false));
}

void oxSurfaceAnalysisPanelWidget::refresh()
{
    _bindings.refresh(model()->getSimpleMode());
}

QVariantMap oxSurfaceAnalysisPanelWidget::state() const
{
    return _bindings.state();
}

QWidget* oxSurfaceAnalysisPanelWidget::control(const QString& name) const
{
    return _bindings.control(name);
}
