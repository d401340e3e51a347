#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// How a result's number is shown. The Python dict gets a Count as an int, a Pair as a tuple of two
// ints, a Text as a str and the others as a float; the CSV writes every number with 9 significant
// digits.
enum class oxResultFormat
{
    Count,     // a whole number
    FaceCount, // a Count of CAD faces: none means the model is meshes
    Number,    // in the model's units, or none: the report gives the field's significant digits
    Percent,   // an area fraction the report shows as a percentage
    Degrees,   // an angle the report shows in hundredths of a degree
    Pair,      // two counts, such as the faces along an edge
    Text
};

// One field's value in a result; which member holds it follows the field's format.
struct oxResultValue
{
    oxResultValue(double n) : number(n) {}
    oxResultValue(std::size_t c) : pair{c, 0} {}
    oxResultValue(const char* t) : text(t) {}
    oxResultValue(std::size_t a, std::size_t b) : pair{a, b} {}

    double number = 0;
    std::size_t pair[2] = {0, 0}; // a Count is the first
    const char* text = "";
};

// A field of result R, declared once for the Python dict, the report's rows and the CSV export.
template <typename R> struct oxResultField
{
    const char* key;   // the dict's key, and the CSV column
    const char* label; // the report's row heading (HTML); empty where the report shows it otherwise
    oxResultFormat format;
    oxResultValue (*value)(const R&);
    int row = -1;                  // the row's place in the report's table; -1 for none
    int digits = 5;                // significant digits of a Number in the report
    const char* columns = nullptr; // a Pair's two CSV columns, "a,b"
    // Puts a value read back (a saved result) into r; false when the field does not take it.
    // nullptr where results are never read back.
    bool (*read)(R& r, const oxResultValue& value) = nullptr;
};

namespace oxResultFields
{
// An angle in hundredths of a degree, without its unit.
QString degrees(double v);
// The field's value as the report's cell writes it.
QString reportText(oxResultFormat format, const oxResultValue& value, int digits);
// The field's value as the CSV writes it.
std::string csvText(oxResultFormat format, const oxResultValue& value);

// The report's rows of result r: labels and texts in the rows' order.
template <typename R>
std::vector<std::pair<QString, QString>> rows(const std::vector<oxResultField<R>>& fields, const R& r)
{
    std::vector<std::pair<int, std::pair<QString, QString>>> ranked;
    for (const oxResultField<R>& f : fields)
        if (f.row >= 0)
            ranked.push_back({f.row, {f.label, reportText(f.format, f.value(r), f.digits)}});
    std::vector<std::pair<QString, QString>> out(ranked.size());
    for (const auto& row : ranked)
        out.at(size_t(row.first)) = row.second;
    return out;
}

// The CSV header line of the fields, and one line for result r.
template <typename R> std::string csvHeader(const std::vector<oxResultField<R>>& fields)
{
    std::string line;
    for (const oxResultField<R>& f : fields)
        line += (line.empty() ? "" : ",") + std::string(f.columns ? f.columns : f.key);
    return line + "\n";
}

template <typename R> std::string csvLine(const std::vector<oxResultField<R>>& fields, const R& r)
{
    std::string line;
    for (const oxResultField<R>& f : fields)
        line += (line.empty() ? "" : ",") + csvText(f.format, f.value(r));
    return line + "\n";
}
} // namespace oxResultFields
