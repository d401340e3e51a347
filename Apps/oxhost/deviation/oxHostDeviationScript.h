#pragma once

#include <boost/python/dict.hpp>

struct oxProbe;

// The oxHost functions for the deviation from a reference: loadReference, clearReference,
// referenceInfo, deviationStats, exportDeviation and alignToReference. define() adds them to the
// current Boost.Python scope.
namespace oxHostDeviationScript
{
void define();
// probe()'s deviation and reference point at the hit.
void putProbeFields(boost::python::dict& d, const oxProbe& p);
} // namespace oxHostDeviationScript
