#include "oxHostDraftReport.h"

#include "oxDraftStats.h"
#include "oxHostReport.h"
#include "oxHostDraftResults.h"
#include "oxRenderer.h"

#include <algorithm>

QString oxHostDraftReport::section(oxFrame::Request view)
{
    const oxHostAnalysisSettings& s = view.hostAnalyses;
    const double angle =
        oxHostAnalysisRows::DraftAngle.domain.within(s.DraftAngle, oxHostAnalysisSettings().DraftAngle);
    oxDraftStats stats;
    std::string why;
    if (!oxDraftStats::compute(oxRenderer::the().scene(), s.DraftDirection, angle, stats, why))
        return QString();

    const QString direction = QString("(%1, %2, %3)")
                                  .arg(oxHostReport::number(s.DraftDirection[0]))
                                  .arg(oxHostReport::number(s.DraftDirection[1]))
                                  .arg(oxHostReport::number(s.DraftDirection[2]));
    QString html = "<h2>Draft angle</h2>\n";
    view.analysis = false;
    view.combLines.clear(); // they have an image of their own
    const QString caption = "<strong>Draft angle</strong>: blue has at least the minimum draft towards the pull, "
                            "vermillion at least as much away from it, yellow less either way; lines mark &plusmn;" +
                            oxHostReport::number(angle) + "&deg;.\n";
    html += oxHostReport::figure("Draft angle", oxRenderer::the().render(view), caption,
                                 {{"DraftDirection", direction},
                                  {"DraftAngle", oxHostReport::number(angle) + "&deg;"},
                                  {"DraftRamp", s.DraftRamp ? "yes" : "no"}});
    html += oxHostReport::table(oxResultFields::rows(oxHostDraftResults::fields(), stats));
    if (stats.faces.empty())
        return html;

    // Worst first: the faces nearest to lacking draft, those that cross the parting line at the top.
    std::vector<oxDraftStats::Face> faces = stats.faces;
    std::stable_sort(faces.begin(), faces.end(),
                     [](const oxDraftStats::Face& a, const oxDraftStats::Face& b)
                     { return oxDraftStats::clearance(a) < oxDraftStats::clearance(b); });
    html += "<p>Faces, those with the least draft first:</p>\n<table>\n<tr><th>Face</th><th>Class</th>"
            "<th>Min (&deg;)</th><th>Max (&deg;)</th></tr>\n";
    const size_t shown = std::min(faces.size(), size_t(MaxFaceRows));
    for (size_t i = 0; i < shown; ++i)
        html += QString("<tr><td class=\"n\">%1</td><td>%2</td><td class=\"n\">%3</td><td class=\"n\">%4</td></tr>\n")
                    .arg(faces[i].face)
                    .arg(oxDraftStats::className(faces[i].draftClass))
                    .arg(oxResultFields::degrees(faces[i].min))
                    .arg(oxResultFields::degrees(faces[i].max));
    html += "</table>\n";
    if (shown < faces.size())
        html += QString("<p>and %1 more faces.</p>\n").arg(qulonglong(faces.size() - shown));
    return html;
}
