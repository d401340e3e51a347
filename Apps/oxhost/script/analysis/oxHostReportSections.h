#pragma once

#include "oxFrame.h"

#include <QString>

// The report's sections that the host analyses' rooms add, between the analysis images and the
// curvature statistics, in the order the rooms registered them.
namespace oxHostReportSections
{
// An HTML section for the view, or empty when it has nothing to show.
typedef QString (*Section)(const oxFrame::Request& view);

void add(Section section);
void remove(Section section);
// Every section's HTML for the view, one after the other.
QString html(const oxFrame::Request& view);
} // namespace oxHostReportSections
