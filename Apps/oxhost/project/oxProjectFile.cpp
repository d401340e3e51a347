#include "oxProjectFile.h"

#include "OSGVector.h"
#include "oxMessage.h"

#include <boost/core/demangle.hpp>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char* const FormatName = "oxhost project";
const int FormatVersion = 1;
// The format needs four levels; anything much deeper is not a project file.
const int MaxDepth = 32;

// A parsed JSON value with the offset it starts at, for error lines.
struct Json
{
    enum Kind
    {
        Null,
        Bool,
        Number,
        String,
        Array,
        Object
    };
    Kind kind = Null;
    std::size_t offset = 0;
    bool boolean = false;
    std::string text; // a string's value, or a number as written
    std::vector<Json> elements;
    std::vector<std::pair<std::string, Json>> members;

    const Json* member(const std::string& key) const
    {
        for (const auto& m : members)
            if (m.first == key)
                return &m.second;
        return nullptr;
    }
};

std::string quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

// Length of the UTF-8 sequence at s[i], or 0 when it is not well formed (overlong forms,
// surrogates and code points above U+10FFFF included).
std::size_t utf8Length(const std::string& s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c = byte(i);
    const auto continuation = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return continuation(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF)
    {
        const unsigned c1 = byte(i + 1);
        if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F))
            return 0;
        return continuation(i + 1) && continuation(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4)
    {
        const unsigned c1 = byte(i + 1);
        if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
            return 0;
        return continuation(i + 1) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

bool isUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();)
    {
        const std::size_t n = utf8Length(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80)
        out += char(cp);
    else if (cp < 0x800)
    {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
    else
    {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// A strict JSON reader (RFC 8259) that remembers where each value starts.
class Parser
{
public:
    explicit Parser(const std::string& text) : _text(text) {}

    bool parse(Json& root)
    {
        // A byte order mark is not JSON, but editors write one.
        if (_text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            _pos = 3;
        skipSpace();
        if (_pos == _text.size())
            return fail("the file is empty");
        if (!value(root, 0))
            return false;
        skipSpace();
        if (_pos != _text.size())
            return fail("unexpected text after the end of the project");
        return true;
    }

    const std::string& error() const { return _error; }

    // "line 3" for the offset; the column too where a character is at fault.
    std::string where(std::size_t offset, bool withColumn) const
    {
        std::size_t line = 1, lineStart = 0;
        for (std::size_t i = 0; i < offset && i < _text.size(); ++i)
            if (_text[i] == '\n')
            {
                ++line;
                lineStart = i + 1;
            }
        std::string s = "line " + std::to_string(line);
        if (withColumn)
            s += ", column " + std::to_string(offset - lineStart + 1);
        return s;
    }

private:
    bool fail(const std::string& what)
    {
        _error = where(_pos, true) + ": " + what;
        return false;
    }

    void skipSpace()
    {
        while (_pos < _text.size() &&
               (_text[_pos] == ' ' || _text[_pos] == '\t' || _text[_pos] == '\n' || _text[_pos] == '\r'))
            ++_pos;
    }

    bool literal(const char* word)
    {
        const std::size_t n = std::strlen(word);
        if (_text.compare(_pos, n, word) != 0)
            return false;
        _pos += n;
        return true;
    }

    bool value(Json& out, int depth)
    {
        if (depth > MaxDepth)
            return fail("the values are nested too deeply");
        out.offset = _pos;
        if (_pos >= _text.size())
            return fail("the file ends where a value should be");
        const char c = _text[_pos];
        if (c == '{')
            return object(out, depth);
        if (c == '[')
            return array(out, depth);
        if (c == '"')
        {
            out.kind = Json::String;
            return string(out.text);
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number(out);
        if (literal("true") || literal("false"))
        {
            out.kind = Json::Bool;
            out.boolean = c == 't';
            return true;
        }
        if (literal("null"))
        {
            out.kind = Json::Null;
            return true;
        }
        return fail("expected a value");
    }

    bool object(Json& out, int depth)
    {
        out.kind = Json::Object;
        std::unordered_set<std::string> seen;
        ++_pos;
        skipSpace();
        if (_pos < _text.size() && _text[_pos] == '}')
        {
            ++_pos;
            return true;
        }
        for (;;)
        {
            skipSpace();
            if (_pos >= _text.size() || _text[_pos] != '"')
                return fail("expected a quoted name");
            const std::size_t keyOffset = _pos;
            std::string key;
            if (!string(key))
                return false;
            if (!seen.insert(key).second)
            {
                _pos = keyOffset;
                return fail("the name " + quoted(key) + " appears twice");
            }
            skipSpace();
            if (_pos >= _text.size() || _text[_pos] != ':')
                return fail("expected ':' after the name " + quoted(key));
            ++_pos;
            skipSpace();
            out.members.emplace_back(key, Json());
            if (!value(out.members.back().second, depth + 1))
                return false;
            skipSpace();
            if (_pos < _text.size() && _text[_pos] == ',')
            {
                ++_pos;
                continue;
            }
            if (_pos < _text.size() && _text[_pos] == '}')
            {
                ++_pos;
                return true;
            }
            return fail("expected ',' or '}'");
        }
    }

    bool array(Json& out, int depth)
    {
        out.kind = Json::Array;
        ++_pos;
        skipSpace();
        if (_pos < _text.size() && _text[_pos] == ']')
        {
            ++_pos;
            return true;
        }
        for (;;)
        {
            skipSpace();
            out.elements.emplace_back();
            if (!value(out.elements.back(), depth + 1))
                return false;
            skipSpace();
            if (_pos < _text.size() && _text[_pos] == ',')
            {
                ++_pos;
                continue;
            }
            if (_pos < _text.size() && _text[_pos] == ']')
            {
                ++_pos;
                return true;
            }
            return fail("expected ',' or ']'");
        }
    }

    bool hex4(unsigned long& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i, ++_pos)
        {
            if (_pos >= _text.size())
                return fail("the file ends inside an escape");
            const char c = _text[_pos];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= unsigned(c - 'A' + 10);
            else
                return fail("expected four hexadecimal digits after \\u");
        }
        return true;
    }

    bool string(std::string& out)
    {
        ++_pos; // the opening quote
        for (;;)
        {
            if (_pos >= _text.size())
                return fail("the file ends inside a string");
            const unsigned char c = static_cast<unsigned char>(_text[_pos]);
            if (c == '"')
            {
                ++_pos;
                return true;
            }
            if (c < 0x20)
                return fail("a control character in a string must be written as an escape");
            if (c >= 0x80)
            {
                const std::size_t n = utf8Length(_text, _pos);
                if (n == 0)
                    return fail("the text is not valid UTF-8");
                out.append(_text, _pos, n);
                _pos += n;
                continue;
            }
            if (c != '\\')
            {
                out += char(c);
                ++_pos;
                continue;
            }
            ++_pos;
            if (_pos >= _text.size())
                return fail("the file ends inside an escape");
            const char e = _text[_pos++];
            switch (e)
            {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
            {
                unsigned long cp;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF)
                    return fail("a lone low surrogate in a \\u escape");
                if (cp >= 0xD800 && cp <= 0xDBFF)
                {
                    unsigned long low;
                    if (!literal("\\u"))
                        return fail("a high surrogate must be followed by a low surrogate");
                    if (!hex4(low))
                        return false;
                    if (low < 0xDC00 || low > 0xDFFF)
                        return fail("a high surrogate must be followed by a low surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                --_pos;
                return fail(std::string("unknown escape \\") + e);
            }
        }
    }

    bool number(Json& out)
    {
        out.kind = Json::Number;
        const std::size_t start = _pos;
        const auto digit = [&] { return _pos < _text.size() && _text[_pos] >= '0' && _text[_pos] <= '9'; };
        if (_text[_pos] == '-')
            ++_pos;
        if (!digit())
            return fail("expected a digit");
        if (_text[_pos] == '0')
            ++_pos;
        else
            while (digit())
                ++_pos;
        if (_pos < _text.size() && _text[_pos] == '.')
        {
            ++_pos;
            if (!digit())
                return fail("expected a digit after the decimal point");
            while (digit())
                ++_pos;
        }
        if (_pos < _text.size() && (_text[_pos] == 'e' || _text[_pos] == 'E'))
        {
            ++_pos;
            if (_pos < _text.size() && (_text[_pos] == '+' || _text[_pos] == '-'))
                ++_pos;
            if (!digit())
                return fail("expected a digit in the exponent");
            while (digit())
                ++_pos;
        }
        out.text = _text.substr(start, _pos - start);
        return true;
    }

    const std::string& _text;
    std::size_t _pos = 0;
    std::string _error;
};

// Turns the parsed document into message values; fails with a sentence naming the key.
class Reader
{
public:
    explicit Reader(const Parser& parser) : _parser(parser) {}

    bool read(const Json& root, oxMessage& msg)
    {
        if (root.kind != Json::Object)
            return fail(root, "the file must hold a JSON object");
        for (const auto& m : root.members)
            if (m.first != "format" && m.first != "version" && m.first != "values")
                return fail(m.second, "unexpected member " + quoted(m.first) +
                                          " (a project has \"format\", \"version\" and \"values\")");
        if (const Json* format = root.member("format"))
            if (format->kind != Json::String || format->text != FormatName)
                return fail(*format,
                            "this is not an oxhost project (\"format\" must be \"" + std::string(FormatName) + "\")");
        if (const Json* version = root.member("version"))
            if (version->kind != Json::Number || version->text != std::to_string(FormatVersion))
                return fail(*version, "this oxhost reads project version " + std::to_string(FormatVersion) + " only");
        const Json* values = root.member("values");
        if (!values)
            return fail(root, "the project has no \"values\"");
        if (values->kind != Json::Object)
            return fail(*values, "\"values\" must be an object of keys");
        // Far more than any project holds; messages look keys up one by one.
        if (values->members.size() > oxProjectFile::MaxKeys)
            return fail(*values, "the project has more than " + std::to_string(oxProjectFile::MaxKeys) + " keys");

        for (const auto& entry : values->members)
        {
            boost::any value;
            if (!readEntry(entry.first, entry.second, value))
                return false;
            msg.set(entry.first, value, true);
        }
        return true;
    }

    const std::string& error() const { return _error; }

private:
    bool fail(const Json& at, const std::string& what)
    {
        _error = _parser.where(at.offset, false) + ": " + what;
        return false;
    }

    bool readEntry(const std::string& key, const Json& entry, boost::any& out)
    {
        const std::string forKey = " for key " + quoted(key);
        if (entry.kind != Json::Object)
            return fail(entry, "expected {\"type\": ..., \"value\": ...}" + forKey);
        for (const auto& m : entry.members)
            if (m.first != "type" && m.first != "value")
                return fail(m.second, "unexpected member " + quoted(m.first) + forKey);
        const Json* type = entry.member("type");
        const Json* value = entry.member("value");
        if (!type)
            return fail(entry, "missing \"type\"" + forKey);
        if (type->kind != Json::String)
            return fail(*type, "\"type\" must be a string" + forKey);
        if (!value)
            return fail(entry, "missing \"value\"" + forKey);

        if (type->text == "bool")
        {
            if (value->kind != Json::Bool)
                return fail(*value, "expected true or false" + forKey);
            out = value->boolean;
            return true;
        }
        if (type->text == "unsigned")
        {
            unsigned int u;
            if (!readUnsigned(*value, u))
                return fail(*value, "expected a whole number from 0 to 4294967295" + forKey);
            out = u;
            return true;
        }
        if (type->text == "float")
        {
            float f;
            if (!readFloat(*value, forKey, f))
                return false;
            out = f;
            return true;
        }
        if (type->text == "vec3f")
        {
            if (value->kind != Json::Array || value->elements.size() != 3)
                return fail(*value, "expected a list of three numbers" + forKey);
            osg::Vec3f v;
            for (int i = 0; i < 3; ++i)
                if (!readFloat(value->elements[std::size_t(i)], forKey, v[i]))
                    return false;
            out = v;
            return true;
        }
        return fail(*type,
                    "unknown type " + quoted(type->text) + forKey + " (the types are bool, unsigned, float and vec3f)");
    }

    static bool readUnsigned(const Json& value, unsigned int& out)
    {
        // Whole numbers only: "16.0" or "1e1" would hide a typing mistake.
        if (value.kind != Json::Number || value.text.find_first_not_of("0123456789") != std::string::npos)
            return false;
        unsigned long long n = 0;
        const char* end = value.text.data() + value.text.size();
        const auto result = std::from_chars(value.text.data(), end, n);
        if (result.ec != std::errc() || result.ptr != end || n > UINT_MAX)
            return false;
        out = static_cast<unsigned int>(n);
        return true;
    }

    bool readFloat(const Json& value, const std::string& forKey, float& out)
    {
        if (value.kind == Json::String)
        {
            if (value.text == "nan")
                out = std::numeric_limits<float>::quiet_NaN();
            else if (value.text == "inf")
                out = std::numeric_limits<float>::infinity();
            else if (value.text == "-inf")
                out = -std::numeric_limits<float>::infinity();
            else
                return fail(value, "expected a number or \"nan\", \"inf\", \"-inf\"" + forKey);
            return true;
        }
        if (value.kind != Json::Number)
            return fail(value, "expected a number" + forKey);
        const char* end = value.text.data() + value.text.size();
        const auto result = std::from_chars(value.text.data(), end, out);
        if (result.ec == std::errc::result_out_of_range)
            return fail(value, "the number " + value.text + " is out of the range of a float" + forKey);
        if (result.ec != std::errc() || result.ptr != end)
            return fail(value, "expected a number" + forKey);
        return true;
    }

    const Parser& _parser;
    std::string _error;
};

bool jsonString(const std::string& s, std::string& out)
{
    if (!isUtf8(s))
        return false;
    out += '"';
    for (const char ch : s)
    {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20)
            {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            }
            else
                out += ch;
        }
    }
    out += '"';
    return true;
}

std::string systemError(int error)
{
    return std::strerror(error);
}

// Reads at most MaxFileSize bytes; false with errno's sentence otherwise.
bool readFile(const std::string& path, std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        error = systemError(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        error = systemError(errno);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode))
    {
        error = "it is a directory";
        ::close(fd);
        return false;
    }
    char buffer[65536];
    for (;;)
    {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            error = systemError(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        if (text.size() + std::size_t(n) > oxProjectFile::MaxFileSize)
        {
            error = "the file is larger than " + std::to_string(oxProjectFile::MaxFileSize >> 20) + " MiB";
            ::close(fd);
            return false;
        }
        text.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size())
    {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes a temporary file beside the target, flushes it to the disk and renames it over the
// target, so a reader sees either the old file or the whole new one.
// Not QSaveFile: Qt 5's commit renames even when the sync to disk fails, never syncs the
// directory, drops the set-id and sticky bits, and reports a folder as "Unknown error".
bool replaceFile(const std::string& requested, const std::string& text, std::string& error)
{
    // Saving through a symbolic link replaces the file it points to, not the link.
    std::string path = requested;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        if (char* resolved = ::realpath(path.c_str(), nullptr))
        {
            path = resolved;
            std::free(resolved);
        }
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode();

    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".saving-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
    {
        error = systemError(errno);
        return false;
    }
    temp = name.data();
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0)
    {
        error = systemError(!written ? writeError : errno);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
    {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
} // namespace

std::string oxProjectFile::floatText(float value)
{
    if (std::isnan(value))
        return "\"nan\"";
    if (std::isinf(value))
        return value > 0 ? "\"inf\"" : "\"-inf\"";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool oxProjectFile::parse(const std::string& text, const std::string& name, oxMessage& msg, std::string& error)
{
    const std::string prefix = "cannot read project " + quoted(name) + ": ";
    Parser parser(text);
    Json root;
    if (!parser.parse(root))
    {
        error = prefix + parser.error();
        return false;
    }
    // Into a copy first, so a bad value late in the file leaves msg as it was.
    oxMessage values(msg.id());
    Reader reader(parser);
    if (!reader.read(root, values))
    {
        error = prefix + reader.error();
        return false;
    }
    msg = values;
    return true;
}

bool oxProjectFile::format(const oxMessage& msg, const std::string& name, std::string& text, std::string& error)
{
    const std::string prefix = "cannot save project " + quoted(name) + ": ";
    std::string out = "{\n  \"format\": \"" + std::string(FormatName) +
                      "\",\n  \"version\": " + std::to_string(FormatVersion) + ",\n  \"values\": {";
    bool first = true;
    for (const auto& entry : msg.values())
    {
        out += first ? "\n    " : ",\n    ";
        first = false;
        if (!jsonString(entry.first, out))
        {
            error = prefix + "the key " + quoted(entry.first) + " is not valid UTF-8 text";
            return false;
        }
        const boost::any& value = entry.second;
        if (value.type() == typeid(bool))
            out += std::string(": {\"type\": \"bool\", \"value\": ") +
                   (boost::any_cast<bool>(value) ? "true" : "false") + "}";
        else if (value.type() == typeid(unsigned int))
            out +=
                ": {\"type\": \"unsigned\", \"value\": " + std::to_string(boost::any_cast<unsigned int>(value)) + "}";
        else if (value.type() == typeid(float))
            out += ": {\"type\": \"float\", \"value\": " + floatText(boost::any_cast<float>(value)) + "}";
        else if (value.type() == typeid(osg::Vec3f))
        {
            const osg::Vec3f v = boost::any_cast<osg::Vec3f>(value);
            out += ": {\"type\": \"vec3f\", \"value\": [" + floatText(v[0]) + ", " + floatText(v[1]) + ", " +
                   floatText(v[2]) + "]}";
        }
        else
        {
            error = prefix + "the key " + quoted(entry.first) + " holds a value of type " +
                    (value.empty() ? std::string("none") : boost::core::demangle(value.type().name())) +
                    ", which project files cannot store (they store bool, unsigned, float and vec3f)";
            return false;
        }
    }
    out += first ? "}\n}\n" : "\n  }\n}\n";
    text.swap(out);
    return true;
}

bool oxProjectFile::read(const std::string& path, oxMessage& msg, std::string& error)
{
    std::string text, why;
    if (!readFile(path, text, why))
    {
        error = "cannot read project " + quoted(path) + ": " + why;
        return false;
    }
    return parse(text, path, msg, error);
}

bool oxProjectFile::write(const std::string& path, const oxMessage& msg, std::string& error)
{
    std::string text, why;
    if (!format(msg, path, text, error))
        return false;
    if (path.empty() || path.back() == '/')
    {
        error = "cannot save project " + quoted(path) + ": the path names no file";
        return false;
    }
    if (!replaceFile(path, text, why))
    {
        error = "cannot save project " + quoted(path) + ": " + why;
        return false;
    }
    return true;
}
