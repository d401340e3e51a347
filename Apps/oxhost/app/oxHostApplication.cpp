// Python first: it may redefine feature macros that later headers depend on.
#include <Python.h>

#include "oxHostApplication.h"

#include "oxBaseService.h"
#include "oxCadCache.h"
#include "oxModelImporter.h"
#include "oxController.h"
#include "oxHostAnalysisKinds.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisScript.h"
#include "oxHostCad.h"
#include "oxHostDeviation.h"
#include "oxHostRoomOptions.h"
#include "oxHostProject.h"
#include "oxHostRender.h"
#include "oxHostReport.h"
#include "oxHostRooms.h"
#include "oxHostRunner.h"
#include "oxHostScene.h"
#include "oxHostScript.h"
#include "oxHostViewerScript.h"
#include "oxInternalCameraConnector.h"
#include "oxKernelServiceFactory.h"
#include "oxMaterialWidget.h"
#include "oxMeshNodes.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRenderer.h"
#include "oxScript.h"
#include "oxUndoStack.h"
#include "oxViewerCamera.h"
#include "oxViewerView.h"
#include "oxViewerWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

#ifndef OXHOST_VERSION
#define OXHOST_VERSION "unknown"
#endif
#ifndef OXHOST_INSTALLED_PLUGIN_DIR
#define OXHOST_INSTALLED_PLUGIN_DIR "../lib/oxhost"
#endif

namespace
{
// The module library, and the host's panel for it, which links the module.
const char* const ModuleLibrary = "liboxSurfaceAnalysis.so";
const char* const PanelLibrary = "liboxhostSurfaceAnalysisPanel.so";

// Plug-ins stay loaded until the process ends: their static objects (the module object among
// them) are destroyed at exit, after the application object.
void* loadLibrary(const std::string& path, std::string& error)
{
    // RTLD_GLOBAL: the panel, loaded next, and Python's built-in module table resolve against it.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle)
        error = "cannot load the plug-in \"" + path + "\": " + ::dlerror();
    return handle;
}

// Qt's one complaint about a headless session is noise for a command-line tool; the rest passes.
QtMessageHandler s_qtHandler = nullptr;
void filterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set") ||
        message.startsWith("This plugin does not support propagateSizeHints()"))
        return;
    if (s_qtHandler)
        s_qtHandler(type, context, message);
}

bool displaySet()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}
} // namespace

struct oxHostApplication::Panel
{
    typedef void (*Entry)();
    Entry attach = nullptr;
    Entry create = nullptr;
    Entry detach = nullptr;
    oxViewerWindow::PanelFactory widget = nullptr; // optional
};

oxHostApplication::oxHostApplication(const oxHostOptions& options) : _options(options) {}

oxHostApplication::~oxHostApplication() = default;

std::string oxHostApplication::pluginDirectory()
{
    const char* dir = std::getenv("OXHOST_PLUGIN_DIR");
    if (dir && *dir)
        return dir;
    // Installed, the plug-ins share a private folder with our other libraries; in the build tree
    // every library is in lib/.
    const std::string bin = QCoreApplication::applicationDirPath().toStdString();
    const std::string installed = bin + "/" OXHOST_INSTALLED_PLUGIN_DIR;
    if (QFileInfo::exists(QString::fromStdString(installed + "/" + ModuleLibrary)))
        return installed;
    return bin + "/../lib";
}

bool oxHostApplication::hasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (displaySet())
        return true;
    return platform && *platform && std::strncmp(platform, "offscreen", 9) != 0 &&
           std::strncmp(platform, "minimal", 7) != 0;
}

