#include "oxHostCheckOutputs.h"
#include "oxHostResultJson.h"

#include "oxAtomicFile.h"
#include "oxHostCheck.h"
#include "oxHostCheckCommand.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamWriter>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <cstring>
#include <array>
#include <set>

#ifndef OXHOST_VERSION
#define OXHOST_VERSION "unknown"
#endif

namespace
{
typedef oxHostCheckOutputs::Part Part;
typedef rapidjson::PrettyWriter<rapidjson::StringBuffer> JsonWriter;
const char* const Suffix = ".check.json";
const oxCheckResult::Verdict Verdicts[] = {oxCheckResult::Pass, oxCheckResult::Warning, oxCheckResult::Fail,
                                           oxCheckResult::Error};

// ----- reading a part's JSON

// The JSON value as the field's format reads it; false when it is of another type.
bool jsonValue(const rapidjson::Value& v, oxResultFormat format, oxResultValue& out)
{
    if (format == oxResultFormat::Text && v.IsString())
        out = oxResultValue(v.GetString());
    else if (format == oxResultFormat::Count && v.IsUint64())
        out = oxResultValue(size_t(v.GetUint64()));
    else if (format != oxResultFormat::Text && format != oxResultFormat::Count && v.IsNumber())
        out = oxResultValue(v.GetDouble());
    else
        return false;
    return true;
}

// The fields of the table that object holds, read into r; why not, or "". Other keys are left alone.
template <typename R>
std::string readFields(const rapidjson::Value& object, const std::vector<oxResultField<R>>& fields, R& r,
                       const std::string& where)
{
    if (!object.IsObject())
        return where + "is not an object";
    for (const oxResultField<R>& f : fields)
    {
        const auto member = object.FindMember(f.key);
        if (member == object.MemberEnd())
            return where + "has no \"" + f.key + "\"";
        oxResultValue value(0.0);
        if (!jsonValue(member->value, f.format, value))
            return where + "\"" + f.key + "\" is not " +
                   (f.format == oxResultFormat::Text    ? "a text"
                    : f.format == oxResultFormat::Count ? "a whole number"
                                                        : "a number");
        if (!f.read(r, value))
            return where + "\"" + f.key + "\" has an unknown value \"" + value.text + "\"";
    }
    return std::string();
}

std::string readCounts(const rapidjson::Value& counts, oxCheckResult& r)
{
    if (!counts.IsObject())
        return "\"counts\" is not an object";
    for (const auto& m : counts.GetObject())
    {
        oxCheckCriterion c;
        if (!oxCheckCriteria::byCode(m.name.GetString(), c))
            return "\"counts\" names an unknown criterion \"" + std::string(m.name.GetString()) + "\"";
        if (!m.value.IsUint64())
            return "\"counts\" of " + std::string(m.name.GetString()) + " is not a whole number";
        r.counts[size_t(c)] = size_t(m.value.GetUint64());
    }
    return std::string();
}

std::string readDocument(const rapidjson::Document& doc, oxCheckResult& r)
{
    if (!doc.IsObject() || !doc.HasMember("schema") || !doc["schema"].IsString() ||
        std::string(doc["schema"].GetString()) != "oxhost-check")
        return "not a part's check result (schema \"oxhost-check\")";
    if (!doc.HasMember("version") || !doc["version"].IsInt() || doc["version"].GetInt() < 1)
        return "\"version\" is not a whole number from 1";
    if (doc["version"].GetInt() > oxHostCheck::JsonVersion)
        return "version " + std::to_string(doc["version"].GetInt()) + " is newer than this oxhost reads (" +
               std::to_string(oxHostCheck::JsonVersion) + ")";
    std::string why = readFields(doc, oxHostCheck::resultFields(), r, "");
    if (why.empty())
        why = doc.HasMember("counts") ? readCounts(doc["counts"], r) : "has no \"counts\"";
    if (!why.empty())
        return why;
    if (!doc.HasMember("findings") || !doc["findings"].IsArray())
        return "\"findings\" is not a list";
    for (const rapidjson::Value& f : doc["findings"].GetArray())
    {
        oxCheckFinding finding;
        why = readFields(f, oxHostCheck::findingFields(), finding,
                         "finding " + std::to_string(r.findings.size() + 1) + " ");
        if (!why.empty())
            return why;
        r.findings.push_back(finding);
    }
    return std::string();
}

// ----- what the outputs share

// The part as people know it: its source file, or its JSON's name when that could not be read.
std::string partName(const Part& part)
{
    return part.result.source.empty() ? part.json : part.result.source;
}

oxCheckResult::Verdict worst(const std::vector<Part>& parts)
{
    oxCheckResult::Verdict v = oxCheckResult::Pass;
    for (const Part& p : parts)
        v = std::max(v, p.result.verdict);
    return v;
}

// The parts' profile; the names joined by ", " when they differ.
std::string profiles(const std::vector<Part>& parts)
{
    std::string names;
    std::set<std::string> seen;
    for (const Part& p : parts)
        if (!p.result.profile.empty() && seen.insert(p.result.profile).second)
            names += (names.empty() ? "" : ", ") + p.result.profile;
    return names;
}

// The findings kept of a criterion (all of them for none) by severity: errors, warnings.
std::array<size_t, 2> severities(const oxCheckResult& r, const oxCheckCriterion* only = nullptr)
{
    std::array<size_t, 2> n{0, 0};
    for (const oxCheckFinding& f : r.findings)
        if (!only || f.criterion == *only)
            n[f.severity == oxCheckSeverity::Error ? 0 : 1] += 1;
    return n;
}

std::string verdictCounts(const std::vector<Part>& parts)
{
    std::string text;
    for (oxCheckResult::Verdict v : Verdicts)
    {
        const auto n = std::count_if(parts.begin(), parts.end(), [v](const Part& p) { return p.result.verdict == v; });
        text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + oxCheckResult::verdictName(v);
    }
    return text;
}

// ----- summary.json

void writeSummaryPart(JsonWriter& w, const Part& p)
{
    w.StartObject();
    w.Key("json");
    w.String(p.json.c_str());
    oxResultFields::writeJson(w, oxHostCheck::resultFields(), p.result);
    const std::array<size_t, 2> kept = severities(p.result);
    w.Key("errors");
    w.Uint64(kept[0]);
    w.Key("warnings");
    w.Uint64(kept[1]);
    w.Key("counts");
    w.StartObject();
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
    {
        w.Key(c.code);
        w.Uint64(p.result.counts[size_t(c.criterion)]);
    }
    w.EndObject();
    w.EndObject();
}

void writeSummaryTotals(JsonWriter& w, const std::vector<Part>& parts)
{
    w.Key("verdicts");
    w.StartObject();
    for (oxCheckResult::Verdict v : Verdicts)
    {
        w.Key(oxCheckResult::verdictName(v));
        w.Uint64(
            size_t(std::count_if(parts.begin(), parts.end(), [v](const Part& p) { return p.result.verdict == v; })));
    }
    w.EndObject();
    w.Key("criteria");
    w.StartObject();
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
    {
        size_t withFindings = 0, findings = 0;
        for (const Part& p : parts)
        {
            const size_t n = p.result.counts[size_t(c.criterion)];
            withFindings += n > 0 ? 1 : 0;
            findings += n;
        }
        w.Key(c.code);
        w.StartObject();
        w.Key("parts");
        w.Uint64(withFindings);
        w.Key("findings");
        w.Uint64(findings);
        w.EndObject();
    }
    w.EndObject();
}

// ----- junit.xml

// XML 1.0 has no place for most control characters, which a file name may hold.
QString xmlText(const std::string& text)
{
    QString s = QString::fromStdString(text);
    for (QChar& c : s)
        if (c.unicode() < 0x20 && c != '\t' && c != '\n' && c != '\r')
            c = QChar::ReplacementCharacter;
    return s;
}

// One testcase: the criterion's findings, errors as a failure and warnings as output, which
// dashboards show without failing the part.
void writeTestcase(QXmlStreamWriter& x, const Part& p, const oxCheckCriterionInfo& c)
{
    x.writeStartElement("testcase");
    x.writeAttribute("name", c.code);
    x.writeAttribute("classname", xmlText(partName(p)));
    const std::array<size_t, 2> kept = severities(p.result, &c.criterion);
    std::string lines;
    for (const oxCheckFinding& f : p.result.findings)
        if (f.criterion == c.criterion)
            lines += f.message + " (" + oxCheckCriteria::severityName(f.severity) + ")\n";
    const size_t count = p.result.counts[size_t(c.criterion)];
    const std::string what = std::to_string(count) + " " + (count == 1 ? "finding" : "findings") + ", " +
                             std::to_string(kept[0] + kept[1]) + " listed: " + c.description;
    if (kept[0] > 0)
    {
        x.writeStartElement("failure");
        x.writeAttribute("message", xmlText(what));
        x.writeAttribute("type", c.code);
        x.writeCharacters(xmlText(lines));
        x.writeEndElement();
    }
    else if (kept[1] > 0)
        x.writeTextElement("system-out", xmlText("warning: " + what + "\n" + lines));
    else if (p.result.verdict == oxCheckResult::Error)
    {
        // Nothing found on a part that could not be read or checked is no pass.
        x.writeEmptyElement("skipped");
        x.writeAttribute("message", "not checked: the part is in error");
    }
    x.writeEndElement();
}

// A testsuite's counts as writeTestcase and writeTestsuite make its testcases.
struct Tally
{
    size_t tests = 0, failures = 0, errors = 0, skipped = 0;

