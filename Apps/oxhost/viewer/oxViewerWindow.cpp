#include "oxViewerWindow.h"

#include "OSGNodeCore.h"
#include "oxController.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisScript.h"
#include "oxHostDeviation.h"
#include "oxHostProject.h"
#include "oxHostRender.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxMeshNodes.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"
#include "oxUndoStack.h"
#include "oxRenderVersions.h"
#include "oxViewerCamera.h"
#include "oxViewerChecks.h"
#include "oxViewerCompare.h"
#include "oxViewerExports.h"
#include "oxViewerPanel.h"
#include "oxViewerRecentFiles.h"
#include "oxViewerRenderer.h"
#include "oxViewerView.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUndoStack>
#include <QUndoView>

#include <xcb/xcb.h>

namespace
{
oxViewerWindow* s_window = nullptr;

// Every change the module asks the host to draw.
void renderRequested(bool)
{
    if (s_window)
        s_window->view()->changed(s_window->view()->isInteracting() || QApplication::mouseButtons() != Qt::NoButton);
}

// The history names each step as the host's stack does: field edits without a description show
// the field they set.
class HistoryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const int step = index.row() - 1; // row 0 is the state before any step
        if (step >= 0 && step < oxUndoStack::get(0).count())
            option->text = oxUndoStack::get(0).text(step);
    }
};

// Another X client may destroy the window without the close request a window manager sends
// (xdotool windowclose); Qt takes no notice, and the process would run on with nothing to show.
// The server's notice closes the window as the user would; the errors that Qt's requests on the
// lost window raise from then on are expected, and not shown.
class LostWindowFilter : public QAbstractNativeEventFilter
{
public:
    explicit LostWindowFilter(QWidget* window) : _window(window) {}

    bool nativeEventFilter(const QByteArray& type, void* message, long*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t kind = event->response_type & 0x7f;
        // Qt's drawing on the window, its graphics contexts included, fails from then on.
        if (kind == 0)
            return _lost != 0;
        if (kind != XCB_DESTROY_NOTIFY || _lost || !_window)
            return false;
        const xcb_window_t destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
        if (destroyed != _window->internalWinId())
            return false;
        _lost = destroyed;
        QMetaObject::invokeMethod(_window, &QWidget::close, Qt::QueuedConnection);
        return false;
    }

private:
    QPointer<QWidget> _window;
    xcb_window_t _lost = 0;
};

bool modelIsEmpty()
{
    const osg::NodePtr root = oxScenegraph::getRoot();
    return root == osg::NullFC || root->getNChildren() == 0;
}

const char* const ModelFilter =
    "Models (*.obj *.stl *.ply *.gltf *.glb *.fbx *.3ds *.dae *.off *.step *.stp *.iges *.igs *.brep *.xyz *.csv "
    "*.asc *.pts *.pcd *.las);;Meshes (*.obj *.stl *.ply *.gltf *.glb *.fbx *.3ds *.dae *.off);;CAD (*.step *.stp "
    "*.iges *.igs *.brep);;Point clouds (*.xyz *.csv *.asc *.pts *.ply *.pcd *.las);;All files (*)";

// The local files of a drop that the window opens.
QStringList droppedFiles(const QMimeData* data)
{
    QStringList files;
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile() && oxViewerWindow::canOpen(url.toLocalFile()))
                files << url.toLocalFile();
    return files;
}
} // namespace

