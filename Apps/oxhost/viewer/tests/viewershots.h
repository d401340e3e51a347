#pragma once

// What the viewer tests share with or without the panel: screenshots and dialogs answered.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

// A picture of the widget into $OX_VIEWER_SHOTS, where that is set (for the docs).
inline void saveShot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("OX_VIEWER_SHOTS");
    if (!dir.isEmpty())
        widget->grab().save(QDir(dir).filePath(name));
}

// Answers the dialogs a command opens as a user would: the image size dialog with size and
// samples, a file dialog with path; message boxes are read and closed.
class Answers
{
public:
    QString path;
    QSize size{64, 48};
    int samples = 1;
    QStringList messages;
    QString shot; // the first message box is saved under this name

    Answers()
    {
        _timer.setInterval(10);
        QObject::connect(&_timer, &QTimer::timeout, [this] { answer(); });
        _timer.start();
    }

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal))
        {
            if (!shot.isEmpty() && messages.isEmpty())
                saveShot(box, shot);
            messages << box->text();
            box->accept();
        }
        else if (auto* files = qobject_cast<QFileDialog*>(modal))
        {
            // Typed whole, as selectFile() resolves a folder that does not exist in its own way.
            files->findChild<QLineEdit*>("fileNameEdit")->setText(path);
            static_cast<QDialog*>(files)->accept(); // QFileDialog's own, through the public one
        }
        else if (modal && modal->objectName() == "exportImageDialog")
        {
            modal->findChild<QSpinBox*>("width")->setValue(size.width());
            modal->findChild<QSpinBox*>("height")->setValue(size.height());
            modal->findChild<QSpinBox*>("samples")->setValue(samples);
            static_cast<QDialog*>(modal)->accept();
        }
    }

    QTimer _timer;
};
