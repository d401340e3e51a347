#pragma once

#include "oxDraftStats.h"
#include "oxHostResultFields.h"

#include <vector>

namespace oxHostDraftResults
{
// draftStats(): the area fractions of the three classes and the extreme drafts, in the order of
// its dict; the report's draft table is made from it too.
const std::vector<oxResultField<oxDraftStats>>& fields();
} // namespace oxHostDraftResults
