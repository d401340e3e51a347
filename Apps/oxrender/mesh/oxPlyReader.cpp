#include "oxPlyReader.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
enum class Type
{
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Float32,
    Float64
};

bool typeNamed(const std::string& name, Type& type)
{
    static const struct
    {
        const char* name;
        Type type;
    } names[] = {
        {"char", Type::Int8},     {"int8", Type::Int8},       {"uchar", Type::UInt8},    {"uint8", Type::UInt8},
        {"short", Type::Int16},   {"int16", Type::Int16},     {"ushort", Type::UInt16},  {"uint16", Type::UInt16},
        {"int", Type::Int32},     {"int32", Type::Int32},     {"uint", Type::UInt32},    {"uint32", Type::UInt32},
        {"float", Type::Float32}, {"float32", Type::Float32}, {"double", Type::Float64}, {"float64", Type::Float64}};
    for (const auto& n : names)
        if (name == n.name)
        {
            type = n.type;
            return true;
        }
    return false;
}

size_t sizeOf(Type type)
{
    switch (type)
    {
    case Type::Int8:
    case Type::UInt8:
        return 1;
    case Type::Int16:
    case Type::UInt16:
        return 2;
    case Type::Int32:
    case Type::UInt32:
    case Type::Float32:
        return 4;
    case Type::Float64:
        return 8;
    }
    return 1;
}

bool isInteger(Type type)
{
    return type != Type::Float32 && type != Type::Float64;
}

