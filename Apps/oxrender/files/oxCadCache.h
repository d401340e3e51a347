#pragma once

#include "oxCadMesh.h"

#include <cstdint>
#include <string>
#include <vector>

// What the CAD reader answered for a file, kept on disk so that opening the same file again skips
// the reader. Entries live in the user's cache folder ($XDG_CACHE_HOME/oxhost/cad, by default
// ~/.cache/oxhost/cad), one file per key; the key hashes the file's content, the triangulation
// options, FormatVersion and Open CASCADE's version, so an edited file, other options or another
// build never find an old entry. Each entry is checked (a regular file, magic, version, length, and
// a checksum over its key and payload) before its bytes are handed out; one that fails is removed.
// The folder is bounded: after a store the entries used least recently go until the total fits
// the capacity. Folders are made 0700 and entries 0600: they hold copies of private models.
class oxCadCache
{
public:
    // Bump whenever the meaning of the reader's answer changes (its fields, the tessellation, the
    // exact data) or the entry's layout: entries written before are then never read.
    static constexpr std::uint32_t FormatVersion = 6;
    // What an entry of a box holds, hashed (tst_cadcache): a change there without a new
    // FormatVersion fails that test, which prints the new checksum to put here with the bump.
    static constexpr std::uint32_t FormatChecksum = 0xea1d2a4f;
    static constexpr std::uint64_t DefaultCapacity = std::uint64_t(2) << 30;

    // The user's cache: the folder above, with the capacity OXHOST_CAD_CACHE_MB (megabytes) or 2 GB.
    // A relative XDG_CACHE_HOME is ignored; without an absolute HOME either there is no cache and
    // problem() says why, as it does for a bad OXHOST_CAD_CACHE_MB.
    oxCadCache();
    // The entries in folder, whose last name the cache makes (and does not follow as a link).
    oxCadCache(const std::string& folder, std::uint64_t capacity);

    // Whether loads use the cache: not with oxhost --no-cache (setEnabled(false)) nor when the
    // environment variable OXHOST_NO_CACHE is set to anything but 0.
    static bool enabled();
    static void setEnabled(bool on);

    // The key of the file read with these options (32 hex digits); empty when the file cannot be read.
    static std::string key(const std::string& path, const oxCadOptions& options);

    // Why this cache cannot be used at all; empty when it can.
    const std::string& problem() const { return _problem; }

    // Whether anything is kept under key's name, checked or not: loads then ask the reader program
    // for the entry (oxCadImporter) rather than read it here.
    bool holds(const std::string& key) const;
    // The bytes kept under key, and the entry counts as used now. False when there is none or it
    // does not pass its checks (such an entry is removed).
    bool find(const std::string& key, std::string& payload) const;
    // Keeps payload under key, replacing the entry as a whole, then trims the folder. False with
    // the reason when the folder cannot be written.
    bool store(const std::string& key, const std::string& payload, std::string& reason) const;
    // Removes the entry under key: one whose bytes passed the checks but were refused by their reader.
    void remove(const std::string& key) const;
    // Removes the least recently used entries until the rest fit the capacity.
    void trim() const;

    const std::string& folder() const { return _folder; }
    std::uint64_t capacity() const { return _capacity; }
    std::string entryPath(const std::string& key) const;

private:
    int openFolder(bool create, std::string& reason) const;
    void trimIn(int folder) const;

    std::string _folder;
    std::string _base;              // the folder's start, followed as the user set it up
    std::vector<std::string> _made; // the names below _base that the cache makes
    std::uint64_t _capacity = 0;
    std::string _problem;
};
