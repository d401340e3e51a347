#include "oxViewerPanel.h"

#include "oxHostAnalysisControls.h"

#include <QDockWidget>
#include <QScrollArea>
#include <QVBoxLayout>

oxViewerPanel::oxViewerPanel(QWidget* modulePanel, QDockWidget* dock)
    : _module(modulePanel), _hostAnalyses(new oxHostAnalysesPanel)
{
    setObjectName("panel");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 4);
    if (_module)
        column->addWidget(_module);
    // Inset as the module panel's own groups are.
    auto* host = new QVBoxLayout;
    host->setContentsMargins(4, 0, 4, 0);
    host->addWidget(_hostAnalyses);
    column->addLayout(host);
    column->addStretch(1);

    auto* scroll = new QScrollArea(dock);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(this);
    dock->setWidget(scroll);
}

QVariantMap oxViewerPanel::state() const
{
    QVariantMap map;
    if (_module)
        QMetaObject::invokeMethod(_module, "state", Q_RETURN_ARG(QVariantMap, map));
    map.insert(_hostAnalyses->state());
    return map;
}

QWidget* oxViewerPanel::control(const QString& name) const
{
    QWidget* found = nullptr;
    if (_module)
        QMetaObject::invokeMethod(_module, "control", Q_RETURN_ARG(QWidget*, found), Q_ARG(QString, name));
    return found ? found : _hostAnalyses->control(name);
}
