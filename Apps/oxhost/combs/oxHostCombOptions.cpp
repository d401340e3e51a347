#include "oxHostCombOptions.h"

#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostRoomOptions.h"

#include <algorithm>

namespace
{
// The setting's counts but 0: the option switches the combs on with planes.
oxSettingDomain sectionCounts()
{
    oxSettingDomain counts = oxHostAnalysisRows::CombSections.domain;
    counts.min = std::max(counts.min, 1.0);
    return counts;
}

QStringList sectionsDomain()
{
    return {QString::fromStdString(sectionCounts().text())};
}

// N[:X,Y,Z]; normalGiven says whether the normal was.
bool parseSections(const std::string& value, unsigned& count, std::array<float, 3>& normal, bool& normalGiven)
{
    const QString text = QString::fromStdString(value);
    const int colon = text.indexOf(':');
    bool countOk = false;
    count = (colon < 0 ? text : text.left(colon)).toUInt(&countOk);
    normalGiven = colon >= 0;
    const bool normalOk = colon < 0 || oxHostRoomOptions::vectorText(text.mid(colon + 1), normal);
    return countOk && sectionCounts().contains(count) && normalOk;
}

bool checkSections(const std::string& value, std::string& error)
{
    unsigned count = 0;
    std::array<float, 3> normal;
    bool normalGiven = false;
    if (parseSections(value, count, normal, normalGiven))
        return true;
    error = "--comb-sections needs a number of sections " + sectionCounts().text() +
            ", optionally followed by :X,Y,Z, the planes' normal (three numbers, not all zero), not \"" + value + "\"";
    return false;
}

// The values were checked with the command line; the last one given counts.
bool apply(const oxHostRoomOptions::Given& given, std::string& error)
{
    const bool edges = given.count("comb-edges") > 0;
    const auto sections = given.find("comb-sections");
    const bool planes = sections != given.end() && !sections->second.empty();
    if (!edges && !planes)
        return true;
    oxHostAnalysisModel* host = oxHostAnalysisModel::the();
    if (!host->setCombActive(true, &error) || (edges && !host->setCombEdges(true, &error)))
        return false;
    if (!planes)
        return true;
    unsigned count = 0;
    std::array<float, 3> n{1.f, 0.f, 0.f};
    bool normalGiven = false;
    parseSections(sections->second.back(), count, n, normalGiven);
    return host->setCombSections(count, &error) &&
           (!normalGiven || host->setCombSectionNormal(osg::Vec3f(n[0], n[1], n[2]), &error));
}
} // namespace

void oxHostCombOptions::add()
{
    oxHostRoomOptions::add({"comb-edges", "draft", nullptr, "",
                            "before the script, draw curvature combs on every edge of a CAD model", nullptr, nullptr,
                            false});
    oxHostRoomOptions::add({"comb-sections", "comb-edges", "N[:X,Y,Z]", "a number of sections and optionally :X,Y,Z",
                            "before the script, draw curvature combs on N section planes (%1) spread evenly across "
                            "the model, normal to X,Y,Z (default 1,0,0)",
                            sectionsDomain, checkSections, false});
    oxHostRoomOptions::addApply(apply);
}
