#pragma once

#include "OSGVector.h"
#include "oxPanelBindings.h"

#include <QVariantMap>
#include <QWidget>

class QDockWidget;
class QFormLayout;
class oxSurfaceAnalysisModel;

// The host's panel widget for the surface analysis module, bound both ways to the module's
// properties: a control's change calls the property's setter (one undoable edit; a slider's
// steps merge into one), and every change signal of the module brings the controls up to date,
// whoever made the change (a script, an undo, a project load). Controls that do not apply to the
// current analysis are disabled; in the host's simple mode only the basic ones are shown. The
// dock it sits in (the host lays it out there) shows and hides with the module's interface
// visibility, and the other way round.
class oxSurfaceAnalysisPanelWidget : public QWidget
{
    Q_OBJECT

public:
    explicit oxSurfaceAnalysisPanelWidget(QDockWidget* dock = nullptr, QWidget* parent = nullptr);
    ~oxSurfaceAnalysisPanelWidget() override;

    // What the controls show, by property name: bools, ints, floats, colours as [r, g, b], and
    // for each control "<name>.enabled" and "<name>.visible".
    Q_INVOKABLE QVariantMap state() const;
    // The control bound to a property (or to a button such as "LightDirection.X"), or null.
    Q_INVOKABLE QWidget* control(const QString& name) const;

public Q_SLOTS:
    // Every control from the module's current values.
    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    typedef oxPanelBindings::Binding Binding;
    typedef oxSurfaceAnalysisModel M;

    void buildControls();
    // One group of controls each.
    void addAnalysisControls();
    void addSurfaceControls();
    void addLightControls();
    void addDirectionControls(QFormLayout* form);
    void addCurvatureControls();
    void addViewControls();

    Binding check(const QString& text, bool (M::*get)() const, void (M::*set)(bool));
    Binding combo(const QStringList& items, unsigned (M::*get)() const, void (M::*set)(unsigned));
    Binding slider(float lo, float hi, float (M::*get)() const, void (M::*set)(float));
    Binding number(double lo, double hi, int decimals, float (M::*get)() const, void (M::*set)(float));
    Binding color(osg::Vec3f (M::*get)() const, void (M::*set)(const osg::Vec3f&), const QString& title);
    static Binding named(Binding b, const char* name, bool (*applies)(), bool basic);

    QDockWidget* _dock;
    oxPanelBindings _bindings;
};
