#pragma once

#include "oxPointCloud.h"

#include <cstddef>
#include <string>

// Point cloud files parsed from their bytes into an oxPointCloud (PLY points: oxPlyReader).
// Every parser checks what the file claims against what it holds and names where it went wrong:
// the line of a text file, the byte of a binary one. On failure the cloud is left as it was.
namespace oxPointReaders
{
enum class Format
{
    Text, // XYZ, CSV, ASC: a row per point, a header line naming the columns or none
    Pts,  // the same, each block of rows after its count
    Pcd,  // ASCII or binary
    Las,  // LAS 1.0 to 1.4, point data record formats 0 to 10, uncompressed
    Ply   // vertices without faces
};

// The point format of a suffix (in any case); false when it names none.
bool formatOfSuffix(const std::string& suffix, Format& format);

bool parseText(const char* data, size_t size, bool pts, oxPointCloud& cloud, std::string& cause);
bool parsePcd(const char* data, size_t size, oxPointCloud& cloud, std::string& cause);
bool parseLas(const char* data, size_t size, oxPointCloud& cloud, std::string& cause);
// Any of them by format.
bool parse(Format format, const char* data, size_t size, oxPointCloud& cloud, std::string& cause);
} // namespace oxPointReaders
