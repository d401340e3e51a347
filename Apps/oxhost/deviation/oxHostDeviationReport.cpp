#include "oxHostDeviationReport.h"

#include "oxCurvatureStats.h"
#include "oxDeviation.h"
#include "oxDeviationOverlay.h"
#include "oxHostReport.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"

#include <algorithm>
#include <cmath>
#include <utility>

QString oxHostDeviationReport::section(oxFrame::Request view)
{
    oxRenderer& renderer = oxRenderer::the();
    if (!renderer.hasReference())
        return QString();
    QString html = "<h2>Deviation from the reference</h2>\n";
    const std::shared_ptr<const oxDeviationField> field = renderer.deviation();
    const double tolerance = oxDeviation::tolerance(view.hostAnalyses, renderer.reference());
    oxDeviationStats n;
    std::string error;
    if (!field || !oxDeviation::stats(renderer.scene(), *field, tolerance, 32, n, error))
        return html + "<p>No distances to the reference could be measured for this model.</p>\n";

    const float range = oxDeviationOverlay::halfRange(view.hostAnalyses, field);
    view.analysis = false;
    view.hostAnalyses.DraftActive = false;
    view.hostAnalyses.DeviationActive = true;
    view.deviation = field;
    view.deviationTolerance = float(tolerance);
    view.combLines.clear();
    const QImage image = renderer.render(view);
    html += "<figure>\n<img alt=\"Deviation\" src=\"" + oxHostReport::dataUri(image) + "\">\n";
    html += "<figcaption><strong>Deviation</strong>: grey lies within the tolerance of the reference, blue inside "
            "it and vermillion outside, full at the colour range.\n<table>";
    html += "<tr><th>DeviationTolerance</th><td>" + oxHostReport::number(tolerance) +
            (view.hostAnalyses.DeviationTolerance > 0.f ? QString() : QString(" (a thousandth of the reference)")) +
            "</td></tr>";
    html += "<tr><th>DeviationRange</th><td>" + oxHostReport::number(range) +
            (view.hostAnalyses.DeviationRange > 0.f ? QString() : QString(" (98th percentile of |distance|)")) +
            "</td></tr>";
    html += "</table></figcaption>\n</figure>\n";

    html += "<p>Signed distances of the model's vertices to the closest point of the reference (+ outside), "
            "area-weighted.</p>\n<table>\n";
    const std::pair<const char*, QString> rows[] = {{"Mean", oxHostReport::number(n.mean, 5)},
                                                    {"RMS", oxHostReport::number(n.rms, 5)},
                                                    {"Standard deviation", oxHostReport::number(n.std, 5)},
                                                    {"Minimum", oxHostReport::number(n.min, 5)},
                                                    {"Maximum", oxHostReport::number(n.max, 5)},
                                                    {"95th percentile of |distance|", oxHostReport::number(n.p95, 5)},
                                                    {"Within tolerance", oxHostReport::percent(n.within)}};
    for (const auto& row : rows)
        html += QString("<tr><th>%1</th><td class=\"n\">%2</td></tr>\n").arg(row.first, row.second);
    html += "</table>\n";

    // The histogram between the 2nd and 98th percentiles, as the curvature's.
    std::vector<float> values, weights;
    oxDeviation::weightedValues(renderer.scene(), *field, values, weights);
    oxCurvatureStats stats;
    if (oxCurvatureStats::compute(values, weights, 32, 2, 98, stats, error))
        html += "<p>Distribution between the 2nd and 98th percentiles (distances outside count in the end "
                "bars):</p>\n" +
                oxHostReport::histogramSvg(stats) + "\n";
    return html;
}