    void add(const Part& p)
    {
        const bool error = p.result.verdict == oxCheckResult::Error;
        tests += oxCheckCriteria::Count + (error ? 1 : 0);
        errors += error ? 1 : 0;
        for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        {
            const std::array<size_t, 2> kept = severities(p.result, &c.criterion);
            failures += kept[0] > 0 ? 1 : 0;
            skipped += error && kept[0] + kept[1] == 0 ? 1 : 0;
        }
    }
    void write(QXmlStreamWriter& x) const
    {
        x.writeAttribute("tests", QString::number(tests));
        x.writeAttribute("failures", QString::number(failures));
        x.writeAttribute("errors", QString::number(errors));
    }
};

void writeTestsuite(QXmlStreamWriter& x, const Part& p)
{
    const bool error = p.result.verdict == oxCheckResult::Error;
    Tally tally;
    tally.add(p);
    x.writeStartElement("testsuite");
    x.writeAttribute("name", xmlText(partName(p)));
    tally.write(x);
    // The common JUnit schema (Jenkins' junit-10.xsd, which GitLab and GitHub read) counts skipped
    // tests per testsuite only.
    x.writeAttribute("skipped", QString::number(tally.skipped));
    x.writeStartElement("properties");
    for (const auto& property : {std::make_pair("json", p.json), std::make_pair("profile", p.result.profile),
                                 std::make_pair("verdict", std::string(oxCheckResult::verdictName(p.result.verdict)))})
    {
        x.writeEmptyElement("property");
        x.writeAttribute("name", property.first);
        x.writeAttribute("value", xmlText(property.second));
    }
    x.writeEndElement();
    if (error)
    {
        // The part as a whole could not be read or checked: a test of its own, in error.
        x.writeStartElement("testcase");
        x.writeAttribute("name", "check");
        x.writeAttribute("classname", xmlText(partName(p)));
        x.writeStartElement("error");
        x.writeAttribute("message", xmlText(p.result.reason));
        x.writeAttribute("type", "error");
        x.writeEndElement();
        x.writeEndElement();
    }
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        writeTestcase(x, p, c);
    x.writeEndElement();
}

// ----- HTML

QString html(const std::string& text)
{
    return QString::fromStdString(text).toHtmlEscaped();
}

// A file name as a link's target: every character but letters, digits and -._~ percent-encoded.
QString href(const std::string& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(name), "/"));
}

