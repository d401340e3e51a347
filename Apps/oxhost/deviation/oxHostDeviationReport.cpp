#include "oxHostDeviationReport.h"

#include "oxCurvatureStats.h"
#include "oxDeviation.h"
#include "oxDeviationOverlay.h"
#include "oxHostReport.h"
#include "oxHostDeviationResults.h"
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
    oxHostReport::withoutHostColourings(view);
    view.hostAnalyses.DeviationActive = true;
    view.deviation = field;
    view.deviationTolerance = float(tolerance);
    view.combLines.clear();
    const QString caption = "<strong>Deviation</strong>: grey lies within the tolerance of the reference, blue "
                            "inside it and vermillion outside, full at the colour range.\n";
    const oxHostReport::Rows settings = {
        {"DeviationTolerance",
         oxHostReport::number(tolerance) +
             (view.hostAnalyses.DeviationTolerance > 0.f ? QString() : QString(" (a thousandth of the reference)"))},
        {"DeviationRange",
         oxHostReport::number(range) +
             (view.hostAnalyses.DeviationRange > 0.f ? QString() : QString(" (98th percentile of |distance|)"))}};
    html += oxHostReport::figure("Deviation", renderer.render(view), caption, settings);

    html += n.unsignedDistances ? "<p>Unsigned distances of the model's vertices to the nearest point of the "
                                  "reference, a point cloud, which has no inside; area-weighted.</p>\n"
                                : "<p>Signed distances of the model's vertices to the closest point of the reference "
                                  "(+ outside), area-weighted.</p>\n";
    html += oxHostReport::table(oxResultFields::rows(oxHostDeviationResults::fields(), n));

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
