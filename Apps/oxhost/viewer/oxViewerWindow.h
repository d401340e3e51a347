#pragma once

#include "oxViewerLoader.h"

#include <QMainWindow>

#include <memory>

class QAbstractNativeEventFilter;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QUndoView;
class oxViewerChecks;
class oxViewerCompare;
class oxViewerExports;
class oxViewerPanel;
class oxViewerRecentFiles;
class oxViewerView;

// The main window of oxhost --gui: the 3D view in the centre, the module's panel docked on the
// right with the undo history below it, menus, and a status bar. Its size, dock layout and up
// axis are kept in the user's settings from one run to the next.
class oxViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The module's panel for a dock; the dock's visibility is the panel's business.
    typedef QWidget* (*PanelFactory)(QDockWidget* dock);

    explicit oxViewerWindow(QWidget* parent = nullptr);
    ~oxViewerWindow() override;

    // The open window, or null.
    static oxViewerWindow* instance();

    // Puts the module's panel into its dock, with the host analyses' sections below it.
    void setPanel(PanelFactory panel);

    oxViewerView* view() const { return _view; }
    QDockWidget* panelDock() const { return _panelDock; }
    // The data-quality check's dock, beside the history.
    QDockWidget* checksDock() const { return _checksDock; }
    oxViewerChecks* checks() const { return _checks; }
    // File > Compare...'s comparisons of the model with an older release.
    oxViewerCompare* compare() const { return _compare; }
    // The dock's contents: the module's panel and the host analyses' sections.
    QWidget* panel() const;

    // Looks at the model from the isometric direction and frames it.
    void showModel();
    // Adds a model file; the read runs beside the event loop, with a progress bar and Cancel in
    // the status bar. Errors go to a message box; a cancelled load leaves the scene as it was.
    oxViewerLoader::Result openModel(const QString& path);
    // Reads a model file as the reference the model is measured against, as openModel reads one;
    // a file that cannot be read leaves the old reference as it was.
    oxViewerLoader::Result openReference(const QString& path);
    // A project (.json) or a model file, as dropped on the window or chosen from the recent files.
    void openFile(const QString& path);
    // Whether openFile takes the file, by its suffix.
    static bool canOpen(const QString& path);

    // The loader's read with its progress, as openModel reads, without a message on failure;
    // Cancelled too when the window went meanwhile.
    oxViewerLoader::Result readFile(const QString& path, oxMeshImporter::File& read, std::string& error,
                                    const oxCadOptions& cad = oxCadOptions());
    oxViewerLoader* loader() const { return _loader; }
    oxViewerRecentFiles* recentFiles() const { return _recent; }
    // Blocks (running the event loop) until the view shows the full frame of the current state.
    bool waitForFrame(int timeoutMs = 20000);

public Q_SLOTS:
    void fitAll();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void restoreSettings();
    void saveSettings() const;
    void createLoadBar();
    void createChecksDock();
    void createCompare();
    void loadStarted(const QString& path);
    void loadFinished();
    void openRecent(const QString& path);
    bool openProject(const QString& path);
    void showAbout();
    void createMenus();
    void createFileMenu();
    void createEditMenu();
    void addCameraActions(QMenu* view);
    void addDisplayActions(QMenu* view);
    void createHelpMenu();
    void openModelDialog();
    void openReferenceDialog();
    void openProjectDialog();
    void saveProject(bool choosePath);
    void showError(const QString& text);
    void frameShown();
    void showBusy(const QString& text);

    oxViewerView* _view;
    QDockWidget* _panelDock = nullptr;
    oxViewerPanel* _panel = nullptr;
    QDockWidget* _historyDock = nullptr;
    QUndoView* _history = nullptr;
    QDockWidget* _checksDock = nullptr;
    oxViewerChecks* _checks = nullptr;
    oxViewerCompare* _compare = nullptr;
    QAction* _compareAction = nullptr;
    QLabel* _frameLabel = nullptr;
    QLabel* _probeLabel = nullptr;
    QString _busy; // the renderer's, shown with a busy cursor
    QProgressBar* _loadBar = nullptr;
    QPushButton* _cancelLoad = nullptr;
    QPushButton* _cancelCompare = nullptr;
    QList<QAction*> _sceneActions; // off while a model loads
    oxViewerLoader* _loader;
    oxViewerRecentFiles* _recent = nullptr;
    oxViewerExports* _exports = nullptr;
    QString _projectPath;
    std::unique_ptr<QAbstractNativeEventFilter> _lostWindowFilter;
};
