#include "oxAtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The mode a new file gets. The umask is read from /proc: setting it to read it back would race
// with other threads creating files.
mode_t newFileMode()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "Umask:") == 0)
            return 0666 & ~mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}
} // namespace

oxAtomicFile::oxAtomicFile(const std::string& path) : _path(path), _target(path) {}

oxAtomicFile::~oxAtomicFile()
{
    discard();
}

std::string oxAtomicFile::error() const
{
    return "cannot write \"" + _path + "\": " + _reason;
}

bool oxAtomicFile::fail(const std::string& reason)
{
    if (!_failed)
        _reason = reason;
    _failed = true;
    discard();
    return false;
}

bool oxAtomicFile::failErrno()
{
    return fail(std::strerror(errno));
}

void oxAtomicFile::discard()
{
    if (_fd >= 0)
        ::close(_fd);
    _fd = -1;
    if (!_temp.empty())
        ::unlink(_temp.c_str());
    _temp.clear();
}

bool oxAtomicFile::open()
{
    if (_path.empty() || _path.back() == '/')
        return fail("the path names no file");
    // Saving through a symbolic link replaces the file it points to, not the link.
    struct stat st;
    if (::lstat(_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        if (char* resolved = ::realpath(_path.c_str(), nullptr))
        {
            _target = resolved;
            std::free(resolved);
        }
    if (::stat(_target.c_str(), &st) == 0)
    {
        if (S_ISDIR(st.st_mode))
            return fail(std::strerror(EISDIR));
        // A rename would put a plain file where a device or a pipe was.
        if (!S_ISREG(st.st_mode))
            return fail("it is not a regular file");
        _mode = st.st_mode & 07777;
    }
    else
        _mode = newFileMode();

    const std::string folder = folderOf(_target);
    const std::size_t slash = _target.rfind('/');
    std::string name = folder + "/." + _target.substr(slash == std::string::npos ? 0 : slash + 1) + ".saving-XXXXXX";
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    _fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (_fd < 0)
        return failErrno();
    _temp = pattern.data();
    return true;
}

bool oxAtomicFile::write(const char* data, std::size_t size)
{
    if (_failed)
        return false;
    if (_fd < 0)
        return fail("the file is not open");
    for (std::size_t done = 0; done < size;)
    {
        const ssize_t n = ::write(_fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failErrno();
        if (n == 0)
            return fail(std::strerror(EIO));
        done += std::size_t(n);
    }
    return true;
}

bool oxAtomicFile::commit()
{
    if (_failed)
        return false;
    if (_fd < 0)
        return fail("the file is not open");
    // The mode last: the kernel clears set-id bits on writes to a file.
    if (::fchmod(_fd, _mode) != 0 || ::fsync(_fd) != 0)
        return failErrno();
    const int fd = _fd;
    _fd = -1;
    if (::close(fd) != 0 || ::rename(_temp.c_str(), _target.c_str()) != 0)
        return failErrno();
    _temp.clear();
    // The rename reaches the disk with the folder. Some file systems cannot sync a folder (EINVAL).
    const int folder = ::open(folderOf(_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return failErrno();
    const bool synced = ::fsync(folder) == 0 || errno == EINVAL;
    const int syncError = errno;
    ::close(folder);
    if (!synced)
    {
        errno = syncError;
        return failErrno();
    }
    return true;
}

bool oxAtomicFile::save(const std::string& path, const std::string& bytes, std::string& reason)
{
    oxAtomicFile file(path);
    if (file.open() && file.write(bytes) && file.commit())
        return true;
    reason = file.reason();
    return false;
}
