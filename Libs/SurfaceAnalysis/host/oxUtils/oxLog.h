#pragma once

#include <string>
#include <vector>

// The host log: printf-style lines on stderr, also kept so the host can show them.
class oxLog
{
public:
    static void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static void info(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Every line written so far, oldest first, without trailing newlines.
    static std::vector<std::string> lines();
    static void clear();
    // Whether lines are also echoed on stderr (on by default).
    static void setEcho(bool echo);
};
