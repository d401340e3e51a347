#pragma once

#include "oxHostOptions.h"
#include "oxViewerLoader.h"

#include <memory>
#include <string>

class QMainWindow;
class oxBaseService;
class oxInternalCameraConnector;
class oxViewerWindow;

// The reference host's lifetime, in the order a host starts and stops:
//   the host layer (raytracer utilities with a record, main window with the render widget,
//   camera connector, base service), the plug-ins (module library, then its host-side panel),
//   the script start-up around the interpreter's start, the module constructed by its panel,
//   the services' init signal; then the project, the user's Python inside the event loop;
//   then everything down again, the interpreter before the widgets, the widgets before the
//   application object.
class oxHostApplication
{
public:
    explicit oxHostApplication(const oxHostOptions& options);
    ~oxHostApplication();

    // The process's exit status.
    int exec(const char* argv0);

    // The folder the plug-ins are loaded from: $OXHOST_PLUGIN_DIR, else ../lib beside the executable.
    static std::string pluginDirectory();
    // Whether a window can be seen: a display, or a platform of Qt's other than offscreen and minimal.
    static bool hasDisplay();

private:
    struct Panel;

    void startHostLayer();
    bool loadPlugins(std::string& error);
    int runUserCode();
    int loadModel();
    oxViewerLoader::Result readFile(const std::string& path, const oxCadOptions& cad, oxMeshImporter::File& file,
                                    std::string& error);
    void showModel();
    int reportContinuity();
    int writeOutputs();
    static int fail(const std::string& error, int status);
    int runProjectAndScript();
    // --draft, --comb-edges and --comb-sections, after the project, before the script.
    int showHostAnalyses();
    void stopHostLayer();

    const oxHostOptions _options;
    QMainWindow* _window = nullptr;
    oxViewerWindow* _viewer = nullptr; // the window, with --gui
    oxInternalCameraConnector* _cameraConnector = nullptr;
    oxBaseService* _service = nullptr;
    std::unique_ptr<Panel> _panel;
};
