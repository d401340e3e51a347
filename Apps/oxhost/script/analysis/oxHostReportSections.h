#pragma once

#include "oxFrame.h"

#include <QString>

// The report's sections that the host analyses' rooms add, in the order the rooms registered them:
// between the analysis images and the curvature statistics, or after the statistics.
namespace oxHostReportSections
{
// An HTML section for the view, or empty when it has nothing to show.
typedef QString (*Section)(const oxFrame::Request& view);
enum class Place
{
    AfterImages,
    AfterStatistics
};

void add(Section section, Place place = Place::AfterImages);
void remove(Section section);
// The HTML of every section at the place for the view, one after the other.
QString html(const oxFrame::Request& view, Place place = Place::AfterImages);
} // namespace oxHostReportSections
