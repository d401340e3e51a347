#include "oxIsolatedProcess.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
thread_local const std::atomic<bool>* t_cancel = nullptr;

std::function<void()>& childHook()
{
    static std::function<void()> hook;
    return hook;
}

bool cancelRequested()
{
    return t_cancel && t_cancel->load();
}
} // namespace

const char* const oxIsolatedProcess::Cancelled = "cancelled";

bool oxMegabytesFromEnvironment(const char* variable, std::uint64_t& megabytes, std::string& error)
{
    const char* text = std::getenv(variable);
    if (!text || !*text)
        return true;
    // Not atoll or strtoull: they take "1e3" as 1, a sign or blanks, and wrap huge values.
    const char* end = text + std::strlen(text);
    std::uint64_t value = 0;
    const auto parsed = std::from_chars(text, end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || value < 1 || value > MaxMegabytes)
    {
        error = std::string(variable) + "=\"" + text + "\" is not a size in MiB: expected a whole number from 1 to " +
                std::to_string(MaxMegabytes);
        return false;
    }
    megabytes = value;
    return true;
}
const char* const oxIsolatedProcess::Interrupted = "interrupted";

oxIsolatedProcess::CancelScope::CancelScope(const std::atomic<bool>& flag) : _previous(t_cancel)
{
    t_cancel = &flag;
}

oxIsolatedProcess::CancelScope::~CancelScope()
{
    t_cancel = _previous;
}

void oxIsolatedProcess::setChildHook(std::function<void()> hook)
{
    childHook() = std::move(hook);
}

