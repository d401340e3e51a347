#include "oxHostDeviationResults.h"

const std::vector<oxResultField<oxDeviationStats>>& oxHostDeviationResults::fields()
{
    typedef oxResultFormat F;
    typedef oxDeviationStats S;
    static const std::vector<oxResultField<S>> fields = {
        {"mean", "Mean", F::Number, [](const S& s) { return oxResultValue(s.mean); }, 0},
        {"rms", "RMS", F::Number, [](const S& s) { return oxResultValue(s.rms); }, 1},
        {"std", "Standard deviation", F::Number, [](const S& s) { return oxResultValue(s.std); }, 2},
        {"min", "Minimum", F::Number, [](const S& s) { return oxResultValue(s.min); }, 3},
        {"max", "Maximum", F::Number, [](const S& s) { return oxResultValue(s.max); }, 4},
        {"within", "Within tolerance", F::Percent, [](const S& s) { return oxResultValue(s.within); }, 6},
        // The report gives the tolerance with the image's settings.
        {"tolerance", "", F::Number, [](const S& s) { return oxResultValue(s.tolerance); }},
        {"p95", "95th percentile of |distance|", F::Number, [](const S& s) { return oxResultValue(s.p95); }, 5},
        // The report says it in the paragraph above its table.
        {"distances", "", F::Text, [](const S& s) {
             return oxResultValue(s.unsignedDistances ? "unsigned: the reference is a point cloud" : "signed");
         }}};
    return fields;
}
