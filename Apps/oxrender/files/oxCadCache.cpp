#include "oxCadCache.h"

#include "oxAtomicFile.h"
#include "oxFolderNames.h"
#include "oxIsolatedProcess.h"

#include <Standard_Version.hxx>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// MD5 hashes 66 MB in 0.12 s here, SHA-256 in 0.48 s; the key names our own entries, it guards
// against accidents, not against an attacker.
const QCryptographicHash::Algorithm KeyHash = QCryptographicHash::Md5;
const char Magic[8] = {'O', 'X', 'C', 'A', 'D', 'C', '\r', '\n'};
const char* const Suffix = ".oxcad";

std::atomic<bool> s_enabled{true};

// The entry's header, in the byte order of the machine that wrote it (a cache is not shared
// between machines; another order fails the magic or the version check).
struct Header
{
    char magic[8];
    std::uint32_t version;
    std::uint32_t checksum; // CRC-32 of the key and the payload
    std::uint64_t length;   // of the payload
    char key[32];
};
static_assert(sizeof(Header) == 56, "the header has no padding");

// CRC-32 of the key and the payload: an entry copied under another key does not pass.
std::uint32_t checksum(const char key[32], const std::string& payload)
{
    // zlib's CRC-32 takes 0.03 s on 66 MB; in chunks, since it counts in 32 bits.
    uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(key), 32);
    const char* data = payload.data();
    std::uint64_t size = payload.size();
    while (size > 0)
    {
        const uInt chunk = uInt(std::min<std::uint64_t>(size, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), chunk);
        data += chunk;
        size -= chunk;
    }
    return std::uint32_t(crc);
}

void fillKey(char out[32], const std::string& key)
{
    std::memset(out, 0, 32);
    std::memcpy(out, key.data(), std::min<size_t>(key.size(), 32));
}

bool isKey(const std::string& key)
{
    return key.size() == 32 &&
           std::all_of(key.begin(), key.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Trimming removes only what the cache names so: other files someone keeps there stay.
bool isEntryName(const std::string& name)
{
    return name.size() == 32 + std::strlen(Suffix) && isKey(name.substr(0, 32)) &&
           name.compare(32, std::string::npos, Suffix) == 0;
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    const int fd;
};

bool readFully(int fd, char* data, std::uint64_t size)
{
    while (size > 0)
    {
        const ssize_t n = ::read(fd, data, size_t(std::min<std::uint64_t>(size, 1u << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::uint64_t(n);
    }
    return true;
}

// The payload of the entry open as fd, when it is a regular file that passes every check.
bool readEntry(int fd, const std::string& key, std::string& payload)
{
    struct stat st;
    Header header;
    char expected[32];
    fillKey(expected, key);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !readFully(fd, reinterpret_cast<char*>(&header), sizeof header) ||
        std::memcmp(header.magic, Magic, sizeof Magic) != 0 || header.version != oxCadCache::FormatVersion ||
        std::memcmp(header.key, expected, sizeof expected) != 0 ||
        header.length != std::uint64_t(st.st_size) - sizeof header)
        return false;
    std::string bytes(size_t(header.length), '\0');
    if (!readFully(fd, &bytes[0], bytes.size()) || checksum(expected, bytes) != header.checksum)
        return false;
    payload.swap(bytes);
    return true;
}

// The start of the user's cache. The XDG rules ignore a relative XDG_CACHE_HOME; without a home
// folder there is no cache rather than one in the root folder.
std::string userCacheBase(std::string& problem)
{
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    if (QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg).toStdString();
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home) && QDir::cleanPath(home) != "/")
        return QDir::cleanPath(home + "/.cache").toStdString();
    problem =
        "there is no folder for it: XDG_CACHE_HOME is not an absolute path and " +
        (home.isEmpty() ? std::string("HOME is not set") : "HOME=\"" + home.toStdString() + "\" is not a home folder");
    return std::string();
}

// As mkdir -p, 0700 as the XDG rules ask for the cache's start; links there are the user's own.
bool makeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1))
    {
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}
} // namespace

