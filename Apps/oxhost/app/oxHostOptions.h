#pragma once

#include <string>
#include <vector>

// The command line of oxhost: oxhost [options] [script.py [args...]] or oxhost [options] -c CODE [args...].
// Options come first; everything after the script or the code belongs to the script.
struct oxHostOptions
{
    enum Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        Invalid // error says why
    };

    Action action = Run;
    bool analysisMode = false;
    bool gui = false;                 // --gui: the viewer window
    std::string project;              // empty: none
    std::vector<std::string> meshes;  // --mesh, in order
    std::vector<std::string> samples; // --sample, in order
    std::string render;               // --render: the image written at the end; empty: none
    int renderWidth = 1280, renderHeight = 800;
    int renderSamples = 3;  // --samples: per pixel, squared, for the --render image
    bool autoRange = false; // --auto-range
    bool fitLights = true;  // --no-fit turns it off
    std::string report;     // --report: the HTML page written at the end; empty: none
    // CAD input: triangulation (0: the default), exact shading, continuity table and display.
    double deflection = 0, angle = 0;
    bool exactShading = true;
    bool strict = false; // --strict: a damaged CAD file is an error, not a warning
    bool continuity = false;
    std::string continuityCsv; // empty: none
    bool showContinuity = false;
    bool hasCode = false;
    std::string code;
    std::string script; // empty (and no code): the interactive console
    std::vector<std::string> arguments;
    std::string error;

    // The script's sys.argv: the script path (or "-c", or "" for the console), then its arguments.
    std::vector<std::string> scriptArgv() const;

    static oxHostOptions parse(const std::vector<std::string>& args);
    static std::string usage();
};
