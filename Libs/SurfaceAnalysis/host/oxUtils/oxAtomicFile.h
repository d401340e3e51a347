#pragma once

#include <cstddef>
#include <fcntl.h>
#include <string>

struct stat;

// Replaces a file as a whole. The bytes go to a temporary file in the target's folder, which is
// synced to the disk, given the target's mode and renamed over it; then the folder is synced.
// Readers, and the disk after a crash, see the old file or the whole new one, never a part.
// The folder is opened once and every later step works relative to it, so a link swapped in
// along the path after the checks cannot move the save elsewhere.
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
    struct Options
    {
        // The folder a relative path starts from (a descriptor, as openat's); the working folder
        // by default.
        int folder = AT_FDCWD;
        // The file's mode whatever the target's or the umask; 0: the target's, for a new file the
        // umask's.
        unsigned mode = 0;
    };

    explicit oxAtomicFile(const std::string& path);
    oxAtomicFile(const std::string& path, const Options& options);
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
    std::string followLinks();
    bool createTemporary();
    bool keepTarget(const struct stat& st);

    std::string _path; // as given, for error()
    Options _options;
    int _folder = -1;  // the target's folder, held from open() to the rename
    std::string _name; // the target in _folder: a symbolic link's target
    std::string _temp; // the temporary file in _folder
    std::string _reason;
    int _fd = -1;
    unsigned _mode = 0;
    bool _failed = false;
};
