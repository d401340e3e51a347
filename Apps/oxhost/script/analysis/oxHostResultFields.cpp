#include "oxHostResultFields.h"

#include "oxHostReport.h"

#include <cstdio>

// Hundredths of a degree, the draft's sampling: a face at 0 reads 0.00, not -3.6e-11.
QString oxResultFields::degrees(double v)
{
    const QString text = QString::number(v, 'f', 2);
    return text == "-0.00" ? QString("0.00") : text;
}

QString oxResultFields::reportText(oxResultFormat format, const oxResultValue& value, int digits)
{
    switch (format)
    {
    case oxResultFormat::Count:
        return QString::number(qulonglong(value.pair[0]));
    case oxResultFormat::FaceCount:
        return value.pair[0] > 0 ? QString::number(qulonglong(value.pair[0])) : QString("&ndash; (mesh input)");
    case oxResultFormat::Number:
        return oxHostReport::number(value.number, digits);
    case oxResultFormat::Percent:
        return oxHostReport::percent(value.number);
    case oxResultFormat::Degrees:
        return degrees(value.number) + "&deg;";
    case oxResultFormat::Pair:
        return QString("%1, %2").arg(qulonglong(value.pair[0])).arg(qulonglong(value.pair[1]));
    case oxResultFormat::Text:
        return QString::fromUtf8(value.text).toHtmlEscaped();
    }
    return QString();
}

namespace
{
// A text with a comma, a quote or a line break in double quotes, its quotes doubled.
std::string csvQuoted(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}
} // namespace

std::string oxResultFields::csvText(oxResultFormat format, const oxResultValue& value)
{
    char text[64];
    switch (format)
    {
    case oxResultFormat::Count:
    case oxResultFormat::FaceCount:
        std::snprintf(text, sizeof text, "%zu", value.pair[0]);
        return text;
    case oxResultFormat::Pair:
        std::snprintf(text, sizeof text, "%zu,%zu", value.pair[0], value.pair[1]);
        return text;
    case oxResultFormat::Text:
        return csvQuoted(value.text);
    default:
        std::snprintf(text, sizeof text, "%.9g", value.number);
        return text;
    }
}
