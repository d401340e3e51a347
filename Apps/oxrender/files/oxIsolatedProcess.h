#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Runs a third-party file reader, which may crash, hang or exhaust memory on a damaged input, in
// a process of its own, oxreader, so that only its answer comes back to the host. The reader may
// use a share of the machine's memory (OXHOST_READER_MEMORY_MB), dies with its host, and Ctrl+C
// stops it. It is started with posix_spawn, never a fork of this multi-threaded process.
class oxIsolatedProcess
{
public:
    struct Options
    {
        // The reader's own messages go to /dev/null (chatty readers), not to standard error.
        bool quiet = false;
    };

    // How a child ended, for callers that word their own messages; run() words the reader's.
    struct Ending
    {
        enum Kind
        {
            Answered,    // it closed its answer and exited with status 0
            NotStarted,  // problem says why
            TimedOut,    // killed when its time was up
            Cancelled,   // killed: the CancelScope's flag was set
            Interrupted, // killed: Ctrl+C
            Crashed,     // ended by signal
            OutOfMemory, // asked for more than megabytes
            Failed       // another exit status; answer may say why
        };
        Kind kind = NotStarted;
        int signal = 0;
        std::uint64_t megabytes = 0;
        std::string problem;
    };
    // Runs program, with its first arguments, as run() runs oxreader (oxreader when empty): it takes
    // the same first three arguments (see becomeReader). oxhost checks each part of a batch this way.
    static Ending runProgram(const std::vector<std::string>& program, const std::vector<std::string>& arguments,
                             int seconds, std::string& answer, const Options& options);

    // Runs oxreader with arguments (see oxreader.cpp) and returns what it wrote in answer. The
    // result is empty on success, otherwise a sentence saying how the reader failed (crashed,
    // timed out, could not be started, ...).
    static std::string run(const std::vector<std::string>& arguments, int seconds, std::string& answer,
                           const Options& options);
    static std::string run(const std::vector<std::string>& arguments, int seconds, std::string& answer)
    {
        return run(arguments, seconds, answer, Options());
    }

    // What run() returns when it was cancelled, and when Ctrl+C stopped it (the interrupt is then
    // handed on to the handler that was installed before the run).
    static const char* const Cancelled;
    static const char* const Interrupted;

    // While one lives, run() on this thread watches flag and, once it is set, kills its reader
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

    // The program, with its first arguments, that runs instead of oxreader (empty: oxreader);
    // tests stand in a slow or failing reader with it.
    static void setStandIn(std::vector<std::string> command);

    // The oxreader program run(): OXHOST_READER, else the one beside this program, else the
    // installed one; empty, with a sentence in error, when there is none.
    static std::string readerProgram(std::string& error);

    // What oxreader does with its first three arguments, the host's process id, its memory in
    // MiB and "quiet" or "verbose": dies with the host (or at once when that is gone already),
    // takes the default action on crashes and Ctrl+C, caps its address space, and sends its
    // readers' own output away from the answer. Returns the descriptor the answer goes to, or -1.
    static int becomeReader(char** arguments);

    // oxreader's exit status when its reader asked for more memory than it may use.
    static constexpr int OutOfMemoryStatus = 3;
};

// A size in MiB that an environment variable sets (OXHOST_READER_MEMORY_MB, OXHOST_CAD_CACHE_MB):
// the whole value a decimal number from 1 to MaxMegabytes. Unset or empty leaves megabytes as it
// is; any other value is refused with a sentence naming the variable and its value.
constexpr std::uint64_t MaxMegabytes = std::uint64_t(1) << 24; // 16 TiB
bool oxMegabytesFromEnvironment(const char* variable, std::uint64_t& megabytes, std::string& error);

// Length-prefixed arrays of plain values, the format of the reader's answers: the reader is built
// with the host, on the same machine, so byte order and layout need no conversion.
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