int oxHostApplication::exec(const char* argv0)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !displaySet())
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    s_qtHandler = qInstallMessageHandler(&filterQtMessages);
    // Qt sees only the program name: the rest of the command line belongs to oxhost and the script.
    static int qtArgc = 1;
    static char* qtArgv[] = {const_cast<char*>(argv0), nullptr};
    QApplication app(qtArgc, qtArgv);
    // The viewer's settings: ~/.config/oxhost/oxhost.conf
    QApplication::setOrganizationName("oxhost");
    QApplication::setApplicationName("oxhost");
    QApplication::setApplicationVersion(OXHOST_VERSION);

    // The host's modes are fixed before any module exists.
    oxController::setAnalysisMode(_options.analysisMode);
    oxCadCache::setEnabled(_options.cache);
    startHostLayer();

    std::string error;
    int status = 1;
    if (!loadPlugins(error))
        std::fprintf(stderr, "oxhost: %s\n", error.c_str());
    else if (!oxScript::initialize())
        std::fprintf(stderr, "oxhost: the Python interpreter could not be started\n");
    else
    {
        _panel->create();
        Q_EMIT _service->init();
        if (_viewer)
        {
            _viewer->setPanel(_panel->widget);
            _viewer->show();
            // Showing the panel's dock is the module's first interface edit; it is not the user's.
            oxUndoStack::get(0).clear();
        }
        QTimer::singleShot(0, &app,
                           [this, &status]
                           {
                               status = runUserCode();
                               // The viewer stays open after a script that went well, until closed or quit().
                               if (!_viewer || status != 0 || oxHostViewerScript::quitRequested() ||
                                   !_viewer->isVisible())
                                   QCoreApplication::exit(status);
                           });
        QApplication::exec();
    }
    stopHostLayer();
    return status;
}

void oxHostApplication::startHostLayer()
{
    oxHostScript::install();
    oxHostRooms::install();
    oxHostRender::install();
    oxHostViewerScript::install();
    oxRaytracingManager::createRaytracingUtils();

    oxOSGWidget* widget = nullptr;
    if (_options.gui)
    {
        _viewer = new oxViewerWindow;
        _window = _viewer;
        widget = _viewer->view();
    }
    else
    {
        _window = new QMainWindow;
        _window->setWindowTitle("oxhost");
        widget = new oxOSGWidget(_window);
        _window->setCentralWidget(widget);
    }
    oxOSGWidget::setMGLW(widget);
    oxController::setMainWindow(_window);

    _cameraConnector = new oxInternalCameraConnector;
    oxInternalCameraConnector::setInstance(_cameraConnector);
    _service = new oxBaseService;
    oxKernelServiceFactory::the().registerService<oxBaseService>(_service);
}

bool oxHostApplication::loadPlugins(std::string& error)
{
    const std::string dir = pluginDirectory() + "/";
    if (!loadLibrary(dir + ModuleLibrary, error))
        return false;
    void* panel = loadLibrary(dir + PanelLibrary, error);
    if (!panel)
        return false;
    _panel = std::make_unique<Panel>();
    _panel->attach = reinterpret_cast<Panel::Entry>(::dlsym(panel, "oxhostPanelAttach"));
    _panel->create = reinterpret_cast<Panel::Entry>(::dlsym(panel, "oxhostPanelCreate"));
    _panel->detach = reinterpret_cast<Panel::Entry>(::dlsym(panel, "oxhostPanelDetach"));
    _panel->widget = reinterpret_cast<oxViewerWindow::PanelFactory>(::dlsym(panel, "oxhostPanelWidget"));
    if (!_panel->attach || !_panel->create || !_panel->detach)
    {
        error = "the plug-in \"" + dir + PanelLibrary + "\" lacks the panel entry points";
        _panel.reset();
        return false;
    }
    _panel->attach();
    return true;
}

int oxHostApplication::runUserCode()
{
    // The model first, so that the project and the script find it, with the view framed on it.
    if (const int status = loadModel())
        return status;
    // The window was closed while the files were read: that ends the session.
    if (_viewer && !_viewer->isVisible())
        return 0;
    if (!_options.exactShading)
        oxRenderer::the().scene().setExactShading(false);
    if (_options.showContinuity)
        oxRenderer::the().setShowContinuity(true);
    if (!_options.meshes.empty() || !_options.samples.empty())
        showModel();
    if (const int status = reportContinuity())
        return status;
    if (const int status = runProjectAndScript())
        return status;
    return writeOutputs();
}

