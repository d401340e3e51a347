#include "oxHostAnalysisSettings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

namespace
{
#define OX_HOST_ANALYSIS_ROW_ENTRY(Name, ...) oxHostAnalysisRows::Name,
const oxHostAnalysisRow rows[] = {OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_ROW_ENTRY)};
#undef OX_HOST_ANALYSIS_ROW_ENTRY

// The first of 1 to 17 significant digits that reads back as v (in the precision of T).
template <class T> std::string shortest(T v)
{
    char text[32] = "";
    // Whole numbers as such: %g writes 90 as 9e+01 at one digit.
    if (std::fabs(double(v)) < 1e15 && double(v) == std::floor(double(v)))
    {
        std::snprintf(text, sizeof text, "%.0f", double(v));
        return text;
    }
    for (int digits = 1; digits <= 17; ++digits)
    {
        std::snprintf(text, sizeof text, "%.*g", digits, double(v));
        if (T(std::strtod(text, nullptr)) == v)
            break;
    }
    return text;
}
} // namespace

std::string oxSettingDomain::number(double v)
{
    return shortest(v);
}

std::string oxSettingDomain::number(float v)
{
    return shortest(v);
}

std::string oxSettingDomain::text() const
{
    const bool openEnded = max >= double(std::numeric_limits<float>::max()) && !maxOpen;
    if (openEnded && min <= -double(std::numeric_limits<float>::max()))
        return "any finite number";
    if (!minOpen && !maxOpen && !openEnded)
        return "from " + number(min) + " to " + number(max);
    const std::string low = (minOpen ? "greater than " : "at least ") + number(min);
    if (openEnded)
        return low;
    return low + (maxOpen ? " and less than " : " and at most ") + number(max);
}

int oxHostAnalysisRows::colourMap(const std::string& name)
{
    for (int i = 0; i < oxColourMapCount; ++i)
        if (strcasecmp(name.c_str(), oxColourMapNames[i]) == 0)
            return i;
    return -1;
}

const oxHostAnalysisRow* oxHostAnalysisRows::find(const char* name)
{
    for (const oxHostAnalysisRow& row : rows)
        if (std::strcmp(row.name, name) == 0)
            return &row;
    return nullptr;
}

int oxHostAnalysisRows::count()
{
    return int(std::size(rows));
}

const oxHostAnalysisRow& oxHostAnalysisRows::at(int i)
{
    return rows[i];
}