oxViewerWindow::oxViewerWindow(QWidget* parent)
    : QMainWindow(parent), _view(new oxViewerView(this)), _loader(new oxViewerLoader(this))
{
    setWindowTitle(tr("oxhost - surface analysis"));
    setAcceptDrops(true);
    setCentralWidget(_view);

    _panelDock = new QDockWidget(tr("Surface analysis"), this);
    _panelDock->setObjectName("surfaceAnalysisDock");
    addDockWidget(Qt::RightDockWidgetArea, _panelDock);

    _historyDock = new QDockWidget(tr("History"), this);
    _historyDock->setObjectName("historyDock");
    _history = new QUndoView(oxUndoStack::get(0).undoStack(), _historyDock);
    _history->setEmptyLabel(tr("<start>"));
    _history->setItemDelegate(new HistoryDelegate(_history));
    _historyDock->setWidget(_history);
    addDockWidget(Qt::RightDockWidgetArea, _historyDock);
    splitDockWidget(_panelDock, _historyDock, Qt::Vertical);
    createChecksDock();
    createCompare();

    _probeLabel = new QLabel(this);
    _probeLabel->setObjectName("probeLabel");
    statusBar()->addPermanentWidget(_probeLabel);
    connect(_view, &oxViewerView::probed, _probeLabel, &QLabel::setText);
    _frameLabel = new QLabel(this);
    statusBar()->addPermanentWidget(_frameLabel);
    connect(_view, &oxViewerView::status, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(_view->renderer(), &oxViewerRenderer::frameReady, this, &oxViewerWindow::frameShown);
    connect(_view->renderer(), &oxViewerRenderer::fullFrameStarted, this,
            [this] { _frameLabel->setText(tr("Rendering ...")); });
    connect(_view->renderer(), &oxViewerRenderer::busyChanged, this, &oxViewerWindow::showBusy);
    createLoadBar();
    createMenus();
    resize(1400, 860);
    resizeDocks({_panelDock}, {410}, Qt::Horizontal);
    resizeDocks({_panelDock, _historyDock}, {600, 200}, Qt::Vertical);
    restoreSettings();

    s_window = this;
    oxController::setRenderListener(&renderRequested);
    _lostWindowFilter = std::make_unique<LostWindowFilter>(this);
    QCoreApplication::instance()->installNativeEventFilter(_lostWindowFilter.get());
    // Each change of the host's own analyses is a new frame, which takes their settings with it.
#define OX_VIEWER_REDRAW(Name, Type, Default, ...)                                                                     \
    connect(oxHostAnalysisModel::the(), &oxHostAnalysisModel::Name##Changed, this, [] { renderRequested(false); });
    OX_HOST_ANALYSIS_PROPERTIES(OX_VIEWER_REDRAW)
#undef OX_VIEWER_REDRAW
}

oxViewerWindow::~oxViewerWindow()
{
    saveSettings();
    if (!_busy.isEmpty())
        QApplication::restoreOverrideCursor();
    // Closing down is not the user hiding the panel.
    if (_panel)
        _panelDock->removeEventFilter(_panel->modulePanel());
    if (s_window == this)
    {
        s_window = nullptr;
        oxController::setRenderListener(nullptr);
    }
}

oxViewerWindow* oxViewerWindow::instance()
{
    return s_window;
}

void oxViewerWindow::restoreSettings()
{
    const QSettings settings;
    restoreGeometry(settings.value("viewer/geometry").toByteArray());
    restoreState(settings.value("viewer/state").toByteArray());
    const QString up = settings.value("viewer/upAxis").toString();
    if (!up.isEmpty())
        oxViewerCamera::setUpAxis(up == "y" ? oxViewerCamera::YUp : oxViewerCamera::ZUp);
}

void oxViewerWindow::saveSettings() const
{
    QSettings settings;
    settings.setValue("viewer/geometry", saveGeometry());
    settings.setValue("viewer/state", saveState());
    settings.setValue("viewer/upAxis", oxViewerCamera::upAxis() == oxViewerCamera::YUp ? "y" : "z");
}

// A busy bar and Cancel, shown while a model loads: the reader says nothing of its progress.
void oxViewerWindow::createLoadBar()
{
    _loadBar = new QProgressBar(this);
    _loadBar->setObjectName("loadProgress");
    _loadBar->setRange(0, 0);
    _loadBar->setMaximumWidth(160);
    _loadBar->hide();
    _cancelLoad = new QPushButton(tr("Cancel"), this);
    _cancelLoad->setObjectName("cancelLoad");
    _cancelLoad->setToolTip(tr("Stop reading the model; the scene stays as it was"));
    _cancelLoad->hide();
    statusBar()->addPermanentWidget(_loadBar);
    statusBar()->addPermanentWidget(_cancelLoad);
    connect(_cancelLoad, &QPushButton::clicked, _loader, &oxViewerLoader::cancel);
    connect(_loader, &oxViewerLoader::started, this, &oxViewerWindow::loadStarted);
    connect(_loader, &oxViewerLoader::finished, this, &oxViewerWindow::loadFinished);
}

void oxViewerWindow::createChecksDock()
{
    _checksDock = new QDockWidget(tr("Checks"), this);
    _checksDock->setObjectName("checksDock");
    _checks = new oxViewerChecks(_view, _checksDock);
    _checksDock->setWidget(_checks);
    addDockWidget(Qt::RightDockWidgetArea, _checksDock);
    tabifyDockWidget(_historyDock, _checksDock);
    _historyDock->raise();
    connect(_checksDock, &QDockWidget::visibilityChanged, _checks, &oxViewerChecks::setShown);
    connect(_loader, &oxViewerLoader::finished, _checks, &oxViewerChecks::sceneChanged);
}

// File > Compare...'s job, its status line and its Cancel beside it while it runs.
void oxViewerWindow::createCompare()
{
    _compare = new oxViewerCompare(this);
    _cancelCompare = new QPushButton(tr("Cancel"), this);
    _cancelCompare->setObjectName("compareCancel");
    _cancelCompare->setToolTip(tr("Stop comparing; the model stays coloured as it was"));
    _cancelCompare->hide();
    statusBar()->addPermanentWidget(_cancelCompare);
    connect(_cancelCompare, &QPushButton::clicked, _compare, &oxViewerCompare::cancel);
    connect(_compare, &oxViewerCompare::started, _cancelCompare, &QWidget::show);
    connect(_compare, &oxViewerCompare::status, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(_compare, &oxViewerCompare::failed, this,
            [this](const QString& error)
            {
                statusBar()->clearMessage();
                showError(error);
            });
    connect(_compare, &oxViewerCompare::compared, this,
            [this](bool shown)
            {
                _cancelCompare->hide();
                if (shown)
                    _view->changed(false);
            });
}

void oxViewerWindow::loadStarted(const QString& path)
{
    statusBar()->showMessage(tr("Loading %1 ...").arg(QFileInfo(path).fileName()));
    _loadBar->show();
    _cancelLoad->show();
    // What would change the scene waits; the view, the camera and the settings stay live.
    for (QAction* action : _sceneActions)
        action->setEnabled(false);
}

void oxViewerWindow::loadFinished()
{
    _loadBar->hide();
    _cancelLoad->hide();
    for (QAction* action : _sceneActions)
        action->setEnabled(true);
}

void oxViewerWindow::setPanel(PanelFactory panel)
{
    if (panel && !_panel)
        _panel = new oxViewerPanel(panel(_panelDock), _panelDock);
}

QWidget* oxViewerWindow::panel() const
{
    return _panel;
}

void oxViewerWindow::createMenus()
{
    createFileMenu();
    createEditMenu();
    QMenu* view = menuBar()->addMenu(tr("&View"));
    addCameraActions(view);
    addDisplayActions(view);
    createHelpMenu();
}

void oxViewerWindow::createFileMenu()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    _sceneActions << file->addAction(tr("&Open model..."), this, &oxViewerWindow::openModelDialog, QKeySequence::Open);
    _sceneActions << file->addAction(tr("Open r&eference..."), this, &oxViewerWindow::openReferenceDialog);
    _sceneActions.back()->setObjectName("openReference");
    QAction* clearReference = file->addAction(tr("C&lear reference"), this,
                                              [this]
                                              {
                                                  oxHostDeviation::clearReference();
                                                  _view->changed(false);
                                              });
    clearReference->setObjectName("clearReference");
    connect(file, &QMenu::aboutToShow, clearReference,
            [clearReference] { clearReference->setEnabled(oxRenderer::the().hasReference()); });
    // The old release comes from the action's data where a caller set it, else from a dialog.
    QAction* compare = file->addAction(tr("Co&mpare with an older release..."), this,
                                       [this]
                                       {
                                           QString path = _compareAction->data().toString();
                                           if (path.isEmpty())
                                               path = QFileDialog::getOpenFileName(this, tr("Compare with"), QString(),
                                                                                   tr(ModelFilter));
                                           if (!path.isEmpty())
                                               _compare->compareWith(path);
                                       });
    compare->setObjectName("compareReleases");
    compare->setToolTip(tr("Colours the model by what changed since an older release of it"));
    _compareAction = compare;
    _sceneActions << compare;
    QMenu* recent = file->addMenu(tr("Open &recent"));
    recent->setObjectName("recentFiles");
    _sceneActions << recent->menuAction();
    _recent = new oxViewerRecentFiles(recent);
    connect(_recent, &oxViewerRecentFiles::chosen, this, &oxViewerWindow::openRecent);
    QMenu* samples = file->addMenu(tr("Add &sample"));
    _sceneActions << samples->menuAction();
    for (const std::string& name : oxSampleSurfaces::names())
    {
        const QString sample = QString::fromStdString(name);
        samples->addAction(sample,
                           [this, name]
                           {
                               std::string error;
                               const bool first = modelIsEmpty();
                               if (oxHostRender::addSample(name, error) == osg::NullFC)
                                   return showError(QString::fromStdString(error));
                               if (first)
                                   showModel();
                               _view->changed(false);
                           });
    }
    file->addSeparator();
    _sceneActions << file->addAction(tr("Open &project..."), this, &oxViewerWindow::openProjectDialog);
    file->addAction(
        tr("&Save project"), this, [this] { saveProject(false); }, QKeySequence::Save);
    file->addAction(
        tr("Save project &as..."), this, [this] { saveProject(true); }, QKeySequence::SaveAs);
    file->addSeparator();
    _exports = new oxViewerExports(this, file);
    file->addSeparator();
    // Ctrl+Q by name: QKeySequence::Quit is empty where the platform's scheme is Windows' (offscreen).
    file->addAction(tr("&Quit"), this, &QWidget::close, QKeySequence(Qt::CTRL + Qt::Key_Q));
}

void oxViewerWindow::createEditMenu()
{
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    // The actions name the step as the host's stack does (QUndoStack's own text is empty for
    // field edits).
    QUndoStack* stack = oxUndoStack::get(0).undoStack();
    QAction* undo = new QAction(tr("&Undo"), this);
    undo->setObjectName("undo");
    undo->setShortcuts({QKeySequence(Qt::CTRL + Qt::Key_Z)});
    connect(undo, &QAction::triggered, stack, &QUndoStack::undo);
    QAction* redo = new QAction(tr("&Redo"), this);
    redo->setObjectName("redo");
    redo->setShortcuts({QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), QKeySequence(Qt::CTRL + Qt::Key_Y)});
    connect(redo, &QAction::triggered, stack, &QUndoStack::redo);
    const auto name = [undo, redo, stack]
    {
        const oxUndoStack& host = oxUndoStack::get(0);
        const int index = stack->index();
        undo->setEnabled(index > 0);
        redo->setEnabled(index < stack->count());
        undo->setText(index > 0 ? tr("&Undo %1").arg(host.text(index - 1)) : tr("&Undo"));
        redo->setText(index < stack->count() ? tr("&Redo %1").arg(host.text(index)) : tr("&Redo"));
    };
    connect(stack, &QUndoStack::indexChanged, this, name);
    connect(stack, &QUndoStack::cleanChanged, this, name);
    name();
    edit->addAction(undo);
    edit->addAction(redo);
}

// Fit, the standard views and their number keys.
void oxViewerWindow::addCameraActions(QMenu* view)
{
    view->addAction(tr("&Fit all"), this, &oxViewerWindow::fitAll, QKeySequence(Qt::Key_F));
    view->addSeparator();
    const std::pair<const char*, oxViewerCamera::View> views[] = {
        {"Front", oxViewerCamera::Front},        {"Back", oxViewerCamera::Back}, {"Left", oxViewerCamera::Left},
        {"Right", oxViewerCamera::Right},        {"Top", oxViewerCamera::Top},   {"Bottom", oxViewerCamera::Bottom},
        {"Isometric", oxViewerCamera::Isometric}};
    int key = Qt::Key_1;
    for (const auto& entry : views)
    {
        const oxViewerCamera::View which = entry.second;
        view->addAction(
            tr(entry.first), this,
            [this, which]
            {
                oxViewerCamera::setView(which, _view->size());
                _view->changed(false);
            },
            QKeySequence(key++));
    }
}

// Projection, up axis, light visuals and the docks.
void oxViewerWindow::addDisplayActions(QMenu* view)
{
    view->addSeparator();
    QAction* ortho = view->addAction(tr("&Orthographic"));
    ortho->setCheckable(true);
    ortho->setShortcut(QKeySequence(Qt::Key_O));
    connect(ortho, &QAction::toggled, this,
            [this](bool on)
            {
                oxViewerCamera::setOrthographic(on);
                _view->changed(false);
            });
    connect(view, &QMenu::aboutToShow, ortho,
            [ortho]
            {
                const QSignalBlocker block(ortho);
                ortho->setChecked(oxViewerCamera::isOrthographic());
            });
    QAction* yUp = view->addAction(tr("&Y up (turntable about Y, not Z)"));
    yUp->setCheckable(true);
    connect(yUp, &QAction::toggled, this,
            [this](bool on)
            {
                oxViewerCamera::setUpAxis(on ? oxViewerCamera::YUp : oxViewerCamera::ZUp);
                showModel();
            });
    connect(view, &QMenu::aboutToShow, yUp,
            [yUp]
            {
                const QSignalBlocker block(yUp);
                yUp->setChecked(oxViewerCamera::upAxis() == oxViewerCamera::YUp);
            });
    QAction* visuals = view->addAction(tr("Show &light visuals"));
    visuals->setCheckable(true);
    visuals->setChecked(true);
    connect(visuals, &QAction::toggled, this,
            [this](bool on)
            {
                const osg::NodePtr root = oxScenegraph::getInternalRoot();
                osg::beginEditCP(root, osg::Node::TravMaskFieldMask);
                {
                    root->setActive(on);
                }
                osg::endEditCP(root, osg::Node::TravMaskFieldMask);
                _view->changed(false);
            });
    QAction* ghost = view->addAction(tr("Show &reference"));
    ghost->setObjectName("showReference");
    ghost->setCheckable(true);
    ghost->setChecked(oxRenderer::the().showReference());
    ghost->setToolTip(tr("The reference as a faint ghost: its outline, and a veil where it stands in front"));
    connect(ghost, &QAction::toggled, this,
            [this](bool on)
            {
                oxRenderer::the().setShowReference(on);
                _view->changed(false);
            });
    view->addSeparator();
    view->addAction(_panelDock->toggleViewAction());
    view->addAction(_historyDock->toggleViewAction());
    view->addAction(_checksDock->toggleViewAction());
}

void oxViewerWindow::createHelpMenu()
{
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About oxhost"), this, &oxViewerWindow::showAbout);
}

void oxViewerWindow::showAbout()
{
    QString versions = tr("<tr><td>Qt</td><td>%1</td></tr>").arg(qVersion());
    for (const auto& library : oxRenderVersions())
        versions += tr("<tr><td>%1</td><td>%2</td></tr>")
                        .arg(QString::fromStdString(library.first), QString::fromStdString(library.second));
    QMessageBox::about(this, tr("About oxhost"),
                       tr("<b>oxhost %1</b><p>The reference host of the surface analysis module, with its analysis "
                          "raytracer.</p><p>Libraries in use:</p><table cellspacing=\"4\">%2</table>")
                           .arg(QApplication::applicationVersion(), versions));
}

void oxViewerWindow::fitAll()
{
    oxViewerCamera::fit(_view->size());
    _view->changed(false);
}

void oxViewerWindow::showModel()
{
    oxViewerCamera::setView(oxViewerCamera::Isometric, _view->size());
    _view->changed(false);
}

void oxViewerWindow::openModelDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open model"), QString(), tr(ModelFilter));
    if (!path.isEmpty())
        openModel(path);
}