template <class T> T load(const char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// A little-endian integer (the machine's order: big-endian files go to Assimp).
long long integerAt(const char* p, Type type)
{
    switch (type)
    {
    case Type::Int8:
        return load<std::int8_t>(p);
    case Type::UInt8:
        return load<std::uint8_t>(p);
    case Type::Int16:
        return load<std::int16_t>(p);
    case Type::UInt16:
        return load<std::uint16_t>(p);
    case Type::Int32:
        return load<std::int32_t>(p);
    case Type::UInt32:
        return load<std::uint32_t>(p);
    default:
        return 0;
    }
}

float realAt(const char* p, Type type)
{
    return type == Type::Float64 ? float(load<double>(p)) : load<float>(p);
}

struct Property
{
    std::string name;
    Type type = Type::Float32; // the items' type for a list
    bool list = false;
    Type countType = Type::UInt8;
};

struct Element
{
    std::string name;
    unsigned long long count = 0;
    std::vector<Property> properties;
};

std::vector<std::string> words(const char* begin, const char* end)
{
    std::vector<std::string> out;
    const char* at = begin;
    while (at < end)
    {
        while (at < end && std::isspace(static_cast<unsigned char>(*at)))
            ++at;
        const char* start = at;
        while (at < end && !std::isspace(static_cast<unsigned char>(*at)))
            ++at;
        if (at > start)
            out.emplace_back(start, at);
    }
    return out;
}

// The header's format and elements, and where the body starts. A header this reader does not
// understand is Assimp's to judge.
oxPlyReader::Outcome readHeader(const char* data, size_t size, bool& ascii, std::vector<Element>& elements,
                                size_t& body, std::string& cause)
{
    size_t at = 0;
    bool format = false;
    for (int line = 0;; ++line)
    {
        const void* newline = std::memchr(data + at, '\n', size - at);
        if (!newline)
        {
            if (line == 0)
                return oxPlyReader::NotHandled;
            cause = "the PLY header is truncated (no end_header)";
            return oxPlyReader::Failed;
        }
        const char* end = static_cast<const char*>(newline);
        const std::vector<std::string> w = words(data + at, end);
        at = size_t(end - data) + 1;
        if (line == 0)
        {
            if (w.size() != 1 || w[0] != "ply")
                return oxPlyReader::NotHandled;
            continue;
        }
        if (w.empty() || w[0] == "comment" || w[0] == "obj_info")
            continue;
        if (w[0] == "end_header" && w.size() == 1)
            break;
        if (w[0] == "format" && w.size() == 3 && !format)
        {
            if (w[1] != "ascii" && w[1] != "binary_little_endian")
                return oxPlyReader::NotHandled;
            ascii = w[1] == "ascii";
            format = true;
        }
        else if (w[0] == "element" && w.size() == 3)
        {
            Element element;
            element.name = w[1];
            const auto r = std::from_chars(w[2].data(), w[2].data() + w[2].size(), element.count);
            if (r.ec != std::errc() || r.ptr != w[2].data() + w[2].size())
                return oxPlyReader::NotHandled;
            elements.push_back(std::move(element));
        }
        else if (w[0] == "property" && !elements.empty())
        {
            Property property;
            if (w.size() == 3 && typeNamed(w[1], property.type))
                property.name = w[2];
            else if (w.size() == 5 && w[1] == "list" && typeNamed(w[2], property.countType) &&
                     isInteger(property.countType) && typeNamed(w[3], property.type))
            {
                property.list = true;
                property.name = w[4];
            }
            else
                return oxPlyReader::NotHandled;
            elements.back().properties.push_back(property);
        }
        else
            return oxPlyReader::NotHandled;
    }
    body = at;
    return format ? oxPlyReader::Read : oxPlyReader::NotHandled;
}

// Where the reader finds what it needs: property numbers of x, y, z in the vertex element and of
// the index list in the face element.
struct Layout
{
    const Element* vertex = nullptr;
    const Element* face = nullptr;
    int coordinate[3] = {-1, -1, -1};
    int list = -1;
};

bool understood(const std::vector<Element>& elements, Layout& layout)
{
    if (elements.size() != 2 || elements[0].name != "vertex" || elements[1].name != "face")
        return false;
    layout.vertex = &elements[0];
    layout.face = &elements[1];
    const char* const axes[] = {"x", "y", "z"};
    for (int p = 0; p < int(layout.vertex->properties.size()); ++p)
    {
        const Property& property = layout.vertex->properties[size_t(p)];
        // The file's normals would be kept by Assimp, and welded with them.
        if (property.list || property.name == "nx" || property.name == "ny" || property.name == "nz" ||
            property.name.rfind("normal_", 0) == 0)
            return false;
        for (int a = 0; a < 3; ++a)
            if (property.name == axes[a])
            {
                if (isInteger(property.type) || layout.coordinate[a] >= 0)
                    return false;
                layout.coordinate[a] = p;
            }
    }
    for (int p = 0; p < int(layout.face->properties.size()); ++p)
    {
        const Property& property = layout.face->properties[size_t(p)];
        if (!property.list)
            continue;
        if (layout.list >= 0 || (property.name != "vertex_indices" && property.name != "vertex_index") ||
            (property.type != Type::Int32 && property.type != Type::UInt32))
            return false;
        layout.list = p;
    }
    return layout.coordinate[0] >= 0 && layout.coordinate[1] >= 0 && layout.coordinate[2] >= 0 && layout.list >= 0;
}

std::string endsBefore(unsigned long long count, const char* what)
{
    return "the file ends before its " + std::to_string(count) + " " + what + " (truncated, or a wrong count)";
}

// Collects a face's corners and fans them into triangles, checking each index.
struct Fan
{
    std::vector<osg::UInt32>& indices;
    unsigned long long vertexCount;
    std::string& cause;

    bool corner(unsigned long long face, long long corner, long long index, osg::UInt32& first, osg::UInt32& last)
    {
        if (index < 0 || static_cast<unsigned long long>(index) >= vertexCount)
        {
            cause = "face " + std::to_string(face) + " names vertex " + std::to_string(index) + ", but there are " +
                    std::to_string(vertexCount) + " vertices";
            return false;
        }
        const osg::UInt32 i = osg::UInt32(index);
        if (corner == 0)
            first = i;
        else if (corner >= 2)
            indices.insert(indices.end(), {first, last, i});
        last = i;
        return true;
    }
};

bool readBinary(const char* data, size_t size, size_t at, const Layout& layout, std::vector<osg::Pnt3f>& positions,
                std::vector<osg::UInt32>& indices, std::string& cause)
{
    size_t row = 0, offset[3] = {0, 0, 0};
    Type type[3] = {Type::Float32, Type::Float32, Type::Float32};
    for (size_t p = 0; p < layout.vertex->properties.size(); ++p)
    {
        for (int a = 0; a < 3; ++a)
            if (int(p) == layout.coordinate[a])
            {
                offset[a] = row;
                type[a] = layout.vertex->properties[p].type;
            }
        row += sizeOf(layout.vertex->properties[p].type);
    }
    const unsigned long long vertices = layout.vertex->count;
    if (vertices > (size - at) / row)
    {
        cause = endsBefore(vertices, "vertices");
        return false;
    }
    positions.resize(size_t(vertices));
    for (size_t v = 0; v < positions.size(); ++v, at += row)
        positions[v] = osg::Pnt3f(realAt(data + at + offset[0], type[0]), realAt(data + at + offset[1], type[1]),
                                  realAt(data + at + offset[2], type[2]));

    size_t before = 0, after = 0;
    const Property& list = layout.face->properties[size_t(layout.list)];
    for (size_t p = 0; p < layout.face->properties.size(); ++p)
        if (int(p) != layout.list)
            (int(p) < layout.list ? before : after) += sizeOf(layout.face->properties[p].type);
    const size_t countSize = sizeOf(list.countType), indexSize = sizeOf(list.type);
    const size_t least = before + countSize + after;
    const unsigned long long faces = layout.face->count;
    if (faces > (size - at) / least)
    {
        cause = endsBefore(faces, "faces");
        return false;
    }
    indices.reserve(3 * std::min<size_t>(size_t(faces), (size - at) / (least + 3 * indexSize)));
    Fan fan{indices, vertices, cause};
    for (unsigned long long f = 0; f < faces; ++f)
    {
        if (size - at < least)
        {
            cause = endsBefore(faces, "faces");
            return false;
        }
        at += before;
        const long long corners = integerAt(data + at, list.countType);
        at += countSize;
        if (corners < 0 || static_cast<unsigned long long>(corners) > (size - at - after) / indexSize)
        {
            cause = corners < 0 ? "face " + std::to_string(f) + " has " + std::to_string(corners) + " corners"
                                : endsBefore(faces, "faces");
            return false;
        }
        osg::UInt32 first = 0, last = 0;
        for (long long c = 0; c < corners; ++c, at += indexSize)
            if (!fan.corner(f, c, integerAt(data + at, list.type), first, last))
                return false;
        at += after;
    }
    return true;
}

// Whitespace-separated words of an ASCII body.
struct Words
{
    const char* at;
    const char* end;

    bool next(const char*& begin, const char*& stop)
    {
        while (at < end && std::isspace(static_cast<unsigned char>(*at)))
            ++at;
        begin = at;
        while (at < end && !std::isspace(static_cast<unsigned char>(*at)))
            ++at;
        stop = at;
        return stop > begin;
    }
};

template <class T> bool number(const char* begin, const char* end, T& value)
{
    if (begin < end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, value);
    return r.ec == std::errc() && r.ptr == end;
}

std::string notANumber(const char* what, unsigned long long n, const char* begin, const char* end)
{
    return std::string(what) + " " + std::to_string(n) + " has \"" + std::string(begin, std::min(end, begin + 40)) +
           "\" where a number belongs";
}

bool readAscii(const char* data, size_t size, size_t at, const Layout& layout, std::vector<osg::Pnt3f>& positions,
               std::vector<osg::UInt32>& indices, std::string& cause)
{
    Words words{data + at, data + size};
    const char *begin = nullptr, *end = nullptr;
    // Each value takes at least a character and a separator.
    const size_t left = size - at + 1;
    const unsigned long long vertices = layout.vertex->count;
    const size_t perVertex = 2 * layout.vertex->properties.size();
    if (vertices > left / perVertex)
    {
        cause = endsBefore(vertices, "vertices");
        return false;
    }
    positions.resize(size_t(vertices));
    for (size_t v = 0; v < positions.size(); ++v)
        for (int p = 0; p < int(layout.vertex->properties.size()); ++p)
        {
            if (!words.next(begin, end))
            {
                cause = endsBefore(vertices, "vertices");
                return false;
            }
            for (int a = 0; a < 3; ++a)
                if (p == layout.coordinate[a] && !number(begin, end, positions[v][a]))
                {
                    cause = notANumber("vertex", v, begin, end);
                    return false;
                }
        }

    const unsigned long long faces = layout.face->count;
    const size_t properties = layout.face->properties.size();
    if (faces > left / (2 * properties))
    {
        cause = endsBefore(faces, "faces");
        return false;
    }
    indices.reserve(3 * std::min<size_t>(size_t(faces), size_t(data + size - words.at) / 8));
    Fan fan{indices, vertices, cause};
    for (unsigned long long f = 0; f < faces; ++f)
        for (int p = 0; p < int(properties); ++p)
        {
            if (!words.next(begin, end))
            {
                cause = endsBefore(faces, "faces");
                return false;
            }
            if (p != layout.list)
                continue;
            long long corners = 0;
            if (!number(begin, end, corners) || corners < 0)
            {
                cause = notANumber("face", f, begin, end);
                return false;
            }
            osg::UInt32 first = 0, last = 0;
            for (long long c = 0; c < corners; ++c)
            {
                long long index = 0;
                if (!words.next(begin, end))
                {
                    cause = endsBefore(faces, "faces");
                    return false;
                }
                if (!number(begin, end, index))
                {
                    cause = notANumber("face", f, begin, end);
                    return false;
                }
                if (!fan.corner(f, c, index, first, last))
                    return false;
            }
        }
    return true;
}
} // namespace

