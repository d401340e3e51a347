#include "oxPointReaders.h"

#include "oxPlyReader.h"
#include "oxRenderUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
using oxRenderUtil::lower;

// What a column of a text or PCD row holds.
enum class Column
{
    X,
    Y,
    Z,
    NX,
    NY,
    NZ,
    R,
    G,
    B,
    Ignored // intensity, or a field a PCD file describes by size
};

bool columnNamed(const std::string& name, Column& column)
{
    static const struct
    {
        const char* name;
        Column column;
    } names[] = {{"x", Column::X},
                 {"y", Column::Y},
                 {"z", Column::Z},
                 {"nx", Column::NX},
                 {"ny", Column::NY},
                 {"nz", Column::NZ},
                 {"normal_x", Column::NX},
                 {"normal_y", Column::NY},
                 {"normal_z", Column::NZ},
                 {"r", Column::R},
                 {"g", Column::G},
                 {"b", Column::B},
                 {"red", Column::R},
                 {"green", Column::G},
                 {"blue", Column::B},
                 {"i", Column::Ignored},
                 {"intensity", Column::Ignored}};
    const std::string key = lower(name);
    for (const auto& n : names)
        if (key == n.name)
        {
            column = n.column;
            return true;
        }
    return false;
}

std::string shown(const char* begin, const char* end)
{
    return "\"" + std::string(begin, std::min(end, begin + 40)) + "\"";
}

std::string onLine(size_t line)
{
    return "line " + std::to_string(line);
}

template <class T> bool number(const char* begin, const char* end, T& value)
{
    if (begin < end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, value);
    return r.ec == std::errc() && r.ptr == end && begin < end;
}

// A file's lines, without their line ends, numbered from 1.
struct Lines
{
    const char* at;
    const char* end;
    size_t number = 0;

    bool next(const char*& begin, const char*& stop)
    {
        if (at >= end)
            return false;
        begin = at;
        const void* newline = std::memchr(at, '\n', size_t(end - at));
        stop = newline ? static_cast<const char*>(newline) : end;
        at = newline ? stop + 1 : end;
        ++number;
        while (stop > begin && std::isspace(static_cast<unsigned char>(stop[-1])))
            --stop;
        while (begin < stop && std::isspace(static_cast<unsigned char>(*begin)))
            ++begin;
        return true;
    }
};

// The values of a row, apart where there are spaces, tabs, commas or semicolons.
struct Fields
{
    const char* at;
    const char* end;

    static bool apart(char c) { return c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c)); }

    bool next(const char*& begin, const char*& stop)
    {
        while (at < end && apart(*at))
            ++at;
        begin = at;
        while (at < end && !apart(*at))
            ++at;
        stop = at;
        return stop > begin;
    }
};

std::vector<std::string> fieldsOf(const char* begin, const char* end)
{
    std::vector<std::string> out;
    Fields fields{begin, end};
    const char *b = nullptr, *e = nullptr;
    while (fields.next(b, e))
        out.emplace_back(b, e);
    return out;
}

// Whether columns name x, y and z once each and every normal or colour component or none.
std::string columnsProblem(const std::vector<Column>& columns)
{
    int seen[int(Column::Ignored)] = {};
    for (Column c : columns)
        if (c != Column::Ignored && ++seen[int(c)] > 1)
            return "it names a column twice";
    if (!seen[0] || !seen[1] || !seen[2])
        return "it lacks an x, y or z column";
    if (seen[3] + seen[4] + seen[5] != 0 && seen[3] + seen[4] + seen[5] != 3)
        return "it names some of the normal's components, not all three";
    if (seen[6] + seen[7] + seen[8] != 0 && seen[6] + seen[7] + seen[8] != 3)
        return "it names some of red, green and blue, not all three";
    return std::string();
}

