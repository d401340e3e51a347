#include "oxController.h"
#include "oxLog.h"

#include <QMainWindow>
#include <QPointer>

#include <utility>

namespace
{
struct ControllerState
{
    std::vector<std::pair<std::string, oxController::Callback>> callbacks;
    int renderRequests = 0;
    oxController::RenderListener renderListener = nullptr;
    bool simpleMode = false;
    bool analysisMode = false;
    QPointer<QMainWindow> mainWindow;
};

// Leaked on purpose: modules unregister their callbacks from static destructors at process exit.
ControllerState& state()
{
    static ControllerState* s = new ControllerState;
    return *s;
}
} // namespace

void oxController::addCB(const char* name, Callback fn)
{
    if (!name || !fn)
    {
        oxLog::error("oxController::addCB: cannot register callback '%s' without a name and a function",
                     name ? name : "(null)");
        return;
    }
    state().callbacks.emplace_back(name, fn);
}

void oxController::subCB(const char* name, Callback fn)
{
    auto& callbacks = state().callbacks;
    for (auto it = callbacks.begin(); it != callbacks.end(); ++it)
        if (it->second == fn && name && it->first == name)
        {
            callbacks.erase(it);
            return;
        }
    oxLog::error("oxController::subCB: no callback '%s' is registered with this function", name ? name : "(null)");
}

int oxController::raiseCB(const char* name, oxMessage& msg)
{
    if (!name)
        return 0;
    // A callback may add or remove callbacks; the set raised is the one registered at the start.
    std::vector<Callback> targets;
    for (const auto& entry : state().callbacks)
        if (entry.first == name)
            targets.push_back(entry.second);
    for (Callback fn : targets)
        fn(msg);
    return int(targets.size());
}

int oxController::callbackCount(const char* name)
{
    int count = 0;
    for (const auto& entry : state().callbacks)
        if (name && entry.first == name)
            ++count;
    return count;
}

std::vector<std::string> oxController::callbackNames()
{
    std::vector<std::string> names;
    for (const auto& entry : state().callbacks)
        names.push_back(entry.first);
    return names;
}

void oxController::updateRender(bool force)
{
    ++state().renderRequests;
    if (state().renderListener)
        state().renderListener(force);
}

void oxController::setRenderListener(RenderListener listener)
{
    state().renderListener = listener;
}

int oxController::renderRequestCount()
{
    return state().renderRequests;
}

void oxController::resetCounters()
{
    state().renderRequests = 0;
}

bool oxController::isSimpleMode()
{
    return state().simpleMode;
}

void oxController::setSimpleMode(bool simple)
{
    state().simpleMode = simple;
}

bool oxController::getAnalysisMode()
{
    return state().analysisMode;
}

void oxController::setAnalysisMode(bool analysis)
{
    state().analysisMode = analysis;
}

QMainWindow* oxController::getMainWindow()
{
    return state().mainWindow.data();
}

void oxController::setMainWindow(QMainWindow* window)
{
    state().mainWindow = window;
}
