#pragma once

// The host's script runner on the embedded Python interpreter.
class oxScript
{
public:
    // Runs one line in the namespace of __main__. False, with a log line, when the interpreter is not
    // running or the line raised (Python prints the traceback).
    static bool run(const char* line);

    // Host side: the level 0 start-up functions, Py_Initialize, then the level 1 functions.
    // False when the interpreter already runs.
    static bool initialize();
    // Host side: Py_FinalizeEx; false when the interpreter was not running or did not finish cleanly.
    static bool finalize();
};
