#include "oxStlCheck.h"

#include <QFile>

#include <cstdint>
#include <algorithm>
#include <cctype>
#include <cstring>

namespace
{
const size_t HeaderBytes = 84, FacetBytes = 50;

// Assimp's test: the first word is "solid". A binary header may start so too, so a byte that no
// text holds early on makes it binary.
bool looksAscii(const char* data, size_t size)
{
    size_t at = 0;
    while (at < size && std::isspace(static_cast<unsigned char>(data[at])))
        ++at;
    if (size - at < 5 || std::strncmp(data + at, "solid", 5) != 0)
        return false;
    for (size_t i = 0; i < std::min<size_t>(size, 512); ++i)
        if (data[i] == '\0' || static_cast<unsigned char>(data[i]) > 127)
            return false;
    return true;
}

std::string binaryTruncation(const char* data, size_t size)
{
    if (size < HeaderBytes)
        return std::string();
    std::uint32_t count;
    std::memcpy(&count, data + 80, sizeof count);
    const std::uint64_t needed = HeaderBytes + FacetBytes * std::uint64_t(count);
    if (needed <= size)
        return std::string();
    return "the binary STL file ends at byte " + std::to_string(size) + ", before its " + std::to_string(count) +
           " facets end at byte " + std::to_string(needed) + " (truncated)";
}

// The words of an ASCII STL with their line numbers.
struct Lines
{
    const char* at;
    const char* end;
    size_t line = 1;

    bool next(const char*& begin, const char*& stop)
    {
        for (; at < end && std::isspace(static_cast<unsigned char>(*at)); ++at)
            line += *at == '\n';
        begin = at;
        while (at < end && !std::isspace(static_cast<unsigned char>(*at)))
            ++at;
        stop = at;
        return stop > begin;
    }
    void skipLine()
    {
        while (at < end && *at != '\n')
            ++at;
    }
};

bool is(const char* begin, const char* stop, const char* word)
{
    return size_t(stop - begin) == std::strlen(word) && std::strncmp(begin, word, size_t(stop - begin)) == 0;
}

std::string onLine(size_t line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

// Facets between solid and endsolid, each with its three corners; anything else between the
// keywords (normals, loops) is taken as it comes.
std::string asciiTruncation(const char* data, size_t size)
{
    Lines words{data, data + size};
    const char *begin = nullptr, *stop = nullptr;
    bool inSolid = false;
    size_t facetLine = 0, corners = 0; // facetLine 0: outside a facet
    while (words.next(begin, stop))
    {
        if (is(begin, stop, "solid") || is(begin, stop, "endsolid"))
        {
            const bool opens = *begin == 's';
            if (facetLine)
                return onLine(words.line, "the facet of line " + std::to_string(facetLine) + " has no endfacet");
            if (opens == inSolid)
                return onLine(words.line,
                              opens ? "solid before the endsolid of the one before" : "endsolid without its solid");
            inSolid = opens;
            words.skipLine(); // the solid's name
        }
        else if (is(begin, stop, "facet") && inSolid)
        {
            if (facetLine)
                return onLine(words.line, "the facet of line " + std::to_string(facetLine) + " has no endfacet");
            facetLine = words.line;
            corners = 0;
        }
        else if (is(begin, stop, "vertex") && facetLine)
            ++corners;
        else if (is(begin, stop, "endfacet") && facetLine)
        {
            if (corners != 3)
                return onLine(facetLine, "a facet with " + std::to_string(corners) + " corners");
            facetLine = 0;
        }
    }
    if (facetLine)
        return "the file ends on line " + std::to_string(words.line) + " inside the facet of line " +
               std::to_string(facetLine) + " (truncated)";
    if (inSolid)
        return "the file ends on line " + std::to_string(words.line) + " without endsolid (truncated)";
    return std::string();
}
} // namespace

std::string oxStlCheck::truncation(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    const qint64 size = file.size();
    if (const uchar* mapped = size > 0 ? file.map(0, size) : nullptr)
        return truncation(reinterpret_cast<const char*>(mapped), size_t(size));
    const QByteArray bytes = file.readAll();
    return truncation(bytes.constData(), size_t(bytes.size()));
}

std::string oxStlCheck::truncation(const char* data, size_t size)
{
    return looksAscii(data, size) ? asciiTruncation(data, size) : binaryTruncation(data, size);
}