// The columns of a file without a header line, by their number and the first row's values: x y z,
// then intensity where the count is odd beyond 3, then colour (whole numbers up to 255) or a
// normal, then the other.
bool columnsByCount(const std::vector<double>& row, std::vector<Column>& columns)
{
    using C = Column;
    const size_t n = row.size();
    auto wholeColours = [&](size_t from)
    {
        bool beyondOne = false;
        for (size_t i = from; i < from + 3; ++i)
        {
            if (!(row[i] >= 0 && row[i] <= 255 && row[i] == std::floor(row[i])))
                return false;
            beyondOne = beyondOne || row[i] > 1;
        }
        return beyondOne;
    };
    columns = {C::X, C::Y, C::Z};
    if (n == 3 || n == 4)
    {
        if (n == 4)
            columns.push_back(C::Ignored);
        return true;
    }
    if (n == 6 || n == 7)
    {
        const size_t from = n == 7 ? 4 : 3;
        if (n == 7)
            columns.push_back(C::Ignored);
        const bool colour = n == 7 || wholeColours(from);
        columns.insert(columns.end(), colour ? std::initializer_list<C>{C::R, C::G, C::B}
                                             : std::initializer_list<C>{C::NX, C::NY, C::NZ});
        return true;
    }
    if (n == 9 || n == 10)
    {
        if (n == 10)
            columns.push_back(C::Ignored);
        columns.insert(columns.end(), {C::R, C::G, C::B, C::NX, C::NY, C::NZ});
        return true;
    }
    return false;
}

std::uint32_t colourByte(double v)
{
    return std::uint32_t(std::clamp(std::lround(v), 0L, 255L));
}

// Rows of text into a cloud: the columns named by a header line or told by the first row's count.
class TextReader
{
public:
    TextReader(const char* data, size_t size, std::string& cause) : _lines{data, data + size}, _cause(cause)
    {
        // A row per line, so that ten million points do not grow their arrays step by step.
        _expected = size_t(std::count(data, data + size, '\n')) + 1;
    }

    bool read(bool pts, oxPointCloud& out)
    {
        const char *begin = nullptr, *end = nullptr;
        while (_lines.next(begin, end))
        {
            if (begin == end)
                continue;
            const bool comment = *begin == '#' || (end - begin >= 2 && begin[0] == '/' && begin[1] == '/');
            if (comment)
            {
                if (!pts && _columns.empty() && _cloud.size() == 0)
                    tryHeader(begin + (*begin == '#' ? 1 : 2), end);
                continue;
            }
            if (pts && _left == 0 && !blockCount(begin, end))
                return false;
            else if (pts && _countLine == _lines.number)
                continue;
            if (_columns.empty() && !pts && !header(begin, end))
                return false;
            if (_headerLine == _lines.number)
                continue;
            if (!row(begin, end))
                return false;
            if (pts)
                --_left;
        }
        if (pts && _left > 0)
            return fail("the file ends on " + onLine(_lines.number) + " with " + std::to_string(_left) + " of the " +
                        std::to_string(_declared) + " points its count on " + onLine(_countLine) +
                        " declares still to come (truncated, or a wrong count)");
        if (_cloud.size() == 0)
            return fail("the file holds no points");
        out = std::move(_cloud);
        return true;
    }

private:
    bool fail(const std::string& why)
    {
        _cause = why;
        return false;
    }

    // A commented line before any row that names known columns is the header (as some programs
    // write it, "//X,Y,Z,R,G,B"); any other comment is skipped.
    void tryHeader(const char* begin, const char* end)
    {
        std::vector<Column> columns;
        for (const std::string& name : fieldsOf(begin, end))
        {
            Column c;
            if (!columnNamed(name, c))
                return;
            columns.push_back(c);
        }
        if (!columns.empty() && columnsProblem(columns).empty())
        {
            _columns = columns;
            _headerLine = _lines.number;
        }
    }