void oxViewerWindow::openReferenceDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open reference"), QString(), tr(ModelFilter));
    if (!path.isEmpty())
        openReference(path);
}

oxViewerLoader::Result oxViewerWindow::readFile(const QString& path, oxMeshImporter::File& read, std::string& error,
                                                const oxCadOptions& cad)
{
    QPointer<oxViewerWindow> self(this);
    const oxViewerLoader::Result result = _loader->read(path, read, error, cad);
    // The window may have been closed while the file was read.
    if (!self)
        return oxViewerLoader::Cancelled;
    const QString name = QFileInfo(path).fileName();
    if (result == oxViewerLoader::Cancelled)
        statusBar()->showMessage(tr("Loading %1 cancelled").arg(name), 4000);
    // Files named on the command line are read here too, with no openModel to say so.
    else if (result == oxViewerLoader::Loaded)
        statusBar()->showMessage(tr("Loaded %1").arg(name), 4000);
    else
        statusBar()->clearMessage();
    return result;
}

oxViewerLoader::Result oxViewerWindow::openReference(const QString& path)
{
    oxMeshImporter::File read;
    std::string error;
    const oxViewerLoader::Result result = readFile(path, read, error);
    if (result == oxViewerLoader::Cancelled)
        return result;
    if (result != oxViewerLoader::Loaded)
    {
        statusBar()->clearMessage();
        showError(QString::fromStdString(error));
        return result;
    }
    oxHostDeviation::useReference(read);
    statusBar()->showMessage(tr("Loaded %1 as the reference").arg(QFileInfo(path).fileName()), 4000);
    _view->changed(false);
    return result;
}