oxCadCache::oxCadCache() : _made({"oxhost", "cad"})
{
    _base = userCacheBase(_problem);
    if (!_base.empty())
        _folder = _base + "/oxhost/cad";
    std::uint64_t megabytes = DefaultCapacity >> 20;
    std::string setting;
    if (!oxMegabytesFromEnvironment("OXHOST_CAD_CACHE_MB", megabytes, setting))
        _problem = setting;
    _capacity = megabytes << 20;
}

oxCadCache::oxCadCache(const std::string& folder, std::uint64_t capacity)
    : _folder(QDir::cleanPath(QString::fromStdString(folder)).toStdString()), _capacity(capacity)
{
    const size_t slash = _folder.rfind('/');
    _base = slash == std::string::npos ? "." : (slash == 0 ? "/" : _folder.substr(0, slash));
    _made = {_folder.substr(slash + 1)};
}

bool oxCadCache::enabled()
{
    const QByteArray off = qgetenv("OXHOST_NO_CACHE");
    return s_enabled && (off.isEmpty() || off == "0");
}

void oxCadCache::setEnabled(bool on)
{
    s_enabled = on;
}

std::string oxCadCache::key(const std::string& path, const oxCadOptions& options)
{
    QFile file(QString::fromStdString(path));
    QCryptographicHash content(KeyHash);
    if (!file.open(QIODevice::ReadOnly) || !content.addData(&file))
        return std::string();
    char settings[200];
    std::snprintf(settings, sizeof settings, "|%.17g|%.17g|%d|%u|%s|", options.deflection, options.angleDegrees,
                  int(options.strict), unsigned(FormatVersion), OCC_VERSION_COMPLETE);
    QCryptographicHash key(KeyHash);
    key.addData(content.result());
    key.addData(settings);
    // The suffix picks the reader.
    key.addData(QFileInfo(file).suffix().toLower().toUtf8());
    return key.result().toHex().toStdString();
}

std::string oxCadCache::entryPath(const std::string& key) const
{
    return _folder + "/" + key + Suffix;
}