    // The first line that is not a comment: a header when it holds anything but numbers.
    bool header(const char* begin, const char* end)
    {
        const std::vector<std::string> names = fieldsOf(begin, end);
        std::vector<double> row(names.size());
        bool numbers = true;
        for (size_t i = 0; i < names.size() && numbers; ++i)
            numbers = number(names[i].data(), names[i].data() + names[i].size(), row[i]);
        if (numbers)
        {
            if (!columnsByCount(row, _columns))
                return fail(onLine(_lines.number) + " has " + std::to_string(row.size()) +
                            " values and the file no header line naming its columns; without one, rows of 3, 4, 6, "
                            "7, 9 or 10 values are read");
            return true;
        }
        for (const std::string& name : names)
        {
            Column c;
            if (!columnNamed(name, c))
                return fail("unknown column \"" + name + "\" in the header on " + onLine(_lines.number) +
                            " (known: x y z, nx ny nz, r g b or red green blue, i or intensity)");
            _columns.push_back(c);
        }
        const std::string problem = columnsProblem(_columns);
        if (!problem.empty())
            return fail("the header on " + onLine(_lines.number) + " cannot be read: " + problem);
        _headerLine = _lines.number;
        return true;
    }

    // A PTS block's count; false with the cause when the line is none.
    bool blockCount(const char* begin, const char* end)
    {
        unsigned long long count = 0;
        const std::vector<std::string> fields = fieldsOf(begin, end);
        if (fields.size() != 1 || !number(fields[0].data(), fields[0].data() + fields[0].size(), count))
            return fail(_countLine == 0 ? "a PTS file begins with its point count, not " + shown(begin, end) + " (" +
                                              onLine(_lines.number) + ")"
                                        : onLine(_lines.number) + " holds more rows than the count on " +
                                              onLine(_countLine) + " declares (" + std::to_string(_declared) + ")");
        _left = _declared = count;
        _countLine = _lines.number;
        _columns.clear();
        return true;
    }

    bool row(const char* begin, const char* end)
    {
        if (_columns.empty())
        {
            std::vector<double> values;
            for (const std::string& f : fieldsOf(begin, end))
                if (values.emplace_back(); !number(f.data(), f.data() + f.size(), values.back()))
                    return fail(onLine(_lines.number) + " has \"" + f + "\" where a number belongs");
            if (!columnsByCount(values, _columns))
                return fail(onLine(_lines.number) + " has " + std::to_string(values.size()) +
                            " values; rows of 3, 4, 6, 7, 9 or 10 values are read");
        }
        if (_cloud.size() == 0)
            start();
        Fields fields{begin, end};
        const char *b = nullptr, *e = nullptr;
        float p[3] = {}, n[3] = {}, rgb[3] = {};
        size_t count = 0;
        for (; fields.next(b, e); ++count)
        {
            if (count >= _columns.size())
                break;
            double v = 0;
            if (!number(b, e, v))
                return fail(onLine(_lines.number) + " has " + shown(b, e) + " where a number belongs");
            const int c = int(_columns[count]);
            if (c <= int(Column::NZ) && !std::isfinite(float(v)))
                return fail(onLine(_lines.number) + " has " + shown(b, e) +
                            (c <= int(Column::Z) ? " for a coordinate" : " for a normal") + ", not a finite number");
            if (c <= int(Column::Z))
                p[c] = float(v);
            else if (c <= int(Column::NZ))
                n[c - int(Column::NX)] = float(v);
            else if (c <= int(Column::B))
                rgb[c - int(Column::R)] = float(v);
        }
        if (count != _columns.size() || fields.next(b, e))
            return fail(onLine(_lines.number) + " has " + std::to_string(fieldsOf(begin, end).size()) +
                        " values, not the " + std::to_string(_columns.size()) + " of the file's columns");
        _cloud.positions.emplace_back(p[0], p[1], p[2]);
        if (_normals)
            _cloud.normals.emplace_back(n[0], n[1], n[2]);
        if (_colours)
            _cloud.colours.push_back(colourByte(rgb[0]) << 16 | colourByte(rgb[1]) << 8 | colourByte(rgb[2]));
        return true;
    }