oxViewerLoader::Result oxViewerWindow::openModel(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const bool first = modelIsEmpty();
    oxMeshImporter::File read;
    std::string error;
    const oxViewerLoader::Result result = readFile(path, read, error);
    if (result == oxViewerLoader::Cancelled)
        return result;
    // The nodes are made here, where the scene lives.
    const osg::NodePtr node = result == oxViewerLoader::Loaded ? oxHostRender::addFile(read) : osg::NodePtr();
    if (node == osg::NullFC)
    {
        statusBar()->clearMessage();
        showError(QString::fromStdString(error));
        return oxViewerLoader::Failed;
    }
    _recent->add(path);
    statusBar()->showMessage(tr("Loaded %1").arg(name), 4000);
    if (first)
    {
        showModel();
        // As with --mesh: a first model gets lights that fit it.
        std::string fitError;
        if (!oxHostAnalysisScript::fitLights(fitError))
            statusBar()->showMessage(QString::fromStdString(fitError), 4000);
    }
    else
        _view->changed(false);
    return result;
}

bool oxViewerWindow::canOpen(const QString& path)
{
    return QFileInfo(path).suffix().compare("json", Qt::CaseInsensitive) == 0 ||
           oxModelImporter::isSupported(path.toStdString());
}

void oxViewerWindow::openFile(const QString& path)
{
    if (QFileInfo(path).suffix().compare("json", Qt::CaseInsensitive) == 0)
        openProject(path);
    else
        openModel(path);
}

