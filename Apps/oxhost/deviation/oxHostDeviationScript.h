#pragma once

// The oxHost functions for the deviation from a reference: loadReference, clearReference,
// referenceInfo, deviationStats, exportDeviation and alignToReference. define() adds them to the
// current Boost.Python scope.
namespace oxHostDeviationScript
{
void define();
}
