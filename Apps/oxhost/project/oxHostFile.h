#pragma once

#include <cstddef>
#include <limits>
#include <string>

// Whole files read into memory by the host: scripts and projects.
namespace oxHostFile
{
struct ReadOptions
{
    // Files longer than this are refused.
    std::size_t maxSize = std::numeric_limits<std::size_t>::max();
    // Pipes and devices too, read to their end (a script given as <(...)); otherwise only regular
    // files, and the open does not wait for a pipe's writer.
    bool pipes = false;
};

// Appends the file's bytes to text; false with a sentence saying why (errno's, "it is a
// directory", ...) in error.
bool read(const std::string& path, std::string& text, std::string& error, const ReadOptions& options = {});
} // namespace oxHostFile