QString htmlHead(const QString& title)
{
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
           "</title>\n<style>\nbody { font-family: sans-serif; margin: 1.5em; }\n"
           "table { border-collapse: collapse; }\n"
           "th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; text-align: left; }\n"
           "td.n { text-align: right; white-space: nowrap; }\n"
           "td.t { min-width: 24em; }\n.pass { background: #dfd; }\n.warning { background: #ffd; }\n"
           ".fail { background: #fdd; }\n.error { background: #ddd; }\n"
           "img { max-width: 100%; border: 1px solid #bbb; }\n</style>\n</head>\n<body>\n";
}

QString verdictCell(oxCheckResult::Verdict v)
{
    const QString name = oxCheckResult::verdictName(v);
    return "<td class=\"" + name + "\">" + name + "</td>";
}

// The criteria with a finding in any part: a product's table would otherwise be mostly columns of
// zeros wider than the page.
std::vector<oxCheckCriterionInfo> criteriaFound(const std::vector<Part>& parts)
{
    std::vector<oxCheckCriterionInfo> found;
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        if (std::any_of(parts.begin(), parts.end(),
                        [&](const Part& p) { return p.result.counts[size_t(c.criterion)] > 0; }))
            found.push_back(c);
    return found;
}

QString indexRow(const Part& p, const std::vector<oxCheckCriterionInfo>& shown)
{
    QString row = "<tr><td><a href=\"" + href(oxHostCheckOutputs::pageName(p)) + "\">" + html(partName(p)) +
                  "</a></td>" + verdictCell(p.result.verdict);
    for (const oxCheckCriterionInfo& c : shown)
        row += "<td class=\"n\">" + QString::number(qulonglong(p.result.counts[size_t(c.criterion)])) + "</td>";
    return row + "<td>" + html(p.result.reason) + "</td></tr>\n";
}

