#pragma once

#include "oxHostAnalysisSettings.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <utility>
#include <vector>

class QFormLayout;
class QWidget;

// A panel's controls bound both ways to a model's properties: refresh() shows each property's value
// in its control, and a change of a control calls the property's setter (never while refreshing).
// The module's panel and the host analyses' panel build theirs with it; a number control's range
// comes from its setting's domain, its label from the setting's row.
class oxPanelBindings
{
public:
    struct Binding
    {
        QString name;
        QWidget* widget = nullptr;
        std::function<void()> show;      // the model's value into the control
        std::function<QVariant()> value; // what the control shows
        std::function<bool()> applies;   // whether it applies now; null: always
        bool basic = true;               // shown in simple mode
        QWidget* label = nullptr;
    };

    template <class T> using Get = std::function<T()>;
    // False: the model refused the value, and the control shows the model's again.
    template <class T> using Set = std::function<bool(T)>;

    explicit oxPanelBindings(QWidget* owner) : _owner(owner) {}

    // A titled group added to the owner's layout, with the form its controls go in.
    QFormLayout* group(const QString& title);
    // The control, named after its binding, as a row of form: with label, or across it without.
    void bind(QFormLayout* form, const QString& label, Binding binding);
    // A control the caller laid out itself, which state() and control() know all the same.
    void add(Binding binding);

    // Every control from its model; a control that does not apply is disabled, and in simple mode
    // only the basic ones are shown.
    void refresh(bool simple = false);
    bool refreshing() const { return _refreshing; }
    // What the controls show, by name, with "<name>.enabled" and "<name>.visible".
    QVariantMap state() const;
    // The control bound by that name, or the owner's child of that name, or null.
    QWidget* control(const QString& name) const;

    Binding check(const QString& text, Get<bool> get, Set<bool> set);
    Binding count(const oxSettingDomain& domain, unsigned defaultValue, Get<unsigned> get, Set<unsigned> set);
    Binding number(const oxSettingDomain& domain, float defaultValue, int decimals, Get<float> get, Set<float> set);

    // A spin box's ends within the domain, in steps of step; an open end the step inside it,
    // unless the default sits there (a default on an open end is shown as "not set").
    static std::pair<double, double> spinRange(const oxSettingDomain& domain, double defaultValue, double step);

private:
    QWidget* _owner;
    std::vector<Binding> _bindings;
    bool _refreshing = false;
};
