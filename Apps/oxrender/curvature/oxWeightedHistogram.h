#pragma once

#include <vector>

// Weights (areas) summed in bins of equal width from low to high, values outside the range in
// the end bins: the one binning of the curvature and deviation statistics and legends.
class oxWeightedHistogram
{
public:
    // An empty range (high <= low) puts every value in the first bin.
    oxWeightedHistogram(double low, double high, int bins);

    // Non-finite values and weights that are not positive are passed over.
    void add(double value, double weight);
    // The bins as fractions of the total weight, summing to 1; empty when nothing was added.
    std::vector<double> fractions() const;
    int bin(double value) const;

private:
    double _low, _high;
    std::vector<double> _sums;
    double _total = 0;
};
