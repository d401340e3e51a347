#pragma once

#include <QObject>

#include <string>

class QMainWindow;
class QMenu;

// File > Export: the view as an image, the HTML report, the curvatures and the continuity table,
// each written by the function the oxHost script module uses, so that both write the same files
// and fail with the same errors. Errors go to a message box.
class oxViewerExports : public QObject
{
    Q_OBJECT

public:
    oxViewerExports(QMainWindow* window, QMenu* menu);

    void exportImage();
    void exportReport();
    void exportCurvature();
    void exportContinuity();

private:
    // Empty when the user cancels.
    QString savePath(const QString& title, const QString& name, const QString& filter);
    void done(bool ok, const QString& path, const std::string& error, const QString& note = QString());

    QMainWindow* _window;
};
