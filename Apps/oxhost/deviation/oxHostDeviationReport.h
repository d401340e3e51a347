#pragma once

#include "oxFrame.h"

#include <QString>

// The report's deviation section: the view in the deviation's colours, the area-weighted
// statistics of the distances to the reference, and their histogram.
class oxHostDeviationReport
{
public:
    // An HTML section against the renderer's reference; empty without one.
    static QString section(oxFrame::Request view);
};
