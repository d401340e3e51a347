#include "oxRenderUtil.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

std::string oxRenderUtil::lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double oxRenderUtil::secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string oxRenderUtil::unreadable(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "it is a directory";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (::access(path.c_str(), R_OK) != 0)
        return std::strerror(errno);
    if (st.st_size == 0)
        return "the file is empty";
    return std::string();
}
