#pragma once

#include "oxCadModel.h"
#include "oxCurvatureStats.h"
#include "oxHostCad.h"
#include "oxHostResultFields.h"

#include <vector>

// The fields of each result the host hands out, in the order of its Python dict. The dict, the
// report's rows and the CSV export are all made from these lists; an analysis's room keeps its own.
namespace oxHostResults
{
// curvatureStats() and the report's curvature statistics, at the 2nd and 98th percentiles there.
const std::vector<oxResultField<oxCurvatureStats>>& curvature();
// modelInfo()'s counts, and the report's model table.
const std::vector<oxResultField<oxHostCad::ModelInfo>>& model();
// One shared edge of continuity() and of the continuity CSV.
const std::vector<oxResultField<oxEdgeContinuity>>& continuity();
} // namespace oxHostResults
