#pragma once

// The oxHost functions for CAD input: modelInfo, continuity, setExactShading, setShowContinuity
// and writeCadSample. define() adds them to the current Boost.Python scope.
namespace oxHostCadScript
{
void define();
}