namespace
{
// The child's exit status when its reader asked for more memory than it may use.
constexpr int OutOfMemoryStatus = 3;

// The address space the reader may add to what it inherits: OXHOST_READER_MEMORY_MB, or a quarter
// of the machine's memory (at least 1 GiB), so that a damaged file cannot make it take the machine.
bool readerAllowance(rlim_t& allowance, std::string& error)
{
    const long long physical = (long long)::sysconf(_SC_PHYS_PAGES) * ::sysconf(_SC_PAGESIZE);
    std::uint64_t megabytes = std::uint64_t(std::max(physical / 4, 1LL << 30)) >> 20;
    if (!oxMegabytesFromEnvironment("OXHOST_READER_MEMORY_MB", megabytes, error))
        return false;
    allowance = rlim_t(megabytes) << 20;
    return true;
}

void capMemory(rlim_t allowance)
{
    long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(statm, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + allowance;
    const rlimit cap{limit, limit};
    ::setrlimit(RLIMIT_AS, &cap);
}

[[noreturn]] void childMain(const std::function<std::string()>& work, int out, bool quiet, pid_t host, rlim_t allowance)
{
    // Dies with its host, even when the host is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != host)
        ::_exit(1);
    // A crash here is the answer, not the host's business: no inherited crash handlers. An
    // interrupt from the terminal reaches the whole process group and ends the reader too.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGINT, SIGTERM})
        std::signal(sig, SIG_DFL);
    if (quiet)
    {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
        {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    capMemory(allowance);
    std::string result;
    try
    {
        if (childHook())
            childHook()();
        result = work();
    }
    catch (const std::bad_alloc&)
    {
        ::_exit(OutOfMemoryStatus);
    }
    catch (...)
    {
        ::_exit(1);
    }
    size_t written = 0;
    while (written < result.size())
    {
        const ssize_t n = ::write(out, result.data() + written, result.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        written += size_t(n);
    }
    ::_exit(0);
}

// Ctrl+C while a reader runs: the host's own handler would only act once the read is over.
std::mutex g_interruptMutex;
int g_interruptUsers = 0;
struct sigaction g_previousInterrupt;
volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

// While one lives, an interrupt is noted; the last one out hands the interrupt on to the handler
// that was there before, once the child is gone.
class InterruptWatch
{
public:
    InterruptWatch()
    {
        std::lock_guard<std::mutex> lock(g_interruptMutex);
        if (g_interruptUsers++ == 0)
        {
            g_interrupted = 0;
            struct sigaction watch = {};
            watch.sa_handler = onInterrupt;
            sigemptyset(&watch.sa_mask);
            ::sigaction(SIGINT, &watch, &g_previousInterrupt);
        }
    }
    ~InterruptWatch()
    {
        std::lock_guard<std::mutex> lock(g_interruptMutex);
        if (--g_interruptUsers == 0)
        {
            ::sigaction(SIGINT, &g_previousInterrupt, nullptr);
            if (g_interrupted)
                ::raise(SIGINT);
        }
    }
    bool interrupted() const { return g_interrupted != 0; }
};

enum class Outcome
{
    Answered,
    TimedOut,
    Cancelled,
    Interrupted
};

// Reads the child's answer until it closes its end, the time is up, or the user stops the read.
Outcome collectAnswer(int in, int seconds, const InterruptWatch& watch, std::string& answer)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char chunk[1 << 16];
    for (;;)
    {
        if (cancelRequested())
            return Outcome::Cancelled;
        if (watch.interrupted())
            return Outcome::Interrupted;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return Outcome::TimedOut;
        pollfd p{in, POLLIN, 0};
        // A cancellable run looks at its flag often enough for a Cancel button; an interrupt that
        // lands on another thread is seen within a tenth of a second.
        const int ready = ::poll(&p, 1, int(std::min<long long>(left, t_cancel ? 50 : 100)));
        if (ready < 0 && errno != EINTR)
            return Outcome::Answered;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Outcome::Answered;
        answer.append(chunk, size_t(n));
    }
}

std::string verdict(Outcome outcome, int status, int seconds, rlim_t allowance)
{
    switch (outcome)
    {
    case Outcome::Cancelled:
        return oxIsolatedProcess::Cancelled;
    case Outcome::Interrupted:
        return oxIsolatedProcess::Interrupted;
    case Outcome::TimedOut:
        return "the importer did not finish within " + std::to_string(seconds) + " s; the file is probably damaged";
    case Outcome::Answered:
        break;
    }
    if (WIFSIGNALED(status))
        return "the importer failed on it (signal " + std::to_string(WTERMSIG(status)) +
               "); the file is probably truncated or damaged";
    if (WIFEXITED(status) && WEXITSTATUS(status) == OutOfMemoryStatus)
        return "the importer needed more than the " + std::to_string(allowance >> 20) +
               " MiB of memory it may use; the file is probably damaged (OXHOST_READER_MEMORY_MB allows more)";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the importer failed on it";
    return std::string();
}
} // namespace

namespace
{
std::shared_mutex& parallelWork()
{
    static std::shared_mutex mutex;
    return mutex;
}
} // namespace

// Scopes nest (a frame builds the BVH it traces): only a thread's outermost one locks.
thread_local int parallelDepth = 0;

oxIsolatedProcess::ParallelScope::ParallelScope()
{
    if (parallelDepth++ == 0)
        parallelWork().lock_shared();
}

oxIsolatedProcess::ParallelScope::~ParallelScope()
{
    if (--parallelDepth == 0)
        parallelWork().unlock_shared();
}

std::string oxIsolatedProcess::run(const std::function<std::string()>& work, int seconds, std::string& answer,
                                   bool quiet)
{
    rlim_t allowance = 0;
    std::string setting;
    if (!readerAllowance(allowance, setting))
        return setting;
    int fds[2];
    if (::pipe(fds) != 0)
        return std::string("cannot start the importer: ") + std::strerror(errno);
    const InterruptWatch watch;
    const pid_t host = ::getpid();
    std::unique_lock<std::shared_mutex> idle(parallelWork());
    const pid_t child = ::fork();
    if (child != 0)
        idle.unlock();
    if (child < 0)
    {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::string("cannot start the importer: ") + std::strerror(errno);
    }
    if (child == 0)
    {
        ::close(fds[0]);
        childMain(work, fds[1], quiet, host, allowance);
    }

    ::close(fds[1]);
    answer.clear();
    const Outcome outcome = collectAnswer(fds[0], seconds, watch, answer);
    ::close(fds[0]);
    if (outcome != Outcome::Answered)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    return verdict(outcome, status, seconds, allowance);
}
