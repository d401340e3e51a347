#include "oxHostDraftResults.h"

const std::vector<oxResultField<oxDraftStats>>& oxHostDraftResults::fields()
{
    typedef oxResultFormat F;
    typedef oxDraftStats S;
    static const std::vector<oxResultField<S>> fields = {
        {"positive", "Positive (&ge; angle)", F::Percent, [](const S& s) { return oxResultValue(s.positive); }, 0},
        {"negative", "Negative (&le; &minus;angle)", F::Percent, [](const S& s) { return oxResultValue(s.negative); },
         1},
        {"insufficient", "Insufficient (between)", F::Percent, [](const S& s) { return oxResultValue(s.insufficient); },
         2},
        {"min", "Minimum", F::Degrees, [](const S& s) { return oxResultValue(s.min); }, 3},
        {"max", "Maximum", F::Degrees, [](const S& s) { return oxResultValue(s.max); }, 4}};
    return fields;
}
