#include "oxAtomicFile.h"

#include "oxFolderNames.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include <climits>
#include <ctime>

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

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char savingTag[] = ".saving-";
const std::size_t savingTagSize = sizeof(savingTag) - 1;
const std::size_t uniqueSize = 6; // as mkostemp's XXXXXX

// ".name.saving-XXXXXX", its stem cut so that it fits NAME_MAX (on a UTF-8 character's boundary).
std::string tempPattern(const std::string& name)
{
    std::string stem = name;
    const std::size_t room = NAME_MAX - 1 - savingTagSize - uniqueSize;
    if (stem.size() > room)
    {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return "." + stem + savingTag + std::string(uniqueSize, 'X');
}

bool isLeftoverName(const std::string& name)
{
    const std::size_t tail = savingTagSize + uniqueSize;
    return name.size() > tail + 1 && name[0] == '.' && name.compare(name.size() - tail, savingTagSize, savingTag) == 0;
}

// Temporary files of saves that were killed before they could clean up: ours, and old enough that
// no save can still be writing them.
void removeLeftovers(int folder)
{
    const std::time_t before = std::time(nullptr) - 60;
    for (const std::string& name : oxFolderNames(folder))
    {
        struct stat st;
        if (isLeftoverName(name) && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < before)
            ::unlinkat(folder, name.c_str(), 0);
    }
}

// What a rename over the file would silently lose, as a reason; empty when nothing.
std::string refuseTarget(const struct stat& st, int folder, const std::string& name)
{
    const bool root = ::geteuid() == 0;
    if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0 || (root && (st.st_mode & 0222) == 0))
        return "it is not writable";
    if (st.st_nlink > 1)
        return "it has " + std::to_string(st.st_nlink) + " hard links, which a replacement would break";
    return std::string();
}
} // namespace

oxAtomicFile::oxAtomicFile(const std::string& path) : _path(path) {}

oxAtomicFile::oxAtomicFile(const std::string& path, const Options& options) : _path(path), _options(options) {}

oxAtomicFile::~oxAtomicFile()
{
    discard();
    if (_folder >= 0)
        ::close(_folder);
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
        ::unlinkat(_folder, _temp.c_str(), 0);
    _temp.clear();
}

bool oxAtomicFile::open()
{
    if (_path.empty() || _path.back() == '/')
        return fail("the path names no file");
    _folder = ::openat(_options.folder, folderOf(_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (_folder < 0)
        return failErrno();
    _name = nameOf(_path);
    // Saving through a symbolic link replaces the file it points to, not the link.
    const std::string link = followLinks();
    if (!link.empty())
        return fail(link);
    struct stat st;
    const bool exists = ::fstatat(_folder, _name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists)
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
    if (_options.mode != 0)
        _mode = _options.mode;

    removeLeftovers(_folder);
    if (!createTemporary())
        return failErrno();
    // After the temporary file, so that a folder that cannot be written says so first.
    return exists ? keepTarget(st) : true;
}

// Moves _folder and _name along the chain of symbolic links at the target, one folder descriptor
// at a time. As the kernel's protected_symlinks: a link planted by another user (in a shared
// folder such as /tmp) must not steer a save onto a file the writer may write but its planter may
// not; links of the writer, of root and of the folder's owner are followed. Empty when followed.
std::string oxAtomicFile::followLinks()
{
    struct stat st;
    for (int hops = 0; ::fstatat(_folder, _name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode); ++hops)
    {
        struct stat folder;
        const uid_t owner = st.st_uid;
        if (owner != ::geteuid() && owner != 0 && !(::fstat(_folder, &folder) == 0 && folder.st_uid == owner))
            return "it is a symbolic link owned by another user (uid " + std::to_string(owner) +
                   "), which is not followed";
        char next[PATH_MAX];
        const ssize_t n = ::readlinkat(_folder, _name.c_str(), next, sizeof next);
        if (hops == 40 || n <= 0 || std::size_t(n) == sizeof next)
            return std::strerror(hops == 40 ? ELOOP : n < 0 ? errno : ENAMETOOLONG);
        const std::string to(next, std::size_t(n));
        const int from =
            ::openat(to[0] == '/' ? AT_FDCWD : _folder, folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (from < 0)
            return std::strerror(errno);
        ::close(_folder);
        _folder = from;
        _name = nameOf(to);
        if (_name.empty())
            return std::strerror(EISDIR);
    }
    return std::string();
}

// Opens a new temporary file beside the target, as mkostemp does but in the folder held.
bool oxAtomicFile::createTemporary()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::string name = tempPattern(_name);
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        for (std::size_t i = name.size() - uniqueSize; i < name.size(); ++i)
            name[i] = letters[random() % (sizeof letters - 1)];
        _fd = ::openat(_folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (_fd >= 0)
        {
            _temp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool oxAtomicFile::keepTarget(const struct stat& st)
{
    const std::string refused = refuseTarget(st, _folder, _name);
    if (!refused.empty())
        return fail(refused);
    // The new file gets the old one's owner, which only root can give away.
    struct stat made;
    if (::fstat(_fd, &made) != 0)
        return failErrno();
    if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) && ::fchown(_fd, st.st_uid, st.st_gid) != 0)
        return fail("it belongs to another user or group (uid " + std::to_string(st.st_uid) + ", gid " +
                    std::to_string(st.st_gid) + "), which a replacement would not keep");
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
    if (::close(fd) != 0 || ::renameat(_folder, _temp.c_str(), _folder, _name.c_str()) != 0)
        return failErrno();
    _temp.clear();
    // The rename reaches the disk with the folder. Some file systems cannot sync a folder (EINVAL).
    if (::fsync(_folder) != 0 && errno != EINVAL)
        return failErrno();
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
