#pragma once

// The oxHost functions for curvature combs: edgeComb and sectionComb. define() adds them to the
// current Boost.Python scope.
namespace oxHostCombScript
{
void define();
}
