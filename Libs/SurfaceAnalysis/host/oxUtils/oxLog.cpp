#include "oxLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace
{
struct LogState
{
    std::mutex mutex;
    std::vector<std::string> lines;
    bool echo = true;
};

// Outlives every other static: modules may log while they are destroyed.
LogState& state()
{
    static LogState* s = new LogState;
    return *s;
}

void write(const char* prefix, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(&line[0], line.size() + 1, format, args);
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    LogState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.echo)
        std::fprintf(stderr, "%s%s\n", prefix, line.c_str());
    s.lines.push_back(std::move(line));
}
} // namespace

void oxLog::error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write("", format, args);
    va_end(args);
}

void oxLog::info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write("", format, args);
    va_end(args);
}

std::vector<std::string> oxLog::lines()
{
    LogState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.lines;
}

void oxLog::clear()
{
    LogState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.lines.clear();
}

void oxLog::setEcho(bool echo)
{
    LogState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.echo = echo;
}