    // The arrays of the first row's columns.
    void start()
    {
        _normals = std::count(_columns.begin(), _columns.end(), Column::NX) > 0;
        _colours = std::count(_columns.begin(), _columns.end(), Column::R) > 0;
        _cloud.positions.reserve(_expected);
        if (_normals)
            _cloud.normals.reserve(_expected);
        if (_colours)
            _cloud.colours.reserve(_expected);
    }

    Lines _lines;
    std::string& _cause;
    oxPointCloud _cloud;
    std::vector<Column> _columns;
    size_t _expected = 0, _headerLine = 0, _countLine = 0;
    unsigned long long _left = 0, _declared = 0;
    bool _normals = false, _colours = false;
};

// A field of a PCD row: its place among the row's values (ASCII) and bytes (binary).
struct PcdField
{
    std::string name;
    char type = 'F';
    size_t size = 4, count = 1, value = 0, offset = 0;
    Column column = Column::Ignored;
    bool packedColour = false; // rgb or rgba: 0x(AA)RRGGBB in the bits of one value
};

struct PcdHeader
{
    std::vector<PcdField> fields;
    unsigned long long points = 0, width = 0, height = 1;
    bool hasPoints = false, hasWidth = false;
    std::string data;
    size_t body = 0, line = 0, valuesPerRow = 0, bytesPerRow = 0;
};

