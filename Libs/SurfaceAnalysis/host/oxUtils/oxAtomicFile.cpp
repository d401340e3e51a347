#include "oxAtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <climits>
#include <ctime>

#include <dirent.h>
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
const std::size_t uniqueSize = 6; // mkostemp's XXXXXX

// ".name.saving-XXXXXX", its stem cut so that it fits NAME_MAX (on a UTF-8 character's boundary).
std::string tempPattern(const std::string& target)
{
    std::string stem = nameOf(target);
    const std::size_t room = NAME_MAX - 1 - savingTagSize - uniqueSize;
    if (stem.size() > room)
    {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return folderOf(target) + "/." + stem + savingTag + std::string(uniqueSize, 'X');
}

bool isLeftoverName(const std::string& name)
{
    const std::size_t tail = savingTagSize + uniqueSize;
    return name.size() > tail + 1 && name[0] == '.' && name.compare(name.size() - tail, savingTagSize, savingTag) == 0;
}

// Temporary files of saves that were killed before they could clean up: ours, and old enough that
// no save can still be writing them.
void removeLeftovers(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::time_t before = std::time(nullptr) - 60;
    while (const dirent* entry = ::readdir(dir))
    {
        struct stat st;
        if (isLeftoverName(entry->d_name) && ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < before)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// As the kernel's protected_symlinks: a link planted by another user (in a shared folder such as
// /tmp) must not steer a save onto a file the writer may write but its planter may not. Links of
// the writer, of root and of the folder's owner are followed. Empty when the chain may be followed.
std::string refuseLinks(const std::string& path)
{
    std::string at = path;
    struct stat st;
    for (int hops = 0; hops < 40 && ::lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops)
    {
        struct stat folder;
        const uid_t owner = st.st_uid;
        if (owner != ::geteuid() && owner != 0 &&
            !(::stat(folderOf(at).c_str(), &folder) == 0 && folder.st_uid == owner))
            return "it is a symbolic link owned by another user (uid " + std::to_string(owner) +
                   "), which is not followed";
        char next[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), next, sizeof next);
        if (n <= 0)
            break;
        const std::string to(next, std::size_t(n));
        at = to[0] == '/' ? to : folderOf(at) + "/" + to;
    }
    return std::string();
}

// What a rename over the file would silently lose, as a reason; empty when nothing.
std::string refuseTarget(const struct stat& st, const std::string& target)
{
    const bool root = ::geteuid() == 0;
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 || (root && (st.st_mode & 0222) == 0))
        return "it is not writable";
    if (st.st_nlink > 1)
        return "it has " + std::to_string(st.st_nlink) + " hard links, which a replacement would break";
    return std::string();
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
    const std::string link = refuseLinks(_path);
    if (!link.empty())
        return fail(link);
    struct stat st;
    if (::lstat(_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        if (char* resolved = ::realpath(_path.c_str(), nullptr))
        {
            _target = resolved;
            std::free(resolved);
        }
    const bool exists = ::stat(_target.c_str(), &st) == 0;
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

    removeLeftovers(folderOf(_target));
    const std::string name = tempPattern(_target);
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    _fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (_fd < 0)
        return failErrno();
    _temp = pattern.data();
    // After the temporary file, so that a folder that cannot be written says so first.
    return exists ? keepTarget(st) : true;
}

bool oxAtomicFile::keepTarget(const struct stat& st)
{
    const std::string refused = refuseTarget(st, _target);
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
