#include "oxIsolatedProcess.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
thread_local const std::atomic<bool>* t_cancel = nullptr;

std::vector<std::string>& standIn()
{
    static std::vector<std::string> command;
    return command;
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

void oxIsolatedProcess::setStandIn(std::vector<std::string> command)
{
    standIn() = std::move(command);
}

namespace
{
// The address space the reader may add to what it starts with: OXHOST_READER_MEMORY_MB, or a quarter
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

// A descriptor that becomes readable when the child ends, or -1 where the system has none (the
// wait then looks at the child every few milliseconds).
int childEnding(pid_t child)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, child, 0));
#else
    (void)child;
    return -1;
#endif
}

// Waits until the child ends, its time is up, or the user stops the read; status is the child's
// when it ended by itself.
Outcome awaitChild(pid_t child, int seconds, const InterruptWatch& watch, int& status)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const int ended = childEnding(child);
    Outcome outcome = Outcome::Answered;
    for (;;)
    {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            break;
        if (cancelRequested() || watch.interrupted())
        {
            outcome = cancelRequested() ? Outcome::Cancelled : Outcome::Interrupted;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
        {
            outcome = Outcome::TimedOut;
            break;
        }
        // A cancellable run looks at its flag often enough for a Cancel button; an interrupt that
        // lands on another thread is seen within a tenth of a second.
        const int wait = int(std::min<long long>(left, t_cancel ? 50 : 100));
        pollfd p{ended, POLLIN, 0};
        ::poll(ended >= 0 ? &p : nullptr, ended >= 0 ? 1 : 0, ended >= 0 ? wait : std::min(wait, 5));
    }
    if (ended >= 0)
        ::close(ended);
    return outcome;
}

// The whole of what the child wrote to its answer file.
bool takeAnswer(int file, std::string& answer)
{
    struct stat info;
    if (::fstat(file, &info) != 0)
        return false;
    answer.resize(size_t(info.st_size));
    size_t at = 0;
    while (at < answer.size())
    {
        const ssize_t n = ::pread(file, &answer[at], answer.size() - at, off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += size_t(n);
    }
    return true;
}

oxIsolatedProcess::Ending ending(Outcome outcome, int status, rlim_t allowance)
{
    typedef oxIsolatedProcess::Ending E;
    E e;
    e.megabytes = allowance >> 20;
    switch (outcome)
    {
    case Outcome::Cancelled:
        e.kind = E::Cancelled;
        return e;
    case Outcome::Interrupted:
        e.kind = E::Interrupted;
        return e;
    case Outcome::TimedOut:
        e.kind = E::TimedOut;
        return e;
    case Outcome::Answered:
        break;
    }
    if (WIFSIGNALED(status))
    {
        e.kind = E::Crashed;
        e.signal = WTERMSIG(status);
    }
    else if (WIFEXITED(status) && WEXITSTATUS(status) == oxIsolatedProcess::OutOfMemoryStatus)
        e.kind = E::OutOfMemory;
    else
        e.kind = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? E::Answered : E::Failed;
    return e;
}

std::string verdict(const oxIsolatedProcess::Ending& e, int seconds)
{
    typedef oxIsolatedProcess::Ending E;
    switch (e.kind)
    {
    case E::Answered:
        return std::string();
    case E::NotStarted:
        return e.problem;
    case E::Cancelled:
        return oxIsolatedProcess::Cancelled;
    case E::Interrupted:
        return oxIsolatedProcess::Interrupted;
    case E::TimedOut:
        return "the importer did not finish within " + std::to_string(seconds) + " s; the file is probably damaged";
    case E::Crashed:
        return "the importer failed on it (signal " + std::to_string(e.signal) +
               "); the file is probably truncated or damaged";
    case E::OutOfMemory:
        return "the importer needed more than the " + std::to_string(e.megabytes) +
               " MiB of memory it may use; the file is probably damaged (OXHOST_READER_MEMORY_MB allows more)";
    case E::Failed:
        break;
    }
    return "the importer failed on it";
}
} // namespace

namespace
{
std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool executable(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}
} // namespace

#ifndef OX_READER_INSTALLED_DIR
#define OX_READER_INSTALLED_DIR "../lib/oxhost"
#endif

