#include "oxHostReportSections.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace
{
typedef std::pair<oxHostReportSections::Section, oxHostReportSections::Place> Entry;

std::vector<Entry>& sections()
{
    static std::vector<Entry> list;
    return list;
}
} // namespace

void oxHostReportSections::add(Section section, Place place)
{
    auto& list = sections();
    if (section && std::none_of(list.begin(), list.end(), [&](const Entry& e) { return e.first == section; }))
        list.emplace_back(section, place);
}

void oxHostReportSections::remove(Section section)
{
    auto& list = sections();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const Entry& e) { return e.first == section; }),
               list.end());
}

QString oxHostReportSections::html(const oxFrame::Request& view, Place place)
{
    QString html;
    for (const Entry& e : sections())
        if (e.second == place)
            html += e.first(view);
    return html;
}
