#include "oxIsolatedProcess.h"

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
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

std::string oxIsolatedProcess::run(const std::function<std::string()>& work, int seconds, std::string& answer,
                                   bool quiet)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return std::string("cannot start the importer: ") + std::strerror(errno);
    const pid_t child = ::fork();
    if (child < 0)
    {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::string("cannot start the importer: ") + std::strerror(errno);
    }
    if (child == 0)
    {
        ::close(fds[0]);
        // A crash here is the answer, not the host's business: no inherited crash handlers.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
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
        std::string result;
        try
        {
            if (childHook())
                childHook()();
            result = work();
        }
        catch (...)
        {
            ::_exit(1);
        }
        size_t written = 0;
        while (written < result.size())
        {
            const ssize_t n = ::write(fds[1], result.data() + written, result.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(1);
            written += size_t(n);
        }
        ::_exit(0);
    }

    ::close(fds[1]);
    answer.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timedOut = false, cancelled = false;
    char chunk[1 << 16];
    for (;;)
    {
        if (cancelRequested())
        {
            cancelled = true;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
        {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        // A cancellable run looks at its flag often enough for a Cancel button.
        const int ready = ::poll(&p, 1, int(std::min<long long>(left, t_cancel ? 50 : 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(chunk, size_t(n));
    }
    ::close(fds[0]);
    if (timedOut || cancelled)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    if (cancelled)
        return Cancelled;
    if (timedOut)
        return "the importer did not finish within " + std::to_string(seconds) + " s; the file is probably damaged";
    if (WIFSIGNALED(status))
        return "the importer failed on it (signal " + std::to_string(WTERMSIG(status)) +
               "); the file is probably truncated or damaged";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the importer failed on it";
    return std::string();
}
