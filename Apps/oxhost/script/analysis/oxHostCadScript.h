#pragma once

#include "oxHostCad.h"

#include <boost/python/dict.hpp>

// The oxHost functions for CAD input: modelInfo, continuity, setExactShading, setShowContinuity
// and writeCadSample. define() adds them to the current Boost.Python scope.
namespace oxHostCadScript
{
void define();
// modelInfo's dict of what a model (or a reference) holds.
boost::python::dict toDict(const oxHostCad::ModelInfo& info);
} // namespace oxHostCadScript
