#pragma once

#include "oxFrame.h"

#include <QString>

struct oxCheckResult;

// The report's check section: the verdict, a row per criterion (code, severity, threshold, count),
// the part with its findings marked, and the findings kept.
namespace oxHostCheckReport
{
// The section of the last check of the model in view (oxHostCheck::kept); empty without one.
QString section(const oxFrame::Request& view);
// The section of the result, whatever check made it.
QString resultSection(oxFrame::Request view, const oxCheckResult& result);
} // namespace oxHostCheckReport
