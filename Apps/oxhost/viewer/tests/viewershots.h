#pragma once

#include <QDir>
#include <QWidget>

// A picture of the widget into $OX_VIEWER_SHOTS, where that is set (for the docs).
inline void saveShot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("OX_VIEWER_SHOTS");
    if (!dir.isEmpty())
        widget->grab().save(QDir(dir).filePath(name));
}