QString findingRow(const oxCheckFinding& finding)
{
    QString row = "<tr>";
    for (const oxResultField<oxCheckFinding>& f : oxHostCheck::findingFields())
        row += QString(f.format != oxResultFormat::Text     ? "<td class=\"n\">"
                       : std::strcmp(f.key, "message") == 0 ? "<td class=\"t\">"
                                                            : "<td>") +
               oxResultFields::reportText(f.format, f.value(finding), f.digits) + "</td>";
    return row + "</tr>\n";
}

bool save(const QDir& dir, const std::string& name, const std::string& text, std::vector<std::string>& errors)
{
    std::string why;
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    if (oxAtomicFile::save(path, text, why))
        return true;
    errors.push_back("cannot write \"" + path + "\": " + why);
    return false;
}
} // namespace

bool oxHostCheckOutputs::readPart(const std::string& path, oxCheckResult& out, std::string& error, std::string* seal)
{
    const std::string where = "cannot read the check result \"" + path + "\": ";
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
    {
        error = where + file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    rapidjson::Document doc;
    doc.Parse(bytes.constData(), size_t(bytes.size()));
    if (doc.HasParseError())
    {
        const size_t offset = std::min(doc.GetErrorOffset(), size_t(bytes.size()));
        const int line = 1 + int(std::count(bytes.constData(), bytes.constData() + offset, '\n'));
        error = where + "line " + std::to_string(line) + ": " + rapidjson::GetParseError_En(doc.GetParseError());
        return false;
    }
    out = oxCheckResult();
    const std::string why = readDocument(doc, out);
    if (seal)
        *seal = doc.IsObject() && doc.HasMember("seal") && doc["seal"].IsString() ? doc["seal"].GetString() : "";
    if (why.empty())
        return true;
    error = where + why;
    return false;
}

std::vector<Part> oxHostCheckOutputs::readFolder(const std::string& dir, std::vector<std::string>& errors)
{
    const QDir folder(QString::fromStdString(dir));
    std::vector<std::string> names;
    for (const QString& name : folder.entryList({QString("*") + Suffix}, QDir::Files))
        names.push_back(name.toStdString());
    // Byte order, the same on every machine and locale.
    std::sort(names.begin(), names.end());
    std::vector<Part> parts;
    for (const std::string& name : names)
    {
        Part p;
        p.json = name;
        std::string error;
        if (!readPart(folder.filePath(QString::fromStdString(name)).toStdString(), p.result, error))
        {
            p.result = oxCheckResult();
            p.result.verdict = oxCheckResult::Error;
            p.result.reason = error;
            errors.push_back(error);
        }
        parts.push_back(std::move(p));
    }
    return parts;
}

int oxHostCheckOutputs::status(const std::vector<Part>& parts)
{
    if (parts.empty())
        return oxHostCheckCommand::NotChecked;
    switch (worst(parts))
    {
    case oxCheckResult::Pass:
    case oxCheckResult::Warning:
        return oxHostCheckCommand::AllPass;
    case oxCheckResult::Fail:
        return oxHostCheckCommand::Failed;
    case oxCheckResult::Error:
        break;
    }
    return oxHostCheckCommand::NotChecked;
}

std::string oxHostCheckOutputs::summary(const std::vector<Part>& parts)
{
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("schema");
    w.String("oxhost-check-summary");
    w.Key("version");
    w.Int(SummaryVersion);
    w.Key("program");
    w.String("oxhost " OXHOST_VERSION);
    w.Key("profile");
    w.String(profiles(parts).c_str());
    w.Key("verdict");
    w.String(parts.empty() ? "error" : oxCheckResult::verdictName(worst(parts)));
    writeSummaryTotals(w, parts);
    w.Key("parts");
    w.StartArray();
    for (const Part& p : parts)
        writeSummaryPart(w, p);
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString()) + "\n";
}

