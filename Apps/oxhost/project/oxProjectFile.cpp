#include "oxProjectFile.h"

#include "OSGVector.h"
#include "oxAtomicFile.h"
#include "oxHostFile.h"
#include "oxMessage.h"
#include "oxRenderUtil.h"

#include <boost/core/demangle.hpp>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

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

using oxRenderUtil::quoted;

// "line 3" for an offset into text; the column too where a character is at fault.
std::string where(const std::string& text, std::size_t offset, bool withColumn)
{
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n')
        {
            ++line;
            lineStart = i + 1;
        }
    std::string s = "line " + std::to_string(line);
    if (withColumn)
        s += ", column " + std::to_string(offset - lineStart + 1);
    return s;
}

// Builds the Json tree from RapidJSON's events. The reader's offset is just past each value, on
// the value's own line (strings and numbers hold no line breaks; a bracket is one character).
// Refuses what RapidJSON accepts but a project must not hold: a name twice, deep nesting.
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder>
{
public:
    TreeBuilder(const std::string& text, const rapidjson::MemoryStream& stream, Json& root)
        : _text(text), _stream(stream), _root(root)
    {
    }

    bool Null() { return add(Json::Null) != nullptr; }
    bool Bool(bool b)
    {
        Json* value = add(Json::Bool);
        return value && (value->boolean = b, true);
    }
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) { return addText(Json::Number, s, n); }
    bool String(const char* s, rapidjson::SizeType n, bool) { return addText(Json::String, s, n); }
    bool StartObject() { return open(Json::Object); }
    bool StartArray() { return open(Json::Array); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    bool Key(const char* s, rapidjson::SizeType n, bool)
    {
        std::string key(s, n);
        if (!checkText(key))
            return false;
        if (!_names.back().insert(key).second)
            return fail(keyStart(), "the name " + quoted(key) + " appears twice");
        _open.back()->members.emplace_back(std::move(key), Json());
        return true;
    }

    const std::string& error() const { return _error; }
    std::size_t errorOffset() const { return _errorOffset; }
    const std::string& lastKey() const
    {
        const bool inObject = !_open.empty() && !_open.back()->members.empty();
        return inObject ? _open.back()->members.back().first : _noKey;
    }

private:
    bool fail(std::size_t offset, const std::string& what)
    {
        _error = what;
        _errorOffset = offset;
        return false;
    }

    // The key's opening quote: the nearest quote before the closing one that is not escaped.
    std::size_t keyStart() const
    {
        std::size_t i = _stream.Tell() - 1;
        while (i > 0)
        {
            --i;
            std::size_t slashes = 0;
            while (i > slashes && _text[i - 1 - slashes] == '\\')
                ++slashes;
            if (_text[i] == '"' && slashes % 2 == 0)
                return i;
        }
        return 0;
    }

    // RapidJSON turns a lone low surrogate escape into its three UTF-8 bytes; no real text has them.
    bool checkText(const std::string& s)
    {
        for (std::size_t i = 0; i + 1 < s.size(); ++i)
            if (static_cast<unsigned char>(s[i]) == 0xED && static_cast<unsigned char>(s[i + 1]) >= 0xA0)
                return fail(_stream.Tell() - 1, "a lone low surrogate in a \\u escape");
        return true;
    }

    Json* add(Json::Kind kind)
    {
        if (_open.size() > std::size_t(MaxDepth))
        {
            fail(_stream.Tell() - 1, "the values are nested too deeply");
            return nullptr;
        }
        Json* value = &_root;
        if (!_open.empty())
        {
            Json& parent = *_open.back();
            if (parent.kind == Json::Array)
            {
                parent.elements.emplace_back();
                value = &parent.elements.back();
            }
            else
                value = &parent.members.back().second;
        }
        value->kind = kind;
        value->offset = _stream.Tell() - 1;
        return value;
    }

    bool addText(Json::Kind kind, const char* s, rapidjson::SizeType n)
    {
        Json* value = add(kind);
        if (!value)
            return false;
        value->text.assign(s, n);
        return kind != Json::String || checkText(value->text);
    }

    bool open(Json::Kind kind)
    {
        Json* value = add(kind);
        if (!value)
            return false;
        _open.push_back(value);
        _names.emplace_back();
        return true;
    }

    bool close()
    {
        _open.pop_back();
        _names.pop_back();
        return true;
    }

    const std::string& _text;
    const rapidjson::MemoryStream& _stream;
    Json& _root;
    std::vector<Json*> _open;                            // the objects and arrays being read, innermost last
    std::vector<std::unordered_set<std::string>> _names; // the names seen in each of them
    std::string _error;
    std::size_t _errorOffset = 0;
    const std::string _noKey;
};

