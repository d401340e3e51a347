#pragma once

#include <map>
#include <string>
#include <vector>

// The command line of oxhost: oxhost [options] [model] [options] [script.py [args...]] or
// oxhost [options] -c CODE [args...]. A model file (by its suffix) may stand before the script, with
// options after it; everything after the script or the code belongs to the script.
struct oxHostOptions
{
    enum Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        ShowManPage, // --help-man: the man page, made at build time
        Invalid      // error says why
    };

    Action action = Run;
    bool analysisMode = false;
    bool gui = false;                 // --gui: the viewer window
    std::string project;              // empty: none
    std::vector<std::string> meshes;  // --mesh, in order
    std::string reference;            // --reference: read after the meshes; empty: none
    std::vector<std::string> samples; // --sample, in order
    std::string render;               // --render: the image written at the end; empty: none
    int renderWidth = 1280, renderHeight = 800;
    int renderSamples = 3;    // --samples: per pixel, squared, for the --render image
    bool autoRange = false;   // --auto-range
    bool fitLights = true;    // --no-fit turns it off
    std::string analysis;     // --analysis: the kind shown before the script; empty: none
    std::string view = "iso"; // --view: the direction a model is seen from
    // The rooms' options (the host's own analyses), checked, by name; the rooms apply them after
    // the project, before the script.
    std::map<std::string, std::vector<std::string>> roomOptions;
    int colourMap = -1; // --colormap NAME[,reverse][,steps=N]; -1: not given
    bool colourMapReversed = false;
    unsigned colourMapSteps = 0;
    bool flatColours = false; // --flat-colours: ColoursLit off
    bool modelFile = false;   // a model file stood where the script would
    std::string report;       // --report: the HTML page written at the end; empty: none
    // CAD input: triangulation (0: the default), exact shading, continuity table and display.
    double deflection = 0, angle = 0;
    bool exactShading = true;
    bool strict = false; // --strict: a damaged CAD file is an error, not a warning
    bool cache = true;   // --no-cache turns it off: CAD files are read afresh, and not kept
    bool continuity = false;
    std::string continuityCsv; // empty: none
    bool showContinuity = false;
    bool hasCode = false;
    std::string code;
    std::string script; // empty (and no code): the interactive console
    std::vector<std::string> arguments;
    std::string error;

    // Whether oxhost was given only a model file to look at: no script, code, image, report or
    // continuity table; the viewer then opens on it.
    bool onlyLooking() const;

    // The script's sys.argv: the script path (or "-c", or "" for the console), then its arguments.
    std::vector<std::string> scriptArgv() const;

    static oxHostOptions parse(const std::vector<std::string>& args);
    // --help, and the man page of the same options.
    static std::string usage();
    static std::string manPage(const std::string& version);
};
