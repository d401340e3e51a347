#pragma once

#include "oxFrame.h"

#include <QString>

// The report's draft section: the view in the draft's colours, the class fractions, and the CAD
// faces' draft ranges, worst first.
class oxHostDraftReport
{
public:
    // An HTML section for view's draft settings; empty when the model has no area.
    static QString section(oxFrame::Request view);

    // At most this many faces are listed; the rest are counted.
    static constexpr int MaxFaceRows = 500;
};
