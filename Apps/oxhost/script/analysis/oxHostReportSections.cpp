#include "oxHostReportSections.h"

#include <algorithm>
#include <vector>

namespace
{
std::vector<oxHostReportSections::Section>& sections()
{
    static std::vector<oxHostReportSections::Section> list;
    return list;
}
} // namespace

void oxHostReportSections::add(Section section)
{
    if (section && std::find(sections().begin(), sections().end(), section) == sections().end())
        sections().push_back(section);
}

void oxHostReportSections::remove(Section section)
{
    auto& list = sections();
    list.erase(std::remove(list.begin(), list.end(), section), list.end());
}

QString oxHostReportSections::html(const oxFrame::Request& view)
{
    QString html;
    for (Section section : sections())
        html += section(view);
    return html;
}
