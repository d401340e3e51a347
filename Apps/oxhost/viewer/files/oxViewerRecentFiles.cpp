#include "oxViewerRecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace
{
const char* const Key = "viewer/recentFiles";
}

oxViewerRecentFiles::oxViewerRecentFiles(QMenu* menu) : QObject(menu), _menu(menu)
{
    // Another window may have opened files since.
    connect(menu, &QMenu::aboutToShow, this, &oxViewerRecentFiles::fill);
    fill();
}

QStringList oxViewerRecentFiles::files() const
{
    return QSettings().value(Key).toStringList();
}

void oxViewerRecentFiles::add(const QString& path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    QStringList list = files();
    list.removeAll(file);
    list.prepend(file);
    save(list.mid(0, MaxFiles));
}

void oxViewerRecentFiles::remove(const QString& path)
{
    QStringList list = files();
    list.removeAll(QFileInfo(path).absoluteFilePath());
    save(list);
}

void oxViewerRecentFiles::save(const QStringList& files)
{
    QSettings().setValue(Key, files);
    fill();
}

void oxViewerRecentFiles::fill()
{
    // Later: the action being triggered may be one of them.
    for (QAction* action : _menu->actions())
    {
        _menu->removeAction(action);
        action->deleteLater();
    }
    const QStringList list = files();
    for (int i = 0; i < list.size(); ++i)
    {
        const QString path = list[i];
        // The number is the key; the folder tells apart files of the same name.
        QAction* action =
            _menu->addAction(tr("&%1 %2  [%3]")
                                 .arg((i + 1) % 10)
                                 .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(QFileInfo(path).path())),
                             this, [this, path] { Q_EMIT chosen(path); });
        action->setData(path);
        action->setToolTip(path);
    }
    if (list.isEmpty())
        _menu->addAction(tr("No recent files"))->setEnabled(false);
    else
    {
        _menu->addSeparator();
        _menu->addAction(tr("&Clear list"), this, [this] { save(QStringList()); });
    }
}
