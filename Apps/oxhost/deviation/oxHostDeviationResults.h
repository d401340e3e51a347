#pragma once

#include "oxDeviation.h"
#include "oxHostResultFields.h"

#include <vector>

namespace oxHostDeviationResults
{
// deviationStats(): the area-weighted signed distances to the reference, in the order of its
// dict; the report's deviation table is made from it too.
const std::vector<oxResultField<oxDeviationStats>>& fields();
} // namespace oxHostDeviationResults
