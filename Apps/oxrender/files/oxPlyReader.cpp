#include "oxPlyReader.h"

#include "oxRenderUtil.h"

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

// A value of the file's byte order: swapped into the machine's (little-endian) for a big-endian file.
template <class T> T load(const char* p, bool swap)
{
    if (!swap)
        return load<T>(p);
    char bytes[sizeof(T)];
    std::reverse_copy(p, p + sizeof(T), bytes);
    return load<T>(bytes);
}

long long integerAt(const char* p, Type type, bool swap)
{
    switch (type)
    {
    case Type::Int8:
        return load<std::int8_t>(p);
    case Type::UInt8:
        return load<std::uint8_t>(p);
    case Type::Int16:
        return load<std::int16_t>(p, swap);
    case Type::UInt16:
        return load<std::uint16_t>(p, swap);
    case Type::Int32:
        return load<std::int32_t>(p, swap);
    case Type::UInt32:
        return load<std::uint32_t>(p, swap);
    default:
        return 0;
    }
}

float realAt(const char* p, Type type, bool swap)
{
    return type == Type::Float64 ? float(load<double>(p, swap)) : load<float>(p, swap);
}

enum class Encoding
{
    Ascii,
    LittleEndian,
    BigEndian
};

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
oxPlyReader::Outcome readHeader(const char* data, size_t size, Encoding& encoding, std::vector<Element>& elements,
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
            if (w[1] == "ascii")
                encoding = Encoding::Ascii;
            else if (w[1] == "binary_little_endian")
                encoding = Encoding::LittleEndian;
            else if (w[1] == "binary_big_endian")
                encoding = Encoding::BigEndian;
            else
                return oxPlyReader::NotHandled;
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

// Where the reader finds what it needs: property numbers of x, y, z (and of the normal's nx, ny,
// nz where the file has them) in the vertex element and of the index list in the face element.
struct Layout
{
    const Element* vertex = nullptr;
    const Element* face = nullptr;
    int coordinate[3] = {-1, -1, -1};
    int normal[3] = {-1, -1, -1};
    int colour[3] = {-1, -1, -1};
    int list = -1;

    bool hasNormals() const { return normal[0] >= 0; }
    bool hasColours() const { return colour[0] >= 0 && colour[1] >= 0 && colour[2] >= 0; }
};

// Which of x, y, z (0, 1, 2) a property names in names, or -1.
int axisOf(const std::string& name, const char* const (&names)[3])
{
    for (int a = 0; a < 3; ++a)
        if (name == names[a])
            return a;
    return -1;
}

// Takes property p as axis a of slots; false when the axis came before or is no real number.
bool take(const Property& property, int p, int a, int (&slots)[3])
{
    if (a < 0)
        return true;
    if (isInteger(property.type) || slots[a] >= 0)
        return false;
    slots[a] = p;
    return true;
}

// The vertex element's coordinates, normals and colours; false for a layout left to Assimp.
bool vertexLayout(const Element& vertex, Layout& layout)
{
    layout.vertex = &vertex;
    static const char* const axes[] = {"x", "y", "z"};
    static const char* const normals[] = {"nx", "ny", "nz"};
    static const char* const longNormals[] = {"normal_x", "normal_y", "normal_z"};
    static const char* const colours[] = {"red", "green", "blue"};
    for (int p = 0; p < int(vertex.properties.size()); ++p)
    {
        const Property& property = vertex.properties[size_t(p)];
        const int normal = std::max(axisOf(property.name, normals), axisOf(property.name, longNormals));
        const int colour = axisOf(property.name, colours);
        if (property.list || !take(property, p, axisOf(property.name, axes), layout.coordinate) ||
            !take(property, p, normal, layout.normal))
            return false;
        if (colour >= 0 && layout.colour[colour] < 0)
            layout.colour[colour] = p;
    }
    // A normal with some of its components is Assimp's to judge.
    const int normalAxes =
        int(std::count_if(std::begin(layout.normal), std::end(layout.normal), [](int p) { return p >= 0; }));
    return (normalAxes == 0 || normalAxes == 3) && layout.coordinate[0] >= 0 && layout.coordinate[1] >= 0 &&
           layout.coordinate[2] >= 0;
}

bool understood(const std::vector<Element>& elements, Layout& layout)
{
    if (elements.size() != 2 || elements[0].name != "vertex" || elements[1].name != "face" ||
        !vertexLayout(elements[0], layout))
        return false;
    layout.face = &elements[1];
    for (int p = 0; p < int(layout.face->properties.size()); ++p)
    {
        const Property& property = layout.face->properties[size_t(p)];
        if (!property.list)
            continue;
        if (layout.list >= 0 || (property.name != "vertex_indices" && property.name != "vertex_index") ||
            !isInteger(property.type))
            return false;
        layout.list = p;
    }
    return layout.list >= 0;
}

// What the body holds, checked: every index names one of the file's vertices.
struct Body
{
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::Vec3f> normals; // one per position where the file has normals
    std::vector<osg::UInt32> indices;
    std::vector<std::uint32_t> colours; // 0xRRGGBB per position, read for point clouds only
};

// A colour component as a byte: 8-bit values as they are, 16-bit ones by their high byte, reals
// from 0 to 1 scaled.
std::uint32_t colourByte(double value, Type type)
{
    const double v = type == Type::Float32 || type == Type::Float64 ? value * 255.0
                     : sizeOf(type) > 1                             ? value / 256.0
                                                                    : value;
    return std::uint32_t(std::clamp(std::lround(v), 0L, 255L));
}

// Where in the file the reader stopped: a line of an ASCII file, a byte of a binary one.
std::string where(const char* data, size_t at, Encoding encoding)
{
    if (encoding != Encoding::Ascii)
        return "byte " + std::to_string(at);
    return "line " + std::to_string(1 + std::count(data, data + at, '\n'));
}

std::string notFinite(size_t vertex, const std::string& at)
{
    return "vertex " + std::to_string(vertex) + " (" + at + ") has a coordinate that is no finite number";
}

std::string endsBefore(unsigned long long count, const char* what, const std::string& at)
{
    return "the file ends before its " + std::to_string(count) + " " + what + " (truncated at " + at +
           ", or a wrong count)";
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

// The byte offset and type of each of three properties of a binary vertex row.
struct Columns
{
    size_t offset[3] = {0, 0, 0};
    Type type[3] = {Type::Float32, Type::Float32, Type::Float32};

    Columns(const Element& vertex, const int (&slots)[3])
    {
        size_t row = 0;
        for (size_t p = 0; p < vertex.properties.size(); ++p)
        {
            for (int a = 0; a < 3; ++a)
                if (int(p) == slots[a])
                {
                    offset[a] = row;
                    type[a] = vertex.properties[p].type;
                }
            row += sizeOf(vertex.properties[p].type);
        }
    }

    osg::Vec3f at(const char* row, bool swap) const
    {
        return osg::Vec3f(realAt(row + offset[0], type[0], swap), realAt(row + offset[1], type[1], swap),
                          realAt(row + offset[2], type[2], swap));
    }
};

bool readBinaryVertices(const char* data, size_t size, size_t& at, const Layout& layout, bool swap, Body& body,
                        std::string& cause)
{
    size_t row = 0;
    for (const Property& property : layout.vertex->properties)
        row += sizeOf(property.type);
    const unsigned long long vertices = layout.vertex->count;
    if (vertices > (size - at) / row)
    {
        cause = endsBefore(vertices, "vertices", where(data, size, Encoding::LittleEndian));
        return false;
    }
    const Columns coordinates(*layout.vertex, layout.coordinate), normals(*layout.vertex, layout.normal);
    body.positions.resize(size_t(vertices));
    if (layout.hasNormals())
        body.normals.resize(size_t(vertices));
    // A cloud has no triangles to drop with a broken vertex: its points are checked here.
    const bool points = !layout.face, colours = points && layout.hasColours();
    const Columns colour(*layout.vertex, layout.colour);
    if (colours)
        body.colours.resize(size_t(vertices));
    for (size_t v = 0; v < body.positions.size(); ++v, at += row)
    {
        const osg::Vec3f p = coordinates.at(data + at, swap);
        body.positions[v] = osg::Pnt3f(p[0], p[1], p[2]);
        if (layout.hasNormals())
            body.normals[v] = normals.at(data + at, swap);
        if (points && !oxRenderUtil::finite(p))
        {
            cause = notFinite(v, "byte " + std::to_string(at));
            return false;
        }
        for (int c = 0; colours && c < 3; ++c)
        {
            const char* value = data + at + colour.offset[c];
            const Type type = colour.type[c];
            body.colours[v] = body.colours[v] << 8 | colourByte(isInteger(type) ? double(integerAt(value, type, swap))
                                                                                : double(realAt(value, type, swap)),
                                                                type);
        }
    }
    return true;
}

bool readBinaryFaces(const char* data, size_t size, size_t at, const Layout& layout, bool swap, Body& body,
                     std::string& cause)
{
    size_t before = 0, after = 0;
    const Property& list = layout.face->properties[size_t(layout.list)];
    for (size_t p = 0; p < layout.face->properties.size(); ++p)
        if (int(p) != layout.list)
            (int(p) < layout.list ? before : after) += sizeOf(layout.face->properties[p].type);
    const size_t countSize = sizeOf(list.countType), indexSize = sizeOf(list.type);
    const size_t least = before + countSize + after;
    const unsigned long long faces = layout.face->count;
    const std::string end = where(data, size, Encoding::LittleEndian);
    if (faces > (size - at) / least)
    {
        cause = endsBefore(faces, "faces", end);
        return false;
    }
    body.indices.reserve(3 * std::min<size_t>(size_t(faces), (size - at) / (least + 3 * indexSize)));
    Fan fan{body.indices, layout.vertex->count, cause};
    for (unsigned long long f = 0; f < faces; ++f)
    {
        if (size - at < least)
        {
            cause = endsBefore(faces, "faces", end);
            return false;
        }
        at += before;
        const long long corners = integerAt(data + at, list.countType, swap);
        at += countSize;
        if (corners < 0 || static_cast<unsigned long long>(corners) > (size - at - after) / indexSize)
        {
            cause = corners < 0 ? "face " + std::to_string(f) + " has " + std::to_string(corners) + " corners"
                                : endsBefore(faces, "faces", end);
            return false;
        }
        osg::UInt32 first = 0, last = 0;
        for (long long c = 0; c < corners; ++c, at += indexSize)
            if (!fan.corner(f, c, integerAt(data + at, list.type, swap), first, last))
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

std::string notANumber(const char* what, unsigned long long n, const char* data, const char* begin, const char* end)
{
    return std::string(what) + " " + std::to_string(n) + " has \"" + std::string(begin, std::min(end, begin + 40)) +
           "\" where a number belongs (" + where(data, size_t(begin - data), Encoding::Ascii) + ")";
}

bool readAsciiVertices(const char* data, Words& words, const Layout& layout, Body& body, std::string& cause)
{
    const char *begin = nullptr, *end = nullptr;
    // Each value takes at least a character and a separator.
    const size_t left = size_t(words.end - words.at) + 1;
    const unsigned long long vertices = layout.vertex->count;
    const auto truncated = [&]
    { return endsBefore(vertices, "vertices", where(data, size_t(words.end - data), Encoding::Ascii)); };
    if (vertices > left / (2 * layout.vertex->properties.size()))
    {
        cause = truncated();
        return false;
    }
    body.positions.resize(size_t(vertices));
    if (layout.hasNormals())
        body.normals.resize(size_t(vertices));
    const bool points = !layout.face, colours = points && layout.hasColours();
    if (colours)
        body.colours.resize(size_t(vertices));
    for (size_t v = 0; v < body.positions.size(); ++v)
    {
        const char* first = words.at;
        for (int p = 0; p < int(layout.vertex->properties.size()); ++p)
        {
            if (!words.next(begin, end))
            {
                cause = truncated();
                return false;
            }
            for (int a = 0; a < 3; ++a)
                if ((p == layout.coordinate[a] && !number(begin, end, body.positions[v][a])) ||
                    (p == layout.normal[a] && !number(begin, end, body.normals[v][a])))
                {
                    cause = notANumber("vertex", v, data, begin, end);
                    return false;
                }
            double value = 0;
            for (int c = 0; colours && c < 3; ++c)
                if (p == layout.colour[c])
                {
                    if (!number(begin, end, value))
                    {
                        cause = notANumber("vertex", v, data, begin, end);
                        return false;
                    }
                    body.colours[v] |= colourByte(value, layout.vertex->properties[size_t(p)].type) << (16 - 8 * c);
                }
        }
        if (points && !oxRenderUtil::finite(body.positions[v]))
        {
            while (first < words.end && std::isspace(static_cast<unsigned char>(*first)))
                ++first;
            cause = notFinite(v, where(data, size_t(first - data), Encoding::Ascii));
            return false;
        }
    }
    return true;
}

bool readAsciiFaces(const char* data, Words& words, const Layout& layout, Body& body, std::string& cause)
{
    const char *begin = nullptr, *end = nullptr;
    const size_t left = size_t(words.end - words.at) + 1;
    const unsigned long long faces = layout.face->count;
    const size_t properties = layout.face->properties.size();
    const auto truncated = [&]
    { return endsBefore(faces, "faces", where(data, size_t(words.end - data), Encoding::Ascii)); };
    if (faces > left / (2 * properties))
    {
        cause = truncated();
        return false;
    }
    body.indices.reserve(3 * std::min<size_t>(size_t(faces), left / 8));
    Fan fan{body.indices, layout.vertex->count, cause};
    for (unsigned long long f = 0; f < faces; ++f)
        for (int p = 0; p < int(properties); ++p)
        {
            if (!words.next(begin, end))
            {
                cause = truncated();
                return false;
            }
            if (p != layout.list)
                continue;
            long long corners = 0;
            if (!number(begin, end, corners) || corners < 0)
            {
                cause = notANumber("face", f, data, begin, end);
                return false;
            }
            osg::UInt32 first = 0, last = 0;
            for (long long c = 0; c < corners; ++c)
            {
                long long index = 0;
                if (!words.next(begin, end))
                {
                    cause = truncated();
                    return false;
                }
                if (!number(begin, end, index))
                {
                    cause = notANumber("face", f, data, begin, end);
                    return false;
                }
                if (!fan.corner(f, c, index, first, last))
                    return false;
            }
        }
    return true;
}

bool readBody(const char* data, size_t size, size_t at, const Layout& layout, Encoding encoding, Body& body,
              std::string& cause)
{
    if (encoding == Encoding::Ascii)
    {
        Words words{data + at, data + size};
        return readAsciiVertices(data, words, layout, body, cause) && readAsciiFaces(data, words, layout, body, cause);
    }
    const bool swap = encoding == Encoding::BigEndian;
    return readBinaryVertices(data, size, at, layout, swap, body, cause) &&
           readBinaryFaces(data, size, at, layout, swap, body, cause);
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
    Encoding encoding = Encoding::Ascii;
    std::vector<Element> elements;
    size_t at = 0;
    const Outcome header = readHeader(data, size, encoding, elements, at, cause);
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
    Body body;
    if (!readBody(data, size, at, layout, encoding, body, cause))
        return Failed;
    mesh.positions.swap(body.positions);
    mesh.normals.swap(body.normals);
    mesh.indices.swap(body.indices);
    return Read;
}

oxPlyReader::Outcome oxPlyReader::parsePoints(const char* data, size_t size, oxPointCloud& cloud, std::string& cause)
{
    Encoding encoding = Encoding::Ascii;
    std::vector<Element> elements;
    size_t at = 0;
    const Outcome header = size == 0 ? NotHandled : readHeader(data, size, encoding, elements, at, cause);
    if (header != Read)
    {
        if (header == NotHandled)
            cause = "the PLY header cannot be read (a format, element or property line this reader does not know)";
        return Failed;
    }
    Layout layout;
    const bool noFaces = elements.size() == 1 || (elements.size() == 2 && elements[1].count == 0);
    if (elements.empty() || elements[0].name != "vertex" || !noFaces || !vertexLayout(elements[0], layout))
    {
        cause = "a PLY file of points holds one vertex element with x, y and z (and no faces)";
        return Failed;
    }
    if (layout.vertex->count == 0)
    {
        cause = "the file holds no points";
        return Failed;
    }
    Body body;
    Words words{data + at, data + size};
    const bool read = encoding == Encoding::Ascii
                          ? readAsciiVertices(data, words, layout, body, cause)
                          : readBinaryVertices(data, size, at, layout, encoding == Encoding::BigEndian, body, cause);
    if (!read)
        return Failed;
    cloud.positions.swap(body.positions);
    cloud.normals.swap(body.normals);
    cloud.colours.swap(body.colours);
    return Read;
}
