#include "oxCheck.h"

#include "oxHostAnalysisSettings.h"
#include "oxRenderUtil.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <QFile>

#include <cmath>
#include <cstring>
#include <map>

namespace
{
struct Row
{
    oxCheckCriterionInfo info;
    oxCheckProfile::Rule standard, classA;
};

const std::array<Row, oxCheckCriteria::Count>& rows()
{
    typedef oxCheckSeverity S;
    static const std::array<Row, oxCheckCriteria::Count> table = {{
#define OX_CHECK_ROW(code, unit, t, s, at, as, text)                                                                   \
    {{oxCheckCriterion::code, #code, oxCheckUnit::unit, text}, {t, S::s}, {at, S::as}},
        OX_CHECK_CRITERIA(OX_CHECK_ROW)
#undef OX_CHECK_ROW
    }};
    return table;
}

// One column of the table as a profile.
oxCheckProfile fromTable(const char* name, oxCheckProfile::Rule Row::*column)
{
    oxCheckProfile p;
    p.name = name;
    for (size_t i = 0; i < oxCheckCriteria::Count; ++i)
        p.rules[i] = rows()[i].*column;
    return p;
}

const char* const severityNames[] = {"off", "warning", "error"};

// "line 3" for an offset into text.
std::string lineAt(const std::string& text, size_t offset)
{
    size_t line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        line += text[i] == '\n';
    return "line " + std::to_string(line);
}

// The rules a file changes, and how many findings it keeps; applied to its base once read.
struct ProfileFile
{
    std::string name, base = "default";
    double findings = -1;
    std::map<size_t, double> thresholds;
    std::map<size_t, oxCheckSeverity> severities;
};

// Reads the file's events as they come, so that a wrong key or value is known with its offset.
class ProfileReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ProfileReader>
{
public:
    explicit ProfileReader(ProfileFile& out) : _out(out) {}

    std::string error;

    bool StartObject()
    {
        if (++_depth == 2 && _key[0] != "criteria")
            return fail("\"" + _key[0] + "\" takes a value, not an object");
        if (_depth == 3 || _depth == 2 || _depth == 1)
            return true;
        return fail("a criterion's rule holds values, not objects");
    }
    bool EndObject(rapidjson::SizeType)
    {
        --_depth;
        return true;
    }
    bool StartArray() { return fail("a list is not expected here"); }
    bool Key(const char* s, rapidjson::SizeType n, bool);
    bool String(const char* s, rapidjson::SizeType n, bool);
    bool Double(double d) { return number(d); }
    bool Int(int i) { return number(i); }
    bool Uint(unsigned u) { return number(u); }
    bool Int64(int64_t i) { return number(double(i)); }
    bool Uint64(uint64_t u) { return number(double(u)); }
    bool Default() { return !alone() && fail("\"" + _key[size_t(_depth - 1)] + "\" needs " + needs()); }

    size_t offset = 0; // where the event being read ends; the parser sets it before each

private:
    bool fail(const std::string& why)
    {
        error = why;
        return false;
    }
    // JSON allows a lone value as the whole text, which has no key to name: true, with the error, for one.
    bool alone()
    {
        if (_depth == 0)
            error = "a profile is an object of keys, not a lone value";
        return _depth == 0;
    }
    bool number(double d);
    // What the key being read takes, for messages.
    std::string needs() const;

    ProfileFile& _out;
    int _depth = 0;
    std::string _key[3];
    size_t _criterion = 0;
};

bool ProfileReader::Key(const char* s, rapidjson::SizeType n, bool)
{
    const std::string key(s, n);
    _key[size_t(_depth - 1)] = key;
    if (_depth == 1 && key != "name" && key != "base" && key != "findingsPerCriterion" && key != "criteria")
        return fail("unknown key \"" + key + "\" (name, base, findingsPerCriterion, criteria)");
    if (_depth == 2)
    {
        oxCheckCriterion c;
        if (!oxCheckCriteria::byCode(key, c))
            return fail("unknown criterion \"" + key + "\"");
        _criterion = size_t(c);
    }
    if (_depth == 3 && key != "threshold" && key != "severity")
        return fail("unknown key \"" + key + "\" in " + _key[1] + " (threshold, severity)");
    return true;
}

std::string ProfileReader::needs() const
{
    const std::string& key = _key[size_t(_depth - 1)];
    if (_depth == 1)
        return key == "findingsPerCriterion" ? "a whole number from 1 to 100000"
               : key == "criteria"           ? "an object of criteria by code"
               : key == "base"               ? "\"default\" or \"class-a\""
                                             : "a text";
    if (_depth == 2)
        return "an object with threshold and severity";
    if (key == "severity")
        return "\"error\", \"warning\" or \"off\"";
    const oxCheckUnit unit = oxCheckCriteria::all()[_criterion].unit;
    return unit == oxCheckUnit::Count   ? "a whole number at least 0"
           : unit == oxCheckUnit::Angle ? "a number of degrees from 0 to 90"
                                        : "a number at least 0";
}

bool ProfileReader::number(double d)
{
    if (alone())
        return false;
    const std::string& key = _key[size_t(_depth - 1)];
    const std::string why = "\"" + key + "\" needs " + needs() + ", not " + oxSettingDomain::number(d);
    if (_depth == 1 && key == "findingsPerCriterion")
    {
        if (!(d >= 1 && d <= 100000 && d == std::floor(d)))
            return fail(why);
        _out.findings = d;
        return true;
    }
    if (_depth != 3 || key != "threshold")
        return fail(why);
    const oxCheckUnit unit = oxCheckCriteria::all()[_criterion].unit;
    const bool whole = unit != oxCheckUnit::Count || d == std::floor(d);
    if (!(d >= 0) || !std::isfinite(d) || !whole || (unit == oxCheckUnit::Angle && d > 90))
        return fail(why);
    _out.thresholds[_criterion] = d;
    return true;
}

bool ProfileReader::String(const char* s, rapidjson::SizeType n, bool)
{
    if (alone())
        return false;
    const std::string value(s, n);
    const std::string& key = _key[size_t(_depth - 1)];
    const std::string why = "\"" + key + "\" needs " + needs() + ", not \"" + value + "\"";
    if (_depth == 1 && key == "name")
        _out.name = value;
    else if (_depth == 1 && key == "base" && (value == "default" || value == "class-a"))
        _out.base = value;
    else if (_depth == 3 && key == "severity")
    {
        oxCheckSeverity severity;
        if (!oxCheckCriteria::severityNamed(value, severity))
            return fail(why);
        _out.severities[_criterion] = severity;
    }
    else
        return fail(why);
    return true;
}

// A stream that tells the reader's handler where it is, so that a refusal names its line.
struct TellingStream : rapidjson::MemoryStream
{
    TellingStream(const std::string& text, ProfileReader& reader)
        : rapidjson::MemoryStream(text.data(), text.size()), handler(reader)
    {
    }
    Ch Take()
    {
        handler.offset = Tell();
        return rapidjson::MemoryStream::Take();
    }
    ProfileReader& handler;
};
} // namespace

const std::array<oxCheckCriterionInfo, oxCheckCriteria::Count>& oxCheckCriteria::all()
{
    static const std::array<oxCheckCriterionInfo, Count> infos = []
    {
        std::array<oxCheckCriterionInfo, Count> out;
        for (size_t i = 0; i < Count; ++i)
            out[i] = rows()[i].info;
        return out;
    }();
    return infos;
}

const oxCheckCriterionInfo& oxCheckCriteria::info(oxCheckCriterion c)
{
    return all()[size_t(c)];
}

bool oxCheckCriteria::byCode(const std::string& code, oxCheckCriterion& out)
{
    for (const oxCheckCriterionInfo& i : all())
        if (code == i.code)
        {
            out = i.criterion;
            return true;
        }
    return false;
}

const char* oxCheckCriteria::severityName(oxCheckSeverity s)
{
    return severityNames[size_t(s)];
}

bool oxCheckCriteria::severityNamed(const std::string& name, oxCheckSeverity& out)
{
    for (size_t i = 0; i < 3; ++i)
        if (name == severityNames[i])
        {
            out = oxCheckSeverity(i);
            return true;
        }
    return false;
}

const char* oxCheckCriteria::unitText(oxCheckUnit unit)
{
    switch (unit)
    {
    case oxCheckUnit::Length:
        return " mm";
    case oxCheckUnit::Angle:
        return " degrees";
    case oxCheckUnit::Percent:
        return " %";
    default:
        return "";
    }
}

bool oxCheckCriteria::onMeshes(oxCheckCriterion c)
{
    return std::strncmp(info(c).code, "MESH_", 5) == 0;
}

oxCheckProfile oxCheckProfile::standard()
{
    return fromTable("default", &Row::standard);
}

oxCheckProfile oxCheckProfile::classA()
{
    return fromTable("class-a", &Row::classA);
}

std::vector<std::string> oxCheckProfile::names()
{
    return {"default", "class-a"};
}

bool oxCheckProfile::parse(const std::string& text, const std::string& file, oxCheckProfile& out, std::string& error)
{
    ProfileFile values;
    ProfileReader handler(values);
    TellingStream stream(text, handler);
    rapidjson::Reader reader;
    const rapidjson::ParseResult ok = reader.Parse(stream, handler);
    if (!ok)
    {
        const bool ours = ok.Code() == rapidjson::kParseErrorTermination;
        const std::string why = ours ? handler.error : rapidjson::GetParseError_En(ok.Code());
        error = "cannot read check profile " + oxRenderUtil::quoted(file) + ": " +
                lineAt(text, ours ? handler.offset : ok.Offset()) + ": " + why;
        return false;
    }
    oxCheckProfile p = values.base == "class-a" ? classA() : standard();
    p.name = values.name.empty() ? file : values.name;
    if (values.findings > 0)
        p.findingsPerCriterion = size_t(values.findings);
    for (const auto& t : values.thresholds)
        p.rules[t.first].threshold = t.second;
    for (const auto& s : values.severities)
        p.rules[s.first].severity = s.second;
    out = p;
    return true;
}

bool oxCheckProfile::find(const std::string& nameOrPath, oxCheckProfile& out, std::string& error)
{
    if (nameOrPath == "default" || nameOrPath.empty())
        out = standard();
    else if (nameOrPath == "class-a")
        out = classA();
    else
    {
        QFile file(QString::fromStdString(nameOrPath));
        if (!file.open(QIODevice::ReadOnly))
        {
            error = "cannot read check profile " + oxRenderUtil::quoted(nameOrPath) + ": " +
                    file.errorString().toStdString() + " (a profile is default, class-a or a JSON file)";
            return false;
        }
        return parse(file.readAll().toStdString(), nameOrPath, out, error);
    }
    return true;
}
