#pragma once

#include <string>
#include <vector>

// Runs the user's Python in the host's script namespace (__main__), as the python command would:
// sys.argv as given, the script's folder first on sys.path. Each returns the exit status: 0, the
// code of a SystemExit, or 1 after an uncaught exception's traceback on stderr.
class oxHostRunner
{
public:
    // 2, with a message on stderr, when the file cannot be read.
    static int runScript(const std::string& path, const std::vector<std::string>& argv);
    static int runCode(const std::string& code, const std::vector<std::string>& argv);
    // Reads statements from stdin until its end. With a terminal there are prompts and a banner;
    // with a pipe there are none, and the status is 1 if any statement raised.
    static int runConsole(const std::vector<std::string>& argv, const std::string& banner);
};
