#include "oxFolderNames.h"

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

std::vector<std::string> oxFolderNames(int folder)
{
    std::vector<std::string> names;
    // A descriptor of its own: closedir closes it, and the listing must not move the caller's.
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir)
    {
        if (listed >= 0)
            ::close(listed);
        return names;
    }
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}
