#pragma once

#include "oxFrame.h"

#include <QString>

namespace oxHostCombReport
{
// The view as the host shows it, with the curvature combs over it; nothing when they are off.
QString section(const oxFrame::Request& view);
} // namespace oxHostCombReport
