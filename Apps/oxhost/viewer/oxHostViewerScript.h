#pragma once

// The oxHost functions that drive the viewer window of oxhost --gui: its view size and pixels,
// real mouse and key events, screenshots, the panel's controls, the frames, and quitting.
// Without a window they raise RuntimeError, except setView (the standard views), which images need.
class oxHostViewerScript
{
public:
    static void install();
    static void uninstall();

    // Whether a script asked the viewer to close (oxHost.quit()).
    static bool quitRequested();
};