template <class T> T loadAt(const char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The PCD header's keys in a row of their values, checked against each other; false with the cause.
class PcdReader
{
public:
    PcdReader(const char* data, size_t size, std::string& cause) : _data(data), _size(size), _cause(cause) {}

    bool read(oxPointCloud& out)
    {
        if (!header())
            return false;
        oxPointCloud cloud;
        cloud.positions.reserve(size_t(std::min<unsigned long long>(_h.points, _size)));
        const bool ok = _h.data == "ascii" ? ascii(cloud) : binary(cloud);
        if (!ok)
            return false;
        if (cloud.size() == 0)
            return fail("the file holds no points with finite coordinates");
        out = std::move(cloud);
        return true;
    }

private:
    bool fail(const std::string& why)
    {
        _cause = why;
        return false;
    }

    bool sizes(const std::vector<std::string>& w, const char* key, std::vector<size_t>& out)
    {
        out.clear();
        for (size_t i = 1; i < w.size(); ++i)
            if (out.emplace_back(); !number(w[i].data(), w[i].data() + w[i].size(), out.back()))
                return fail(std::string(key) + " on " + onLine(_lines.number) + " has \"" + w[i] +
                            "\" where a whole number belongs");
        return true;
    }

    bool whole(const std::vector<std::string>& w, unsigned long long& value)
    {
        if (w.size() != 2 || !number(w[1].data(), w[1].data() + w[1].size(), value))
            return fail(w[0] + " on " + onLine(_lines.number) + " is not one whole number");
        return true;
    }

    bool header()
    {
        _lines = Lines{_data, _data + _size};
        const char *begin = nullptr, *end = nullptr;
        std::vector<size_t> sizeOf, countOf;
        std::vector<std::string> types;
        while (_h.data.empty())
        {
            if (!_lines.next(begin, end))
                return fail("the PCD header ends on " + onLine(_lines.number) + " without its DATA line (truncated)");
            if (begin == end || *begin == '#')
                continue;
            std::vector<std::string> w;
            Fields fields{begin, end};
            for (const char *b, *e; fields.next(b, e);)
                w.emplace_back(b, e);
            if (w.empty()) // separators only
                continue;
            const std::string& key = w[0];
            _h.hasWidth = _h.hasWidth || key == "WIDTH";
            _h.hasPoints = _h.hasPoints || key == "POINTS";
            if (key == "VERSION" || key == "VIEWPOINT")
                continue;
            if (key == "FIELDS")
                for (size_t i = 1; i < w.size(); ++i)
                    _h.fields.push_back(PcdField{w[i]});
            else if (key == "SIZE" && !sizes(w, "SIZE", sizeOf))
                return false;
            else if (key == "COUNT" && !sizes(w, "COUNT", countOf))
                return false;
            else if (key == "TYPE")
                types.assign(w.begin() + 1, w.end());
            else if (key == "WIDTH" && !whole(w, _h.width))
                return false;
            else if (key == "HEIGHT" && !whole(w, _h.height))
                return false;
            else if (key == "POINTS" && !whole(w, _h.points))
                return false;
            else if (key == "DATA")
                _h.data = w.size() == 2 ? w[1] : "?";
            else if (key != "FIELDS" && key != "SIZE" && key != "COUNT" && key != "TYPE" && key != "WIDTH" &&
                     key != "HEIGHT" && key != "POINTS")
                return fail("unknown PCD header line " + shown(begin, end) + " (" + onLine(_lines.number) + ")");
        }
        _h.body = size_t(_lines.at - _data);
        _h.line = _lines.number;
        return fieldsTyped(sizeOf, countOf, types) && counted();
    }

    bool fieldsTyped(const std::vector<size_t>& sizeOf, const std::vector<size_t>& countOf,
                     const std::vector<std::string>& types)
    {
        const size_t n = _h.fields.size();
        if (n == 0 || sizeOf.size() != n || types.size() != n || (!countOf.empty() && countOf.size() != n))
            return fail("the PCD header's FIELDS, SIZE, TYPE and COUNT do not name as many fields each");
        std::vector<Column> columns;
        for (size_t i = 0; i < n; ++i)
        {
            PcdField& f = _h.fields[i];
            f.size = sizeOf[i];
            f.type = types[i].size() == 1 ? types[i][0] : '?';
            f.count = countOf.empty() ? 1 : countOf[i];
            const bool real = f.type == 'F' && (f.size == 4 || f.size == 8);
            const bool integer =
                (f.type == 'I' || f.type == 'U') && (f.size == 1 || f.size == 2 || f.size == 4 || f.size == 8);
            if ((!real && !integer) || f.count == 0 || f.count > 1 << 20)
                return fail("the PCD field \"" + f.name + "\" has a type, size or count that is not read (" + types[i] +
                            ", " + std::to_string(f.size) + ", " + std::to_string(f.count) + ")");
            f.value = _h.valuesPerRow;
            f.offset = _h.bytesPerRow;
            _h.valuesPerRow += f.count;
            _h.bytesPerRow += f.size * f.count;
            Column c = Column::Ignored;
            f.packedColour = (f.name == "rgb" || f.name == "rgba") && f.size == 4 && f.count == 1;
            if (f.packedColour)
                c = Column::R;
            else if (columnNamed(f.name, c) && c != Column::Ignored && (!real || f.count != 1))
                return fail("the PCD field \"" + f.name + "\" is not one floating-point value");
            f.column = c;
            columns.push_back(c);
        }
        if (std::count(columns.begin(), columns.end(), Column::R) == 1)
            columns.insert(columns.end(), {Column::G, Column::B});
        const std::string problem = columnsProblem(columns);
        if (!problem.empty())
            return fail("the PCD header's FIELDS cannot be read: " + problem);
        return true;
    }

    bool counted()
    {
        if (_h.hasWidth && _h.hasPoints &&
            (_h.height == 0 || _h.width > _h.points / _h.height || _h.width * _h.height != _h.points))
            return fail("the PCD header's POINTS (" + std::to_string(_h.points) + ") is not WIDTH x HEIGHT (" +
                        std::to_string(_h.width) + " x " + std::to_string(_h.height) + ")");
        if (!_h.hasPoints)
            _h.points = _h.width * _h.height;
        if (_h.data == "binary_compressed")
            return fail("PCD data \"binary_compressed\" is not read; save the cloud as \"binary\" or \"ascii\"");
        if (_h.data != "ascii" && _h.data != "binary")
            return fail("PCD data \"" + _h.data + "\" on " + onLine(_h.line) + " is not ascii or binary");
        return true;
    }

    // A point is added unless its coordinates are NaN: organised clouds mark a missing return so.
    void add(oxPointCloud& cloud, const float (&p)[3], const float (&n)[3], std::uint32_t rgb, bool normals,
             bool colours)
    {
        if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2]))
            return;
        cloud.positions.emplace_back(p[0], p[1], p[2]);
        if (normals)
            cloud.normals.emplace_back(n[0], n[1], n[2]);
        if (colours)
            cloud.colours.push_back(rgb & 0xffffffu);
    }

    bool ascii(oxPointCloud& cloud)
    {
        const bool normals = hasColumn(Column::NX), colours = hasColumn(Column::R);
        const char *begin = nullptr, *end = nullptr;
        unsigned long long read = 0;
        std::vector<const char*> from(_h.valuesPerRow), to(_h.valuesPerRow);
        while (_lines.next(begin, end))
        {
            if (begin == end)
                continue;
            if (read == _h.points)
                return fail(onLine(_lines.number) + " holds more rows than the header's POINTS (" +
                            std::to_string(_h.points) + ")");
            Fields fields{begin, end};
            size_t count = 0;
            for (const char *b, *e; fields.next(b, e); ++count)
                if (count < from.size())
                {
                    from[count] = b;
                    to[count] = e;
                }
            if (count != _h.valuesPerRow)
                return fail(onLine(_lines.number) + " has " + std::to_string(count) + " values, not the " +
                            std::to_string(_h.valuesPerRow) + " of the header's fields");
            float p[3] = {}, n[3] = {};
            std::uint32_t rgb = 0;
            for (const PcdField& f : _h.fields)
            {
                const char *b = from[f.value], *e = to[f.value];
                if (f.column == Column::Ignored)
                    continue;
                double v = 0;
                std::uint32_t bits = 0;
                const bool ok = f.packedColour && f.type != 'F' ? number(b, e, bits) : number(b, e, v);
                if (!ok)
                    return fail(onLine(_lines.number) + " has " + shown(b, e) + " where a number belongs");
                if (f.packedColour)
                {
                    const float packed = float(v);
                    rgb = f.type == 'F' ? loadAt<std::uint32_t>(reinterpret_cast<const char*>(&packed)) : bits;
                }
                else
                    store(f.column, float(v), p, n);
            }
            add(cloud, p, n, rgb, normals, colours);
            ++read;
        }
        if (read < _h.points)
            return fail("the file ends on " + onLine(_lines.number) + " after " + std::to_string(read) + " of its " +
                        std::to_string(_h.points) + " points (truncated, or a wrong POINTS)");
        return true;
    }

    static void store(Column c, float v, float (&p)[3], float (&n)[3])
    {
        if (c <= Column::Z)
            p[int(c)] = v;
        else if (c <= Column::NZ)
            n[int(c) - int(Column::NX)] = v;
    }

    bool binary(oxPointCloud& cloud)
    {
        const bool normals = hasColumn(Column::NX), colours = hasColumn(Column::R);
        const size_t row = _h.bytesPerRow;
        if (_h.points > (_size - _h.body) / row)
            return fail("the file ends at byte " + std::to_string(_size) + ", before its " + std::to_string(_h.points) +
                        " points of " + std::to_string(row) + " bytes from byte " + std::to_string(_h.body) +
                        " (truncated, or a wrong POINTS)");
        if (normals)
            cloud.normals.reserve(size_t(_h.points));
        if (colours)
            cloud.colours.reserve(size_t(_h.points));
        for (size_t i = 0; i < size_t(_h.points); ++i)
        {
            const char* at = _data + _h.body + i * row;
            float p[3] = {}, n[3] = {};
            std::uint32_t rgb = 0;
            for (const PcdField& f : _h.fields)
                if (f.packedColour)
                    rgb = loadAt<std::uint32_t>(at + f.offset);
                else if (f.column != Column::Ignored)
                    store(f.column, f.size == 8 ? float(loadAt<double>(at + f.offset)) : loadAt<float>(at + f.offset),
                          p, n);
            add(cloud, p, n, rgb, normals, colours);
        }
        return true;
    }

    bool hasColumn(Column c) const
    {
        return std::any_of(_h.fields.begin(), _h.fields.end(), [c](const PcdField& f) { return f.column == c; });
    }

    const char* _data;
    size_t _size;
    std::string& _cause;
    Lines _lines{nullptr, nullptr};
    PcdHeader _h;
};

