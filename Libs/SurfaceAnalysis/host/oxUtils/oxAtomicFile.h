#pragma once

#include <cstddef>
#include <string>

struct stat;

// Replaces a file as a whole. The bytes go to a temporary file in the target's folder, which is
// synced to the disk, given the target's mode and renamed over it; then the folder is synced.
// Readers, and the disk after a crash, see the old file or the whole new one, never a part.
// What a rename would silently change is refused instead: a read-only target, a target with hard
// links, one whose owner cannot be kept, and a symbolic link of another user (not followed).
// Temporary files of killed saves, ours and older than a minute, go at the next save there.
// Not QSaveFile: Qt 5's commit renames even when the sync to disk fails, never syncs the folder,
// drops the set-id and sticky bits, reports a folder as "Unknown error" and replaces devices.
//
//   oxAtomicFile file(path);
//   if (!file.open() || !file.write(bytes) || !file.commit())
//       error = file.error(); // cannot write "a.csv": No space left on device
class oxAtomicFile
{
public:
    explicit oxAtomicFile(const std::string& path);
    // Without a commit the temporary file is removed and the target stays as it was.
    ~oxAtomicFile();
    oxAtomicFile(const oxAtomicFile&) = delete;
    oxAtomicFile& operator=(const oxAtomicFile&) = delete;

    // Creates the temporary file; fails when the target could not be replaced (a folder, a device,
    // a missing or read-only folder) or should not be (see above).
    bool open();
    // Appends bytes. After a failure every later step fails with the first reason.
    bool write(const char* data, std::size_t size);
    bool write(const std::string& bytes) { return write(bytes.data(), bytes.size()); }
    // Syncs the bytes, renames them over the target and syncs the folder.
    bool commit();
    // Drops what was written; the target stays as it was.
    void discard();

    // Why the last step failed, in the system's words: "Permission denied".
    const std::string& reason() const { return _reason; }
    // The same as a sentence: cannot write "hood.json": Permission denied
    std::string error() const;

    // open, write and commit in one; reason as above.
    static bool save(const std::string& path, const std::string& bytes, std::string& reason);

private:
    bool fail(const std::string& reason);
    bool failErrno();
    bool keepTarget(const struct stat& st);

    std::string _path;   // as given, for error()
    std::string _target; // the file replaced: a symbolic link's target
    std::string _temp;
    std::string _reason;
    int _fd = -1;
    unsigned _mode = 0;
    bool _failed = false;
};
