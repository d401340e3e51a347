#include "oxHostCombReport.h"

#include "oxHostReport.h"
#include "oxRenderer.h"

QString oxHostCombReport::section(const oxFrame::Request& view)
{
    const oxHostAnalysisSettings& s = view.hostAnalyses;
    if (!s.CombActive)
        return {};
    auto num = [](double v) { return oxHostReport::number(v); };
    const osg::Vec3f& n = s.CombSectionNormal;
    const oxHostReport::Rows settings = {
        {"CombEdges", s.CombEdges ? "True" : "False"},
        {"CombSections", QString::number(s.CombSections)},
        {"CombSectionNormal", QString("(%1, %2, %3)").arg(num(n[0]), num(n[1]), num(n[2]))},
        {"CombSamples", QString::number(s.CombSamples)},
        {"CombScale", s.CombScale > 0 ? num(s.CombScale) : QString("fitted")}};
    return "<h2>Curvature combs</h2>\n" +
           oxHostReport::figure("Curvature combs", oxRenderer::the().render(view), QString(), settings);
}
