#include "oxViewerExports.h"

#include "oxHostAnalysisScript.h"
#include "oxHostCad.h"
#include "oxHostRender.h"
#include "oxHostReport.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSpinBox>
#include <QStatusBar>

namespace
{
QSpinBox* spinBox(QWidget* parent, const char* name, int low, int high, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

// Width, height and samples per pixel side; false when the user cancels.
bool askImageSize(QWidget* parent, QSize& size, int& samples)
{
    QDialog dialog(parent);
    dialog.setObjectName("exportImageDialog");
    dialog.setWindowTitle(QObject::tr("Export image"));
    auto* form = new QFormLayout(&dialog);
    QSpinBox* width = spinBox(&dialog, "width", 1, 16384, size.width());
    QSpinBox* height = spinBox(&dialog, "height", 1, 16384, size.height());
    QSpinBox* rays = spinBox(&dialog, "samples", 1, 16, samples);
    width->setSuffix(QObject::tr(" px"));
    height->setSuffix(QObject::tr(" px"));
    rays->setToolTip(QObject::tr("N x N rays per pixel, averaged: more is smoother and slower"));
    form->addRow(QObject::tr("&Width:"), width);
    form->addRow(QObject::tr("&Height:"), height);
    form->addRow(QObject::tr("&Samples:"), rays);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    size = QSize(width->value(), height->value());
    samples = rays->value();
    return true;
}
} // namespace

oxViewerExports::oxViewerExports(QMainWindow* window, QMenu* menu) : QObject(window), _window(window)
{
    menu->addAction(tr("Export &image..."), this, &oxViewerExports::exportImage)->setObjectName("exportImage");
    menu->addAction(tr("Export &report..."), this, &oxViewerExports::exportReport)->setObjectName("exportReport");
    menu->addAction(tr("Export &curvature..."), this, &oxViewerExports::exportCurvature)
        ->setObjectName("exportCurvature");
    menu->addAction(tr("Export c&ontinuity..."), this, &oxViewerExports::exportContinuity)
        ->setObjectName("exportContinuity");
}

void oxViewerExports::exportImage()
{
    QSize size = _window->centralWidget()->size();
    int samples = 3;
    if (!askImageSize(_window, size, samples))
        return;
    const QString path = savePath(tr("Export image"), "view.png", tr("Images (*.png *.jpg *.bmp)"));
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string error;
    const bool ok = oxHostRender::render(path.toStdString(), size.width(), size.height(), error, samples);
    QApplication::restoreOverrideCursor();
    done(ok, path, error);
}

void oxViewerExports::exportReport()
{
    const QString path = savePath(tr("Export report"), "report.html", tr("HTML (*.html *.htm)"));
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string error;
    // The script's default image size.
    const bool ok = oxHostReport::write(path.toStdString(), 960, 600, error);
    QApplication::restoreOverrideCursor();
    done(ok, path, error);
}

void oxViewerExports::exportCurvature()
{
    const QString path =
        savePath(tr("Export curvature"), "curvature.ply", tr("PLY, binary (*.ply);;CSV, one vertex a line (*.csv)"));
    if (path.isEmpty())
        return;
    std::string error;
    done(oxHostAnalysisScript::exportCurvature(path.toStdString(), error), path, error);
}

void oxViewerExports::exportContinuity()
{
    const QString path = savePath(tr("Export continuity"), "continuity.csv", tr("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const std::vector<oxEdgeContinuity> edges = oxHostCad::continuity(oxContinuityTolerances());
    std::string error;
    const bool ok = oxHostCad::writeCsv(edges, path.toStdString(), error);
    done(ok, path, error, edges.empty() ? tr(": no shared edges between CAD faces in the model") : QString());
}

QString oxViewerExports::savePath(const QString& title, const QString& name, const QString& filter)
{
    return QFileDialog::getSaveFileName(_window, title, name, filter);
}

void oxViewerExports::done(bool ok, const QString& path, const std::string& error, const QString& note)
{
    if (ok)
        _window->statusBar()->showMessage(tr("Exported %1%2").arg(path, note), 6000);
    else
        QMessageBox::warning(_window, tr("oxhost"), QString::fromStdString(error));
}