int oxHostApplication::loadModel()
{
    oxCadOptions cad;
    if (_options.deflection > 0)
        cad.deflection = _options.deflection;
    if (_options.angle > 0)
        cad.angleDegrees = _options.angle;
    cad.strict = _options.strict;
    // A file cancelled in the window is left out, as File > Open leaves it; a closed window reads no more.
    for (const std::string& path : _options.meshes)
    {
        oxMeshImporter::File file;
        std::string error;
        const oxViewerLoader::Result result = readFile(path, cad, file, error);
        if (result == oxViewerLoader::Failed)
            return fail(error, 1);
        if (_viewer && !_viewer->isVisible())
            return 0;
        if (result == oxViewerLoader::Loaded)
            oxHostRender::addFile(file);
    }
    if (!_options.reference.empty())
    {
        oxMeshImporter::File file;
        std::string error;
        const oxViewerLoader::Result result = readFile(_options.reference, cad, file, error);
        if (result == oxViewerLoader::Failed)
            return fail(error, 1);
        if (_viewer && !_viewer->isVisible())
            return 0;
        if (result == oxViewerLoader::Loaded)
            oxHostDeviation::useReference(file);
    }
    for (const std::string& name : _options.samples)
    {
        std::string error;
        if (oxHostRender::addSample(name, error) == osg::NullFC)
            return fail(error, 2);
    }
    return 0;
}

// With the window, its loader reads, so that the window stays live (Cancel, closing it) meanwhile.
oxViewerLoader::Result oxHostApplication::readFile(const std::string& path, const oxCadOptions& cad,
                                                   oxMeshImporter::File& file, std::string& error)
{
    if (_viewer)
        return _viewer->readFile(QString::fromStdString(path), file, error, cad);
    return oxModelImporter::read(path, file, error, oxMeshNodes::DefaultCreaseAngle, cad) ? oxViewerLoader::Loaded
                                                                                          : oxViewerLoader::Failed;
}

// The chosen view of the model, and lights that show lines on it unless a project brings its own.
void oxHostApplication::showModel()
{
    oxViewerCamera::View view = oxViewerCamera::Isometric;
    oxViewerCamera::viewNamed(_options.view, view);
    if (_viewer && view == oxViewerCamera::Isometric)
        _viewer->showModel();
    else if (_viewer)
    {
        oxViewerCamera::setView(view, _viewer->view()->size());
        _viewer->view()->changed(false);
    }
    else
        oxViewerCamera::setView(view, QSize(_options.renderWidth, _options.renderHeight));
    std::string error;
    if (_options.fitLights && _options.project.empty() && !oxHostAnalysisScript::fitLights(error))
        std::fprintf(stderr, "oxhost: %s\n", error.c_str());
}

int oxHostApplication::reportContinuity()
{
    if (!_options.continuity && _options.continuityCsv.empty())
        return 0;
    const std::vector<oxEdgeContinuity> edges = oxHostCad::continuity(oxContinuityTolerances());
    if (_options.continuity)
    {
        oxHostCad::printTable(edges, stdout);
        std::fflush(stdout);
    }
    std::string error;
    if (!_options.continuityCsv.empty() && !oxHostCad::writeCsv(edges, _options.continuityCsv, error))
        return fail(error, 1);
    return 0;
}

// The image and the report, after the project and the script.
int oxHostApplication::writeOutputs()
{
    std::string error;
    if (!_options.render.empty() && !oxHostRender::render(_options.render, _options.renderWidth, _options.renderHeight,
                                                          error, _options.renderSamples))
        return fail(error, 1);
    if (!_options.report.empty() && !oxHostReport::write(_options.report, std::min(_options.renderWidth, 960),
                                                         std::min(_options.renderHeight, 600), error))
        return fail(error, 1);
    return 0;
}