void oxViewerWindow::openRecent(const QString& path)
{
    if (!QFileInfo::exists(path))
    {
        _recent->remove(path);
        return showError(tr("cannot open \"%1\": the file no longer exists; it is taken off the recent files")
                             .arg(QDir::toNativeSeparators(path)));
    }
    openFile(path);
}

void oxViewerWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!_loader->isLoading() && !droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void oxViewerWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty() || _loader->isLoading())
        return;
    event->acceptProposedAction();
    // After the drop: the source waits for its answer, and a load runs an event loop.
    QTimer::singleShot(0, this,
                       [this, files]
                       {
                           for (const QString& file : files)
                               openFile(file);
                       });
}

void oxViewerWindow::closeEvent(QCloseEvent* event)
{
    // Closing (Ctrl+Q too) during a load stops the reader; its loop then ends and nothing is added.
    _loader->cancel();
    // The check and the comparison stop too, so that the window goes at once.
    _checks->cancel();
    _compare->cancel();
    QMainWindow::closeEvent(event);
}

void oxViewerWindow::openProjectDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open project"), QString(), tr("Projects (*.json)"));
    if (!path.isEmpty())
        openProject(path);
}

bool oxViewerWindow::openProject(const QString& path)
{
    std::string error;
    if (!oxHostProject::load(path.toStdString(), error))
    {
        showError(QString::fromStdString(error));
        return false;
    }
    _projectPath = path;
    _recent->add(path);
    _view->changed(false);
    return true;
}

