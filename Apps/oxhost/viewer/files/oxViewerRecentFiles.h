#pragma once

#include <QObject>
#include <QStringList>

class QMenu;

// File > Open recent: the last files opened (models and projects), newest first, kept in the
// user's settings so that every window and every run shares them.
class oxViewerRecentFiles : public QObject
{
    Q_OBJECT

public:
    static const int MaxFiles = 10;

    // Fills menu, and keeps it up to date.
    explicit oxViewerRecentFiles(QMenu* menu);

    QStringList files() const;
    // Puts path first.
    void add(const QString& path);
    void remove(const QString& path);

Q_SIGNALS:
    void chosen(const QString& path);

private:
    void save(const QStringList& files);
    void fill();

    QMenu* _menu;
};