oxPlyReader::Outcome oxPlyReader::read(const std::string& path, oxRenderMesh& mesh, std::string& cause)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return NotHandled;
    const qint64 size = file.size();
    if (const uchar* mapped = size > 0 ? file.map(0, size) : nullptr)
        return parse(reinterpret_cast<const char*>(mapped), size_t(size), mesh, cause);
    const QByteArray bytes = file.readAll();
    return parse(bytes.constData(), size_t(bytes.size()), mesh, cause);
}

oxPlyReader::Outcome oxPlyReader::parse(const char* data, size_t size, oxRenderMesh& mesh, std::string& cause)
{
    if (size == 0)
        return NotHandled;
    bool ascii = false;
    std::vector<Element> elements;
    size_t body = 0;
    const Outcome header = readHeader(data, size, ascii, elements, body, cause);
    if (header != Read)
        return header;
    Layout layout;
    if (!understood(elements, layout))
        return NotHandled;
    if (layout.vertex->count > std::numeric_limits<osg::UInt32>::max())
    {
        cause = "the file declares " + std::to_string(layout.vertex->count) + " vertices, more than a mesh can hold";
        return Failed;
    }
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::UInt32> indices;
    if (!(ascii ? readAscii : readBinary)(data, size, body, layout, positions, indices, cause))
        return Failed;
    mesh.positions.swap(positions);
    mesh.indices.swap(indices);
    mesh.normals.clear();
    return Read;
}
