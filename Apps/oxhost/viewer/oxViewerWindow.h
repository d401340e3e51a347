#pragma once

#include <QMainWindow>

class QDockWidget;
class QLabel;
class QMenu;
class QUndoView;
class oxViewerView;

// The main window of oxhost --gui: the 3D view in the centre, the module's panel docked on the
// right with the undo history below it, menus, and a status bar.
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

    // Puts the module's panel into its dock.
    void setPanel(PanelFactory panel);

    oxViewerView* view() const { return _view; }
    QDockWidget* panelDock() const { return _panelDock; }
    QWidget* panel() const { return _panel; }

    // Looks at the model from the isometric direction and frames it.
    void showModel();
    // Adds a model file; long loads run beside the event loop. Errors go to a message box.
    void openModel(const QString& path);
    // Blocks (running the event loop) until the view shows the full frame of the current state.
    bool waitForFrame(int timeoutMs = 20000);

public Q_SLOTS:
    void fitAll();

private:
    void createMenus();
    void createFileMenu();
    void createEditMenu();
    void addCameraActions(QMenu* view);
    void addDisplayActions(QMenu* view);
    void createHelpMenu();
    void openModelDialog();
    void openProjectDialog();
    void saveProject(bool choosePath);
    void exportImageDialog();
    void showError(const QString& text);
    void frameShown();

    oxViewerView* _view;
    QDockWidget* _panelDock = nullptr;
    QWidget* _panel = nullptr;
    QDockWidget* _historyDock = nullptr;
    QUndoView* _history = nullptr;
    QLabel* _frameLabel = nullptr;
    QLabel* _probeLabel = nullptr;
    QString _projectPath;
    int _loading = 0;
};
