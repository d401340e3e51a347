#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Runs work that may crash, hang or exhaust memory on a damaged input (third-party file readers)
// in a forked child, so that only its answer comes back to the host. The child may use a share of
// the machine's memory (OXHOST_READER_MEMORY_MB), dies with its host, and Ctrl+C stops it.
class oxIsolatedProcess
{
public:
    // Runs work in a child process and returns what it returned in answer. The result is empty
    // on success, otherwise a sentence saying how the child failed (crashed, timed out, ...).
    // quiet: the child's standard output and error go to /dev/null (chatty readers).
    static std::string run(const std::function<std::string()>& work, int seconds, std::string& answer,
                           bool quiet = false);

    // What run() returns when it was cancelled, and when Ctrl+C stopped it (the interrupt is then
    // handed on to the handler that was installed before the run).
    static const char* const Cancelled;
    static const char* const Interrupted;

    // Held by a thread while it runs parallel work: run() forks only while none does, since a
    // child forked in the middle of TBB's work inherits a scheduler that waits for workers it
    // does not have, and its reader never finishes.
    class ParallelScope
    {
    public:
        ParallelScope();
        ~ParallelScope();
        ParallelScope(const ParallelScope&) = delete;
        ParallelScope& operator=(const ParallelScope&) = delete;
    };

    // While one lives, run() on this thread watches flag and, once it is set, kills its child
    // and returns Cancelled: a window lets the user stop a long read this way.
    class CancelScope
    {
    public:
        explicit CancelScope(const std::atomic<bool>& flag);
        ~CancelScope();
        CancelScope(const CancelScope&) = delete;
        CancelScope& operator=(const CancelScope&) = delete;

    private:
        const std::atomic<bool>* _previous;
    };

    // Runs first in every child; tests stand in a slow reader with it.
    static void setChildHook(std::function<void()> hook);
};

// A size in MiB that an environment variable sets (OXHOST_READER_MEMORY_MB, OXHOST_CAD_CACHE_MB):
// the whole value a decimal number from 1 to MaxMegabytes. Unset or empty leaves megabytes as it
// is; any other value is refused with a sentence naming the variable and its value.
constexpr std::uint64_t MaxMegabytes = std::uint64_t(1) << 24; // 16 TiB
bool oxMegabytesFromEnvironment(const char* variable, std::uint64_t& megabytes, std::string& error);

// Length-prefixed arrays of plain values, the format of the child's answers: the child is a fork
// of this same process, so byte order and layout need no conversion.
// Not QDataStream: it streams arrays element by element, big-endian, which on a 1M-triangle mesh
// (24 MB) took about 2 s to write and read back against 0.1 s here; by default it also widens
// floats to doubles (1.5 times the bytes). It keeps the bits and stops at a damaged count as
// well as this does.
namespace oxWire
{
template <class T> void put(std::string& buffer, const std::vector<T>& values)
{
    const quint64 n = values.size();
    buffer.append(reinterpret_cast<const char*>(&n), sizeof n);
    if (n > 0)
        buffer.append(reinterpret_cast<const char*>(values.data()), n * sizeof(T));
}

inline void put(std::string& buffer, const std::string& text)
{
    put(buffer, std::vector<char>(text.begin(), text.end()));
}

template <class T> bool take(const std::string& buffer, size_t& at, std::vector<T>& values)
{
    quint64 n;
    if (buffer.size() - at < sizeof n)
        return false;
    std::memcpy(&n, buffer.data() + at, sizeof n);
    at += sizeof n;
    if (n > (buffer.size() - at) / sizeof(T))
        return false;
    values.resize(size_t(n));
    if (n > 0)
        std::memcpy(static_cast<void*>(values.data()), buffer.data() + at, size_t(n) * sizeof(T));
    at += size_t(n) * sizeof(T);
    return true;
}

inline bool take(const std::string& buffer, size_t& at, std::string& text)
{
    std::vector<char> chars;
    if (!take(buffer, at, chars))
        return false;
    text.assign(chars.begin(), chars.end());
    return true;
}
} // namespace oxWire