void oxViewerWindow::saveProject(bool choosePath)
{
    QString path = _projectPath;
    if (choosePath || path.isEmpty())
        path = QFileDialog::getSaveFileName(this, tr("Save project"), path, tr("Projects (*.json)"));
    if (path.isEmpty())
        return;
    std::string error;
    if (!oxHostProject::save(path.toStdString(), error))
        return showError(QString::fromStdString(error));
    _projectPath = path;
    _recent->add(path);
    statusBar()->showMessage(tr("Saved %1").arg(path), 4000);
}

void oxViewerWindow::showError(const QString& text)
{
    QMessageBox::warning(this, tr("oxhost"), text);
}

void oxViewerWindow::frameShown()
{
    const oxViewerRenderer* r = _view->renderer();
    _frameLabel->setText(tr("%1 x %2%3, %4 ms")
                             .arg(r->image().width())
                             .arg(r->image().height())
                             .arg(r->imageDownscale() > 1 ? tr(" (1/%1)").arg(r->imageDownscale()) : QString())
                             .arg(r->lastTraceMs(), 0, 'f', 0));
}

// The window stays usable while the renderer measures: the busy cursor keeps its arrow.
void oxViewerWindow::showBusy(const QString& text)
{
    if (_busy.isEmpty() && !text.isEmpty())
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else if (!_busy.isEmpty() && text.isEmpty())
        QApplication::restoreOverrideCursor();
    if (!text.isEmpty())
        statusBar()->showMessage(text);
    else if (statusBar()->currentMessage() == _busy)
        statusBar()->clearMessage();
    _busy = text;
}

bool oxViewerWindow::waitForFrame(int timeoutMs)
{
    oxViewerRenderer* r = _view->renderer();
    QElapsedTimer timer;
    timer.start();
    while (!r->isIdle() && timer.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return r->isIdle();
}
