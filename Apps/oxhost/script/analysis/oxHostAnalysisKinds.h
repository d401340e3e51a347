#pragma once

#include "OSGVector.h"

#include <string>
#include <vector>

// The analyses a user asks for by name (--analysis KIND, oxHost.showAnalysis): each switches the
// analysis on with settings that read well on any model, the lights placed for the current view.
// A kind is one row of a table; define() adds showAnalysis and analysisKinds to oxHost.
class oxHostAnalysisKinds
{
public:
    static void define();

    // The kinds, in the order the help lists them.
    static std::vector<std::string> names();
    // "isophotes, zebra, reflection, rings, highlight or curvature".
    static std::string list();

    // Which way is up in the model (Z unless set): the light tubes hang above it.
    static void setUpAxis(const osg::Vec3f& up);

    // Shows the kind through the module's properties as one undo step; false with error (a
    // Python exception's text, or an unknown kind) when it could not.
    static bool show(const std::string& kind, std::string& error);
};