int oxHostApplication::fail(const std::string& error, int status)
{
    std::fprintf(stderr, "oxhost: %s\n", error.c_str());
    return status;
}

int oxHostApplication::runProjectAndScript()
{
    if (!_options.project.empty())
    {
        std::string error;
        if (!oxHostProject::load(_options.project, error))
        {
            std::fprintf(stderr, "oxhost: %s\n", error.c_str());
            return 1;
        }
    }
    if (_options.autoRange)
    {
        // On a model without curvature the range stays: a warning, not a failure.
        std::string error;
        float scale = 0.f;
        if (!oxHostAnalysisScript::autoBodyRange(scale, error))
            std::fprintf(stderr, "oxhost: %s\n", error.c_str());
        // A fitted range is read off the legend, with the histogram beside it.
        oxHostAnalysisScript::showCurvatureLegend();
    }
    // The viewer is for looking at the analysis: a model opens in it with zebra stripes, unless the
    // project or the user's script sets the analysis up.
    const bool model = !_options.meshes.empty() || !_options.samples.empty();
    const bool opening = _viewer && model && _options.project.empty() && !_options.hasCode && _options.script.empty() &&
                         !oxHostRoomOptions::colours(_options.roomOptions);
    const std::string analysis = !_options.analysis.empty() ? _options.analysis : opening ? "zebra" : "";
    std::string error;
    if (!analysis.empty() && !oxHostAnalysisKinds::show(analysis, error))
    {
        std::fprintf(stderr, "oxhost: %s\n", error.c_str());
        return 1;
    }
    if (const int status = showHostAnalyses())
        return status;
    if (_options.hasCode)
        return oxHostRunner::runCode(_options.code, _options.scriptArgv());
    if (!_options.script.empty())
        return oxHostRunner::runScript(_options.script, _options.scriptArgv());
    if (!_options.render.empty() || !_options.report.empty() || _viewer || _options.modelFile)
        return 0; // an image, a report, the window or a model's table was asked for, not a console
    const std::string python = Py_GetVersion();
    const std::string banner = std::string("oxhost ") + OXHOST_VERSION + " with Python " +
                               python.substr(0, python.find(' ')) +
                               "\nThe modules oxSurfaceAnalysis and oxHost are loaded; help(oxHost) lists the "
                               "host's functions. Ctrl-D leaves.";
    return oxHostRunner::runConsole(_options.scriptArgv(), banner);
}

// The values were checked with the command line; a refusal here is a fault of ours, said as such.
int oxHostApplication::showHostAnalyses()
{
    std::string error;
    bool ok = oxHostRoomOptions::apply(_options.roomOptions, error);
    oxHostAnalysisModel* host = oxHostAnalysisModel::the();
    if (ok && _options.colourMap >= 0)
        ok = host->setColourMap(unsigned(_options.colourMap), &error) &&
             host->setColourMapReversed(_options.colourMapReversed, &error) &&
             host->setColourMapSteps(_options.colourMapSteps, &error);
    if (ok && _options.flatColours)
        ok = host->setColoursLit(false, &error);
    if (!ok)
        return fail("cannot show the host analyses: " + error, 1);
    return 0;
}

void oxHostApplication::stopHostLayer()
{
    if (_panel)
        _panel->detach();
    oxScript::finalize();
    // Edits and meshes go while the module and the scene they refer to still exist.
    oxUndoStack::get(0).clear();
    oxHostScene::clear();
    // Preview widgets that nobody owns must go before the application object does.
    oxMaterialWidget::deleteUnparented();

    oxController::setMainWindow(nullptr);
    oxOSGWidget::setMGLW(nullptr);
    delete _window;
    _window = nullptr;
    _viewer = nullptr;
    delete _service; // leaves the service registry
    _service = nullptr;
    delete _cameraConnector; // leaves the connector slot
    _cameraConnector = nullptr;
}
