#pragma once

#include <QVariantMap>
#include <QWidget>

#include <functional>
#include <vector>

class QFormLayout;

// The viewer panel's sections for the host's own analyses, "Draft", "Combs" and "Deviation", bound both ways to
// oxHostAnalysisModel: a control's change is one undoable edit (a spin box's steps merge into one),
// and every change signal of the model brings the controls up to date, whoever made the change.
class oxHostAnalysisPanelControls : public QWidget
{
    Q_OBJECT

public:
    explicit oxHostAnalysisPanelControls(QWidget* parent = nullptr);

    // What the controls show, by property name, as oxSurfaceAnalysisPanelWidget::state gives it.
    QVariantMap state() const;
    // The control bound to a property or a button ("DraftDirection.+X", "DraftDirection.View",
    // "DraftDirection.Pick", "CombSectionNormal.X"), or null.
    QWidget* control(const QString& name) const;

public Q_SLOTS:
    void refresh();

private:
    struct Binding
    {
        QString name;
        QWidget* widget;
        std::function<void()> show;
        std::function<QVariant()> value;
    };

    void addDraftControls();
    void addCombControls();
    void addDeviationControls();
    void bind(QFormLayout* form, const QString& label, Binding binding);
    QFormLayout* section(const QString& title);

    std::vector<Binding> _bindings;
    bool _refreshing = false;
};
