#include "oxCadCache.h"

#include "oxAtomicFile.h"

#include <Standard_Version.hxx>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

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
    std::uint32_t checksum; // CRC-32 of the payload
    std::uint64_t length;   // of the payload
    char key[32];
};
static_assert(sizeof(Header) == 56, "the header has no padding");

std::uint32_t checksum(const char* data, std::uint64_t size)
{
    // zlib's CRC-32 takes 0.03 s on 66 MB; in chunks, since it counts in 32 bits.
    uLong crc = crc32(0L, Z_NULL, 0);
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

std::uint64_t capacityFromEnvironment()
{
    bool ok = false;
    const qulonglong megabytes = qEnvironmentVariable("OXHOST_CAD_CACHE_MB").toULongLong(&ok);
    return ok ? std::uint64_t(megabytes) << 20 : oxCadCache::DefaultCapacity;
}
} // namespace

oxCadCache::oxCadCache()
    : oxCadCache(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                     .filePath("oxhost/cad")
                     .toStdString(),
                 capacityFromEnvironment())
{
}

oxCadCache::oxCadCache(const std::string& folder, std::uint64_t capacity) : _folder(folder), _capacity(capacity) {}

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

bool oxCadCache::find(const std::string& key, std::string& payload) const
{
    if (key.empty())
        return false;
    const QString path = QString::fromStdString(entryPath(key));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Header header;
    char expected[32];
    fillKey(expected, key);
    const qint64 size = file.size();
    bool valid = file.read(reinterpret_cast<char*>(&header), sizeof header) == qint64(sizeof header) &&
                 std::memcmp(header.magic, Magic, sizeof Magic) == 0 && header.version == FormatVersion &&
                 std::memcmp(header.key, expected, sizeof expected) == 0 &&
                 header.length == std::uint64_t(size) - sizeof header;
    if (valid)
    {
        std::string bytes(size_t(header.length), '\0');
        valid = file.read(&bytes[0], qint64(bytes.size())) == qint64(bytes.size()) &&
                checksum(bytes.data(), bytes.size()) == header.checksum;
        if (valid)
            payload.swap(bytes);
    }
    if (!valid)
    {
        file.close();
        QFile::remove(path);
        return false;
    }
    // The modification time is the last use, which trim() goes by; set by the clock that stamps
    // the writes (QFile::setFileTime's finer clock can put a use after a later write).
    ::futimens(file.handle(), nullptr);
    return true;
}

bool oxCadCache::store(const std::string& key, const std::string& payload, std::string& reason) const
{
    if (key.empty())
    {
        reason = "the file has no key";
        return false;
    }
    if (!QDir().mkpath(QString::fromStdString(_folder)))
    {
        reason = "cannot create the folder \"" + _folder + "\"";
        return false;
    }
    Header header;
    std::memcpy(header.magic, Magic, sizeof Magic);
    header.version = FormatVersion;
    header.checksum = checksum(payload.data(), payload.size());
    header.length = payload.size();
    fillKey(header.key, key);
    oxAtomicFile file(entryPath(key));
    if (!file.open() || !file.write(reinterpret_cast<const char*>(&header), sizeof header) || !file.write(payload) ||
        !file.commit())
    {
        reason = file.error();
        return false;
    }
    trim();
    return true;
}

void oxCadCache::trim() const
{
    QDir dir(QString::fromStdString(_folder));
    // Oldest first. An entry larger than the whole cache never fits and goes on its own; then
    // the oldest go until the rest fit.
    const QFileInfoList entries =
        dir.entryInfoList({QString("*") + Suffix}, QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    std::uint64_t total = 0;
    QFileInfoList kept;
    for (const QFileInfo& entry : entries)
        if (std::uint64_t(entry.size()) > _capacity)
            QFile::remove(entry.filePath());
        else
        {
            total += std::uint64_t(entry.size());
            kept.append(entry);
        }
    for (int i = 0; i < kept.size() && total > _capacity; ++i)
    {
        QFile::remove(kept[i].filePath());
        total -= std::uint64_t(kept[i].size());
    }
}