std::string oxIsolatedProcess::readerProgram(std::string& error)
{
    const char* set = std::getenv("OXHOST_READER");
    if (set && *set)
    {
        if (executable(set))
            return set;
        error = std::string("OXHOST_READER=\"") + set + "\" is not a program that can be run";
        return std::string();
    }
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string bin = n > 0 ? folderOf(std::string(self, size_t(n))) : std::string(".");
    for (const std::string& candidate : {bin + "/oxreader", bin + "/" OX_READER_INSTALLED_DIR "/oxreader"})
        if (executable(candidate))
            return candidate;
    error = "its reader program oxreader is neither in " + bin + " nor in " + bin + "/" OX_READER_INSTALLED_DIR +
            "; the installation is incomplete";
    return std::string();
}

namespace
{
// Starts the reader with its answer going to out. The reader takes the default action on every
// signal the host catches, with none blocked, whatever the starting thread had.
std::string spawnReader(const std::vector<std::string>& command, int out, pid_t& child)
{
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int failed = ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return "cannot start the importer " + command[0] + ": " + std::strerror(failed);
    return std::string();
}
} // namespace

std::string oxIsolatedProcess::run(const std::vector<std::string>& arguments, int seconds, std::string& answer,
                                   const Options& options)
{
    return verdict(runProgram(std::vector<std::string>(), arguments, seconds, answer, options), seconds);
}

oxIsolatedProcess::Ending oxIsolatedProcess::runProgram(const std::vector<std::string>& program,
                                                        const std::vector<std::string>& arguments, int seconds,
                                                        std::string& answer, const Options& options)
{
    Ending notStarted;
    rlim_t allowance = 0;
    if (!readerAllowance(allowance, notStarted.problem))
        return notStarted;
    std::vector<std::string> command = program.empty() ? standIn() : program;
    if (command.empty())
    {
        std::string problem;
        const std::string reader = readerProgram(problem);
        if (reader.empty())
        {
            notStarted.problem = "cannot start the importer: " + problem;
            return notStarted;
        }
        command.push_back(reader);
    }
    command.insert(command.end(),
                   {std::to_string(::getpid()), std::to_string(allowance >> 20), options.quiet ? "quiet" : "verbose"});
    command.insert(command.end(), arguments.begin(), arguments.end());
    // The answer goes to a file in memory, not a pipe: the reader writes a large cloud at its own
    // pace instead of waiting for the host to drain 64 KiB at a time, and the host takes it with
    // one copy. It has no name, so it is gone with its last descriptor, however the run ends.
    const int file = ::memfd_create("oxreader-answer", MFD_CLOEXEC);
    if (file < 0)
    {
        notStarted.problem = std::string("cannot make the importer's answer file: ") + std::strerror(errno);
        return notStarted;
    }
    const InterruptWatch watch;
    pid_t child = 0;
    notStarted.problem = spawnReader(command, file, child);
    if (!notStarted.problem.empty())
    {
        ::close(file);
        return notStarted;
    }
    answer.clear();
    int status = 0;
    const Outcome outcome = awaitChild(child, seconds, watch, status);
    if (outcome != Outcome::Answered)
    {
        ::kill(child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
        {
        }
    }
    else if (!takeAnswer(file, answer))
        answer.clear();
    ::close(file);
    return ending(outcome, status, allowance);
}

int oxIsolatedProcess::becomeReader(char** arguments)
{
    for (int i = 0; i < 4; ++i)
        if (!arguments[i])
            return -1;
    // Dies with its host, even when the host is killed; and at once if it is gone already.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (std::to_string(::getppid()) != arguments[1])
        return -1;
    rlim_t megabytes = 0;
    const char* end = arguments[2] + std::strlen(arguments[2]);
    if (std::from_chars(arguments[2], end, megabytes).ptr != end || megabytes == 0)
        return -1;
    // The answer keeps the standard output; what the readers print goes to standard error, or
    // nowhere for quiet ones.
    const int answer = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int away = std::strcmp(arguments[3], "quiet") == 0 ? ::open("/dev/null", O_WRONLY) : ::dup(STDERR_FILENO);
    if (answer < 0 || away < 0)
        return -1;
    ::dup2(away, STDOUT_FILENO);
    if (std::strcmp(arguments[3], "quiet") == 0)
        ::dup2(away, STDERR_FILENO);
    ::close(away);
    capMemory(megabytes << 20);
    return answer;
}