std::string oxHostCheckOutputs::junit(const std::vector<Part>& parts)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter x(&buffer);
    x.setAutoFormatting(true);
    x.setAutoFormattingIndent(2);
    x.writeStartDocument();
    Tally tally;
    for (const Part& p : parts)
        tally.add(p);
    x.writeStartElement("testsuites");
    x.writeAttribute("name", "oxhost check");
    tally.write(x);
    for (const Part& p : parts)
        writeTestsuite(x, p);
    x.writeEndDocument();
    return bytes.toStdString();
}

std::string oxHostCheckOutputs::index(const std::vector<Part>& parts)
{
    const QString verdict = parts.empty() ? "error" : oxCheckResult::verdictName(worst(parts));
    QString text = htmlHead("Data-quality check: " + verdict) + "<h1>Data-quality check: " + verdict + "</h1>\n<p>" +
                   QString::number(parts.size()) + " parts: " + html(verdictCounts(parts)) + ". Profile " +
                   html(profiles(parts)) +
                   ", oxhost " OXHOST_VERSION ". Findings per criterion; criteria that found nothing in any part are "
                   "left out.</p>\n<table>\n<tr><th>Part</th><th>Verdict</th>";
    const std::vector<oxCheckCriterionInfo> shown = criteriaFound(parts);
    for (const oxCheckCriterionInfo& c : shown)
        text += QString("<th title=\"") + html(c.description) + "\">" + c.code + "</th>";
    text += "<th>Reason</th></tr>\n";
    for (const Part& p : parts)
        text += indexRow(p, shown);
    return (text + "</table>\n</body>\n</html>\n").toStdString();
}