// The entries' folder, opened (and with create, made) one name at a time below _base. The names
// the cache makes are not followed as links and must be the user's: a folder of someone else, or
// one a link leads to, could hold entries planted for us and is trimmed as ours. They are kept
// 0700; older versions made them 0755.
int oxCadCache::openFolder(bool create, std::string& reason) const
{
    if (!_problem.empty())
    {
        reason = _problem;
        return -1;
    }
    std::string at = _base;
    if (create && !makeFolders(at))
    {
        reason = "cannot create the folder \"" + at + "\": " + std::strerror(errno);
        return -1;
    }
    int folder = ::open(at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; folder >= 0 && i < _made.size(); ++i)
    {
        at += "/" + _made[i];
        if (create && ::mkdirat(folder, _made[i].c_str(), 0700) != 0 && errno != EEXIST)
        {
            reason = "cannot create the folder \"" + at + "\": " + std::strerror(errno);
            ::close(folder);
            return -1;
        }
        const int next = ::openat(folder, _made[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        const int error = errno;
        const bool link =
            next < 0 && ::fstatat(folder, _made[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        ::close(folder);
        folder = next;
        errno = link ? ELOOP : error;
        if (folder >= 0 && (::fstat(folder, &st) != 0 || st.st_uid != ::geteuid()))
        {
            reason = "the folder \"" + at + "\" belongs to another user";
            ::close(folder);
            return -1;
        }
        if (folder >= 0 && (st.st_mode & 077) != 0)
            ::fchmod(folder, 0700);
    }
    if (folder < 0)
        reason = errno == ELOOP ? "\"" + at + "\" is a symbolic link, which the cache does not follow"
                                : "cannot open the folder \"" + at + "\": " + std::strerror(errno);
    return folder;
}

bool oxCadCache::holds(const std::string& key) const
{
    std::string reason;
    const Descriptor folder(isKey(key) ? openFolder(false, reason) : -1);
    struct stat st;
    return folder.fd >= 0 && ::fstatat(folder.fd, (key + Suffix).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool oxCadCache::find(const std::string& key, std::string& payload) const
{
    std::string reason;
    if (!isKey(key))
        return false;
    const Descriptor folder(openFolder(false, reason));
    if (folder.fd < 0)
        return false;
    // Neither blocking nor following: a pipe there would wait for a writer for ever, a link lead
    // out of the cache.
    const std::string name = key + Suffix;
    const Descriptor file(::openat(folder.fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 && errno == ENOENT)
        return false;
    if (file.fd < 0 || !readEntry(file.fd, key, payload))
    {
        // Whatever is there goes but a folder, which stays a miss.
        ::unlinkat(folder.fd, name.c_str(), 0);
        return false;
    }
    // The modification time is the last use, which trim() goes by; set by the clock that stamps
    // the writes (QFile::setFileTime's finer clock can put a use after a later write).
    ::futimens(file.fd, nullptr);
    return true;
}

bool oxCadCache::store(const std::string& key, const std::string& payload, std::string& reason) const
{
    if (!isKey(key))
    {
        reason = "\"" + key + "\" is not a key of the cache";
        return false;
    }
    const Descriptor folder(openFolder(true, reason));
    if (folder.fd < 0)
        return false;
    // A pipe or a link where the entry goes is replaced rather than refused or followed.
    const std::string name = key + Suffix;
    struct stat st;
    if (::fstatat(folder.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
        ::unlinkat(folder.fd, name.c_str(), 0);
    Header header;
    std::memcpy(header.magic, Magic, sizeof Magic);
    header.version = FormatVersion;
    header.length = payload.size();
    fillKey(header.key, key);
    header.checksum = checksum(header.key, payload);
    oxAtomicFile::Options options;
    options.folder = folder.fd;
    options.mode = 0600;
    oxAtomicFile file(name, options);
    if (!file.open() || !file.write(reinterpret_cast<const char*>(&header), sizeof header) || !file.write(payload) ||
        !file.commit())
    {
        reason = "cannot write \"" + entryPath(key) + "\": " + file.reason();
        return false;
    }
    trimIn(folder.fd);
    return true;
}

void oxCadCache::remove(const std::string& key) const
{
    std::string reason;
    const Descriptor folder(isKey(key) ? openFolder(false, reason) : -1);
    if (folder.fd >= 0)
        ::unlinkat(folder.fd, (key + Suffix).c_str(), 0);
}

void oxCadCache::trim() const
{
    std::string reason;
    const Descriptor folder(openFolder(false, reason));
    if (folder.fd >= 0)
        trimIn(folder.fd);
}

void oxCadCache::trimIn(int folder) const
{
    struct Entry
    {
        std::string name;
        std::uint64_t size;
        timespec used;
    };
    std::vector<Entry> entries;
    for (const std::string& name : oxFolderNames(folder))
    {
        struct stat st;
        if (isEntryName(name) && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            entries.push_back({name, std::uint64_t(st.st_size), st.st_mtim});
    }
    // Oldest first. An entry larger than the whole cache never fits and goes on its own; then
    // the oldest go until the rest fit.
    std::sort(
        entries.begin(), entries.end(),
        [](const Entry& a, const Entry& b)
        { return std::tie(a.used.tv_sec, a.used.tv_nsec, a.name) < std::tie(b.used.tv_sec, b.used.tv_nsec, b.name); });
    std::uint64_t total = 0;
    std::vector<const Entry*> kept;
    for (const Entry& entry : entries)
        if (entry.size > _capacity)
            ::unlinkat(folder, entry.name.c_str(), 0);
        else
        {
            total += entry.size;
            kept.push_back(&entry);
        }
    for (size_t i = 0; i < kept.size() && total > _capacity; ++i)
    {
        ::unlinkat(folder, kept[i]->name.c_str(), 0);
        total -= kept[i]->size;
    }
}
