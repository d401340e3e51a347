#pragma once

#include "oxHostValues.h"

#include <string>
#include <utility>
#include <vector>

// The host analyses' properties as scripts read and set them by name: oxHost.get and oxHost.set
// take these names beside the module's, and oxHost.analysisProperties() lists them.
class oxHostAnalysisProperties
{
public:
    static const std::vector<std::string>& names();
    static bool has(const std::string& name);
    static boost::python::object get(const std::string& name);
    // One undoable edit; a refused value raises ValueError naming the property and changes nothing.
    static void set(const std::string& name, const boost::python::object& value);

    // What a room says of its analysis in the help of analysisProperties: whose properties they are
    // ("the draft angle's") and a note on any of them beside its domain (name, note).
    struct Description
    {
        std::string whose;
        std::vector<std::pair<std::string, std::string>> notes;
    };
    static void describe(Description description);

    // Adds analysisProperties to oxHost.
    static void define();
};
