#pragma once

#include <boost/python/dict.hpp>

struct oxProbe;

// The oxHost function for the draft angle: draftStats. define() adds it to the current
// Boost.Python scope.
namespace oxHostDraftScript
{
void define();
// probe()'s draft at the hit.
void putProbeFields(boost::python::dict& d, const oxProbe& p);
} // namespace oxHostDraftScript
