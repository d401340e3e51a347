#include "oxHostFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Why the open file cannot be read as asked, or "".
std::string refusal(int fd, const oxHostFile::ReadOptions& options)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "it is a directory";
    if (!options.pipes && !S_ISREG(st.st_mode))
        return "it is not a regular file";
    return std::string();
}

std::string tooLarge(std::size_t maxSize)
{
    if (maxSize >= (1u << 20) && maxSize % (1u << 20) == 0)
        return "the file is larger than " + std::to_string(maxSize >> 20) + " MiB";
    return "the file is larger than " + std::to_string(maxSize) + " bytes";
}

bool readAll(int fd, std::string& text, std::string& error, std::size_t maxSize)
{
    const std::size_t start = text.size();
    char buffer[65536];
    for (;;)
    {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0)
            return true;
        if (text.size() - start + std::size_t(n) > maxSize)
        {
            error = tooLarge(maxSize);
            return false;
        }
        text.append(buffer, std::size_t(n));
    }
}
} // namespace

bool oxHostFile::read(const std::string& path, std::string& text, std::string& error, const ReadOptions& options)
{
    // Without O_NONBLOCK, opening a pipe waits for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (options.pipes ? 0 : O_NONBLOCK));
    if (fd < 0)
    {
        error = std::strerror(errno);
        return false;
    }
    error = refusal(fd, options);
    const bool ok = error.empty() && readAll(fd, text, error, options.maxSize);
    ::close(fd);
    return ok;
}