// LAS: what the public format puts where, for versions 1.0 to 1.4.
namespace las
{
constexpr size_t VersionMajor = 24, VersionMinor = 25, HeaderSize = 94, PointOffset = 96, RecordFormat = 104,
                 RecordLength = 105, LegacyCount = 107, Scale = 131, Offset = 155, Count14 = 247;
// The shortest record of point data record formats 0 to 10, and where each keeps its colour (0: none).
constexpr size_t MinimumRecord[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
constexpr size_t ColourAt[] = {0, 0, 20, 28, 0, 28, 0, 30, 30, 0, 30};
} // namespace las

std::string byteNote(size_t at)
{
    return " (byte " + std::to_string(at) + ")";
}

bool lasHeader(const char* data, size_t size, size_t& format, size_t& record, size_t& offset, unsigned long long& count,
               std::string& cause)
{
    if (size < 227 || std::memcmp(data, "LASF", 4) != 0)
    {
        cause = size < 4 || std::memcmp(data, "LASF", 4) != 0
                    ? "not a LAS file (no \"LASF\" at byte 0)"
                    : "the file ends at byte " + std::to_string(size) + ", inside its LAS header (truncated)";
        return false;
    }
    cause.clear();
    const int major = std::uint8_t(data[las::VersionMajor]), minor = std::uint8_t(data[las::VersionMinor]);
    const size_t header = loadAt<std::uint16_t>(data + las::HeaderSize);
    format = std::uint8_t(data[las::RecordFormat]);
    record = loadAt<std::uint16_t>(data + las::RecordLength);
    offset = loadAt<std::uint32_t>(data + las::PointOffset);
    count = loadAt<std::uint32_t>(data + las::LegacyCount);
    if (major != 1 || minor > 4)
        cause = "LAS version " + std::to_string(major) + "." + std::to_string(minor) + " is not read (1.0 to 1.4 are)";
    else if (format & 0xc0)
        cause = "its points are compressed (LAZ: point data record format byte " + std::to_string(format) +
                byteNote(las::RecordFormat) + "), which this build does not read; decompress it to LAS first";
    else if (format > 10)
        cause = "point data record format " + std::to_string(format) + byteNote(las::RecordFormat) +
                " is not one of 0 to 10";
    else if (record < las::MinimumRecord[format])
        cause = "its records of " + std::to_string(record) + " bytes" + byteNote(las::RecordLength) +
                " are shorter than format " + std::to_string(format) + "'s " +
                std::to_string(las::MinimumRecord[format]);
    else if (header < 227 || header > size || (minor == 4 && header < 375))
        cause = "its header size " + std::to_string(header) + byteNote(las::HeaderSize) + " does not fit version 1." +
                std::to_string(minor) + " and a file of " + std::to_string(size) + " bytes";
    else if (offset < header || offset > size)
        cause = "its point data offset " + std::to_string(offset) + byteNote(las::PointOffset) +
                " lies outside the file's " + std::to_string(size) + " bytes after the header";
    if (!cause.empty())
        return false;
    if (minor == 4)
        count = loadAt<std::uint64_t>(data + las::Count14);
    if (count > (size - offset) / record)
    {
        cause = "the file ends at byte " + std::to_string(size) + ", before its " + std::to_string(count) +
                " points of " + std::to_string(record) + " bytes from byte " + std::to_string(offset) +
                " (truncated, or a wrong count)";
        return false;
    }
    return true;
}

bool lasPoints(const char* data, size_t size, oxPointCloud& out, std::string& cause)
{
    size_t format = 0, record = 0, offset = 0;
    unsigned long long count = 0;
    if (!lasHeader(data, size, format, record, offset, count, cause))
        return false;
    double scale[3], shift[3];
    for (int c = 0; c < 3; ++c)
    {
        scale[c] = loadAt<double>(data + las::Scale + 8 * size_t(c));
        shift[c] = loadAt<double>(data + las::Offset + 8 * size_t(c));
        if (!std::isfinite(scale[c]) || scale[c] == 0 || !std::isfinite(shift[c]))
        {
            cause = "its scale and offset" + byteNote(las::Scale) + " are not finite numbers with a scale other than 0";
            return false;
        }
    }
    if (count == 0)
    {
        cause = "the file holds no points";
        return false;
    }
    oxPointCloud cloud;
    cloud.positions.resize(size_t(count));
    const char* points = data + offset;
    for (size_t i = 0; i < cloud.positions.size(); ++i)
        for (int c = 0; c < 3; ++c)
            cloud.positions[i][c] =
                float(double(loadAt<std::int32_t>(points + i * record + 4 * size_t(c))) * scale[c] + shift[c]);
    if (const size_t at = las::ColourAt[format])
    {
        // The format asks for 16-bit colour; some writers store 8 bits, which the largest value tells.
        std::uint16_t largest = 0;
        for (size_t i = 0; i < cloud.positions.size(); ++i)
            for (size_t c = 0; c < 3; ++c)
                largest = std::max(largest, loadAt<std::uint16_t>(points + i * record + at + 2 * c));
        const int shiftBits = largest > 255 ? 8 : 0;
        cloud.colours.resize(cloud.positions.size());
        for (size_t i = 0; i < cloud.positions.size(); ++i)
        {
            std::uint32_t rgb = 0;
            for (size_t c = 0; c < 3; ++c)
                rgb = rgb << 8 | std::uint32_t(loadAt<std::uint16_t>(points + i * record + at + 2 * c) >> shiftBits);
            cloud.colours[i] = rgb;
        }
    }
    out = std::move(cloud);
    return true;
}
} // namespace

