#pragma once

#include <string>
#include <vector>

class QMainWindow;
class oxMessage;

// The host controller: named callbacks, render requests and the host's global modes.
class oxController
{
public:
    typedef void (*Callback)(oxMessage&);

    // One entry per registration; subCB removes one entry with exactly this name and function.
    static void addCB(const char* name, Callback fn);
    static void subCB(const char* name, Callback fn);
    // Host side: calls every function registered under the name, in registration order; returns how many.
    static int raiseCB(const char* name, oxMessage& msg);
    static int callbackCount(const char* name);
    static std::vector<std::string> callbackNames();

    // Requests a redraw of the views; the stand-in counts the requests and tells the listener,
    // the view of a host with a window (null: none).
    static void updateRender(bool force);
    typedef void (*RenderListener)(bool force);
    static void setRenderListener(RenderListener listener);
    static int renderRequestCount();
    static void resetCounters();

    static bool isSimpleMode();
    static void setSimpleMode(bool simple);
    // The analysis application mode; a host fixes it before any module is constructed.
    static bool getAnalysisMode();
    static void setAnalysisMode(bool analysis);

    // Null when there is none or it was destroyed.
    static QMainWindow* getMainWindow();
    static void setMainWindow(QMainWindow* window);
};