std::string oxHostCheckOutputs::page(const Part& part, const std::string& image)
{
    const oxCheckResult& r = part.result;
    QString text = htmlHead(html(partName(part)) + ": " + oxCheckResult::verdictName(r.verdict)) + "<p><a href=\"" +
                   href("index.html") + "\">All parts</a></p>\n<h1>" + html(partName(part)) +
                   "</h1>\n<table>\n<tr><th>Verdict</th>" + verdictCell(r.verdict) + "</tr>\n<tr><th>Profile</th><td>" +
                   html(r.profile) + "</td></tr>\n";
    if (!r.reason.empty())
        text += "<tr><th>Reason</th><td>" + html(r.reason) + "</td></tr>\n";
    text +=
        "<tr><th>Result</th><td><a href=\"" + href(part.json) + "\">" + html(part.json) + "</a></td></tr>\n</table>\n";
    if (!image.empty())
        text += "<p><img src=\"" + href(image) + "\" alt=\"" + html(partName(part)) + "\"></p>\n";
    text += "<h2>Findings</h2>\n<table>\n<tr>";
    for (const oxResultField<oxCheckFinding>& f : oxHostCheck::findingFields())
        text += QString("<th>") + f.key + "</th>";
    text += "</tr>\n";
    for (const oxCheckFinding& f : r.findings)
        text += findingRow(f);
    return (text + "</table>\n</body>\n</html>\n").toStdString();
}

std::string oxHostCheckOutputs::pageName(const Part& part)
{
    return part.json.substr(0, part.json.size() - std::string(Suffix).size()) + ".check.html";
}

std::string oxHostCheckOutputs::imageName(const Part& part)
{
    return part.json.substr(0, part.json.size() - std::string(Suffix).size()) + ".png";
}

bool oxHostCheckOutputs::write(const std::vector<Part>& parts, const std::string& dir, const std::string& outDir,
                               std::vector<std::string>& errors)
{
    const QDir in(QString::fromStdString(dir));
    const QDir out(QString::fromStdString(outDir));
    if (!out.exists() && !QDir().mkpath(out.path()))
    {
        errors.push_back("cannot make the folder \"" + outDir + "\"");
        return false;
    }
    std::vector<oxCheckResult> results;
    for (const Part& p : parts)
        results.push_back(p.result);
    bool ok = save(out, "summary.json", summary(parts), errors);
    ok = save(out, "junit.xml", junit(parts), errors) && ok;
    ok = save(out, "findings.csv", oxHostCheck::csv(results), errors) && ok;
    ok = save(out, "index.html", index(parts), errors) && ok;
    for (const Part& p : parts)
    {
        const QString image = in.absoluteFilePath(QString::fromStdString(imageName(p)));
        const std::string link = QFileInfo::exists(image) ? out.relativeFilePath(image).toStdString() : std::string();
        ok = save(out, pageName(p), page(p, link), errors) && ok;
    }
    return ok;
}

int oxHostCheckOutputs::merge(const std::string& dir, const std::string& outDir, std::string* error)
{
    std::vector<std::string> errors;
    int result = oxHostCheckCommand::Usage;
    if (!QFileInfo(QString::fromStdString(dir)).isDir())
        errors.push_back("cannot merge \"" + dir + "\": no such folder");
    else
    {
        const std::vector<Part> parts = readFolder(dir, errors);
        // No outputs of nothing: an empty report at a release gate would read as a pass.
        if (parts.empty())
            errors.push_back("cannot merge \"" + dir + "\": it holds no part results (*" + Suffix + ")");
        const bool written = !parts.empty() && write(parts, dir, outDir.empty() ? dir : outDir, errors);
        result = written ? status(parts) : int(oxHostCheckCommand::NotChecked);
    }
    if (error)
    {
        error->clear();
        for (const std::string& e : errors)
            *error += e + "\n";
    }
    return result;
}
