#include "oxHostDeviationReport.h"

#include "oxCurvatureStats.h"
#include "oxDeviationOverlay.h"
#include "oxHostReport.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
QString num(double v, int digits = 4)
{
    return QString::number(v, 'g', digits);
}

QString percent(double share)
{
    return QString::number(100 * share, 'f', 2) + " %";
}
} // namespace

bool oxHostDeviationReport::numbers(const oxRenderScene& model, const oxDeviationField& field, double tolerance,
                                    Numbers& out)
{
    out = Numbers();
    std::vector<std::pair<float, float>> magnitudes; // |d|, area
    double sum = 0, squares = 0, within = 0;
    bool first = true;
    for (size_t m = 0; m < model.meshCount() && m < field.distance.size(); ++m)
    {
        const std::vector<float>& d = field.distance[m];
        const std::vector<float> areas = oxCurvatureStats::vertexAreas(model.mesh(m));
        if (areas.size() != d.size())
            continue;
        for (size_t i = 0; i < d.size(); ++i)
        {
            if (!(areas[i] > 0.f) || !std::isfinite(d[i]))
                continue;
            const double a = areas[i], v = d[i];
            out.area += a;
            sum += a * v;
            squares += a * v * v;
            within += std::fabs(v) <= tolerance ? a : 0.0;
            out.min = first ? v : std::min(out.min, v);
            out.max = first ? v : std::max(out.max, v);
            first = false;
            magnitudes.emplace_back(std::fabs(d[i]), areas[i]);
        }
    }
    if (!(out.area > 0))
        return false;
    out.mean = sum / out.area;
    out.rms = std::sqrt(squares / out.area);
    out.std = std::sqrt(std::max(0.0, squares / out.area - out.mean * out.mean));
    out.within = within / out.area;
    std::sort(magnitudes.begin(), magnitudes.end());
    double below = 0;
    for (const std::pair<float, float>& m : magnitudes)
    {
        below += m.second;
        out.p95 = m.first;
        if (below >= 0.95 * out.area)
            break;
    }
    return true;
}

QString oxHostDeviationReport::section(oxFrame::Request view)
{
    oxRenderer& renderer = oxRenderer::the();
    if (!renderer.hasReference())
        return QString();
    QString html = "<h2>Deviation from the reference</h2>\n";
    const std::shared_ptr<const oxDeviationField> field = renderer.deviation();
    const float tolerance = oxDeviationOverlay::tolerance(view.hostAnalyses, renderer.reference());
    Numbers n;
    if (!field || !numbers(renderer.scene(), *field, tolerance, n))
        return html + "<p>No distances to the reference could be measured for this model.</p>\n";

    const float range = oxDeviationOverlay::halfRange(view.hostAnalyses, field);
    view.analysis = false;
    view.hostAnalyses.DraftActive = false;
    view.hostAnalyses.DeviationActive = true;
    view.deviation = field;
    view.deviationTolerance = tolerance;
    view.combLines.clear();
    const QImage image = renderer.render(view);
    html += "<figure>\n<img alt=\"Deviation\" src=\"" + oxHostReport::dataUri(image) + "\">\n";
    html += "<figcaption><strong>Deviation</strong>: grey lies within the tolerance of the reference, blue inside "
            "it and vermillion outside, full at the colour range.\n<table>";
    html += "<tr><th>DeviationTolerance</th><td>" + num(tolerance) +
            (view.hostAnalyses.DeviationTolerance > 0.f ? QString() : QString(" (a thousandth of the reference)")) +
            "</td></tr>";
    html += "<tr><th>DeviationRange</th><td>" + num(range) +
            (view.hostAnalyses.DeviationRange > 0.f ? QString() : QString(" (98th percentile of |distance|)")) +
            "</td></tr>";
    html += "</table></figcaption>\n</figure>\n";

    html += "<p>Signed distances of the model's vertices to the closest point of the reference (+ outside), "
            "area-weighted.</p>\n<table>\n";
    const std::pair<const char*, QString> rows[] = {{"Mean", num(n.mean, 5)},
                                                    {"RMS", num(n.rms, 5)},
                                                    {"Standard deviation", num(n.std, 5)},
                                                    {"Minimum", num(n.min, 5)},
                                                    {"Maximum", num(n.max, 5)},
                                                    {"95th percentile of |distance|", num(n.p95, 5)},
                                                    {"Within tolerance", percent(n.within)}};
    for (const auto& row : rows)
        html += QString("<tr><th>%1</th><td class=\"n\">%2</td></tr>\n").arg(row.first, row.second);
    html += "</table>\n";

    // The histogram between the 2nd and 98th percentiles, as the curvature's.
    std::vector<float> values, weights;
    for (size_t m = 0; m < renderer.scene().meshCount() && m < field->distance.size(); ++m)
    {
        const std::vector<float> areas = oxCurvatureStats::vertexAreas(renderer.scene().mesh(m));
        if (areas.size() != field->distance[m].size())
            continue;
        values.insert(values.end(), field->distance[m].begin(), field->distance[m].end());
        weights.insert(weights.end(), areas.begin(), areas.end());
    }
    oxCurvatureStats stats;
    std::string why;
    if (oxCurvatureStats::compute(values, weights, 32, 2, 98, stats, why))
        html += "<p>Distribution between the 2nd and 98th percentiles (distances outside count in the end "
                "bars):</p>\n" +
                oxHostReport::histogramSvg(stats) + "\n";
    return html;
}