bool oxPointReaders::formatOfSuffix(const std::string& suffix, Format& format)
{
    static const struct
    {
        const char* suffix;
        Format format;
    } formats[] = {{"xyz", Format::Text}, {"csv", Format::Text}, {"asc", Format::Text},
                   {"pts", Format::Pts},  {"pcd", Format::Pcd},  {"las", Format::Las}};
    const std::string key = lower(suffix);
    for (const auto& f : formats)
        if (key == f.suffix)
        {
            format = f.format;
            return true;
        }
    return false;
}

bool oxPointReaders::parseText(const char* data, size_t size, bool pts, oxPointCloud& cloud, std::string& cause)
{
    return TextReader(data, size, cause).read(pts, cloud);
}

bool oxPointReaders::parsePcd(const char* data, size_t size, oxPointCloud& cloud, std::string& cause)
{
    return PcdReader(data, size, cause).read(cloud);
}

bool oxPointReaders::parseLas(const char* data, size_t size, oxPointCloud& cloud, std::string& cause)
{
    return lasPoints(data, size, cloud, cause);
}

bool oxPointReaders::parse(Format format, const char* data, size_t size, oxPointCloud& cloud, std::string& cause)
{
    switch (format)
    {
    case Format::Text:
    case Format::Pts:
        return parseText(data, size, format == Format::Pts, cloud, cause);
    case Format::Pcd:
        return parsePcd(data, size, cloud, cause);
    case Format::Las:
        return parseLas(data, size, cloud, cause);
    case Format::Ply:
        return oxPlyReader::parsePoints(data, size, cloud, cause) == oxPlyReader::Read;
    }
    return false;
}