// RapidJSON's syntax errors as sentences; offset is where the column points.
std::string syntaxError(const std::string& text, rapidjson::ParseErrorCode code, std::size_t& offset,
                        const std::string& lastKey)
{
    const bool atEnd = offset >= text.size();
    switch (code)
    {
    case rapidjson::kParseErrorDocumentEmpty:
        return atEnd ? "the file is empty" : "expected a value";
    case rapidjson::kParseErrorDocumentRootNotSingular:
        return "unexpected text after the end of the project";
    case rapidjson::kParseErrorValueInvalid:
        return atEnd ? "the file ends where a value should be" : "expected a value";
    case rapidjson::kParseErrorObjectMissName:
        return "expected a quoted name";
    case rapidjson::kParseErrorObjectMissColon:
        return "expected ':' after the name " + quoted(lastKey);
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
        return "expected ',' or '}'";
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
        return "expected ',' or ']'";
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
        return "expected four hexadecimal digits after \\u";
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
        return "a high surrogate must be followed by a low surrogate";
    case rapidjson::kParseErrorStringEscapeInvalid:
        if (offset >= text.size() || text[offset] != '\\')
            return "a control character in a string must be written as an escape";
        ++offset; // at the letter after the backslash
        return offset >= text.size() ? "the file ends inside an escape"
                                     : std::string("unknown escape \\") + text[offset];
    case rapidjson::kParseErrorStringMissQuotationMark:
        return atEnd ? "the file ends inside a string" : "a control character in a string must be written as an escape";
    case rapidjson::kParseErrorStringInvalidEncoding:
        return "the text is not valid UTF-8";
    case rapidjson::kParseErrorNumberTooBig:
        return "the number is out of the range of a float";
    case rapidjson::kParseErrorNumberMissFraction:
        return "expected a digit after the decimal point";
    case rapidjson::kParseErrorNumberMissExponent:
        return "expected a digit in the exponent";
    default:
        return rapidjson::GetParseError_En(code);
    }
}

// Parses text strictly (RFC 8259, UTF-8 checked, numbers kept as written); error is
// "line 3, column 9: what".
bool parseJson(const std::string& text, Json& root, std::string& error)
{
    // A byte order mark is not JSON, but editors write one.
    const std::size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    rapidjson::MemoryStream stream(text.data(), text.size());
    for (std::size_t i = 0; i < bom; ++i)
        stream.Take();
    TreeBuilder builder(text, stream, root);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag>(stream, builder);
    std::size_t offset = result.Offset();
    std::string what;
    if (result.Code() == rapidjson::kParseErrorTermination)
    {
        offset = builder.errorOffset();
        what = builder.error();
    }
    else if (result.IsError())
        what = syntaxError(text, result.Code(), offset, builder.lastKey());
    // The stream reads a NUL byte as the end of the text.
    else if (stream.Tell() != text.size())
    {
        offset = stream.Tell();
        what = "unexpected text after the end of the project";
    }
    if (what.empty())
        return true;
    error = where(text, offset, true) + ": " + what;
    return false;
}

// Turns the parsed document into message values; fails with a sentence naming the key.
class Reader
{
public:
    explicit Reader(const std::string& text) : _text(text) {}

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
        _error = where(_text, at.offset, false) + ": " + what;
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
        if (type->text == "string")
        {
            if (value->kind != Json::String)
                return fail(*value, "expected a text in quotes" + forKey);
            out = value->text;
            return true;
        }
        return fail(*type, "unknown type " + quoted(type->text) + forKey +
                               " (the types are bool, unsigned, float, vec3f and string)");
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

    const std::string& _text;
    std::string _error;
};

// Appends s as a JSON string; false when it is not valid UTF-8.
bool jsonString(const std::string& s, std::string& out)
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator,
                      rapidjson::kWriteValidateEncodingFlag>
        writer(buffer);
    if (!writer.String(s.data(), rapidjson::SizeType(s.size())))
        return false;
    out.append(buffer.GetString(), buffer.GetSize());
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
    Json root;
    std::string why;
    if (!parseJson(text, root, why))
    {
        error = prefix + why;
        return false;
    }
    // Into a copy first, so a bad value late in the file leaves msg as it was.
    oxMessage values(msg.id());
    Reader reader(text);
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
        else if (value.type() == typeid(std::string))
        {
            out += ": {\"type\": \"string\", \"value\": ";
            if (!jsonString(boost::any_cast<const std::string&>(value), out))
            {
                error = prefix + "the value of key " + quoted(entry.first) + " is not valid UTF-8 text";
                return false;
            }
            out += "}";
        }
        else
        {
            error = prefix + "the key " + quoted(entry.first) + " holds a value of type " +
                    (value.empty() ? std::string("none") : boost::core::demangle(value.type().name())) +
                    ", which project files cannot store (they store bool, unsigned, float, vec3f and string)";
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
    oxHostFile::ReadOptions options;
    options.maxSize = MaxFileSize;
    if (!oxHostFile::read(path, text, why, options))
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
    if (!oxAtomicFile::save(path, text, why))
    {
        error = "cannot save project " + quoted(path) + ": " + why;
        return false;
    }
    return true;
}
