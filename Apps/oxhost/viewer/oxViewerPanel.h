#pragma once

#include <QVariantMap>
#include <QWidget>

class QDockWidget;
class oxHostAnalysesPanel;

// What the panel dock holds, in one scroll area: the module's panel from its plug-in, then the
// sections of the host's own analyses.
class oxViewerPanel : public QWidget
{
    Q_OBJECT

public:
    oxViewerPanel(QWidget* modulePanel, QDockWidget* dock);

    // Both panels' controls by property name, each with "<name>.enabled" and "<name>.visible".
    Q_INVOKABLE QVariantMap state() const;
    // The control bound to a property or a button, in either panel, or null.
    Q_INVOKABLE QWidget* control(const QString& name) const;

    QWidget* modulePanel() const { return _module; }

private:
    QWidget* _module;
    oxHostAnalysesPanel* _hostAnalyses;
};
