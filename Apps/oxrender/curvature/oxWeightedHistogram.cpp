#include "oxWeightedHistogram.h"

#include <algorithm>
#include <cmath>

oxWeightedHistogram::oxWeightedHistogram(double low, double high, int bins)
    : _low(low), _high(high), _sums(size_t(std::max(bins, 1)), 0.0)
{
}

int oxWeightedHistogram::bin(double value) const
{
    const double last = double(_sums.size() - 1);
    if (!(_high > _low))
        return 0;
    const double at = std::floor((value - _low) / (_high - _low) * double(_sums.size()));
    // Clamped before the conversion: a value far outside a narrow range overflows an int.
    return std::isnan(at) ? 0 : int(std::clamp(at, 0.0, last));
}

void oxWeightedHistogram::add(double value, double weight)
{
    if (!(weight > 0) || !std::isfinite(value) || !std::isfinite(weight))
        return;
    _sums[size_t(bin(value))] += weight;
    _total += weight;
}

std::vector<double> oxWeightedHistogram::fractions() const
{
    if (!(_total > 0))
        return {};
    std::vector<double> out(_sums);
    for (double& f : out)
        f /= _total;
    return out;
}
