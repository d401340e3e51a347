#include "oxDeviationOverlay.h"

#include "oxCurvatureStats.h"
#include "oxDeviation.h"
#include "oxDeviationColouring.h"
#include "oxOverlay.h"
#include "oxRenderScene.h"
#include "oxWeightedHistogram.h"

#include <algorithm>
#include <cmath>
#include <mutex>

float oxDeviationOverlay::halfRange(const oxHostAnalysisSettings& host,
                                    const std::shared_ptr<const oxDeviationField>& field)
{
    if (host.DeviationRange > 0.f || !field)
        return host.DeviationRange;
    // Every frame asks; a million vertices take a selection each time otherwise.
    static std::mutex mutex;
    static std::weak_ptr<const oxDeviationField> last;
    static float lastRange = 0.f;
    const std::lock_guard<std::mutex> lock(mutex);
    if (last.lock() == field)
        return lastRange;
    std::vector<float> magnitudes;
    for (const std::vector<float>& mesh : field->distance)
        for (float d : mesh)
            if (std::isfinite(d))
                magnitudes.push_back(std::fabs(d));
    float range = 0.f;
    if (!magnitudes.empty())
    {
        const size_t k = std::min(magnitudes.size() - 1, size_t(std::ceil(0.98 * double(magnitudes.size()))) - 1);
        std::nth_element(magnitudes.begin(), magnitudes.begin() + std::ptrdiff_t(k), magnitudes.end());
        range = magnitudes[k];
    }
    last = field;
    lastRange = range;
    return range;
}

std::vector<double> oxDeviationOverlay::histogram(const oxRenderScene& model, const oxDeviationField& field,
                                                  float range, int bins)
{
    if (!(range > 0.f) || bins < 1)
        return {};
    std::vector<float> values, areas;
    oxDeviation::weightedValues(model, field, values, areas);
    oxWeightedHistogram hist(-double(range), double(range), bins);
    for (size_t i = 0; i < values.size(); ++i)
        hist.add(values[i], areas[i]);
    return hist.fractions();
}

std::vector<double> oxDeviationOverlay::legendHistogram(const oxRenderScene& model,
                                                        const std::shared_ptr<const oxDeviationField>& field,
                                                        float range)
{
    if (!field)
        return {};
    static std::mutex mutex;
    static std::weak_ptr<const oxDeviationField> last;
    static float lastRange = 0.f;
    static std::vector<double> kept;
    const std::lock_guard<std::mutex> lock(mutex);
    if (last.lock() != field || lastRange != range)
    {
        kept = histogram(model, *field, range, 32);
        last = field;
        lastRange = range;
    }
    return kept;
}

void oxDeviationOverlay::drawLegend(QImage& image, const oxDeviationColouring& deviation,
                                    const std::vector<double>& histogram)
{
    const float range = deviation.range(), tol = deviation.tolerance();
    oxOverlay::Legend legend;
    legend.colour = [&deviation, range](float v) { return deviation.colour(v * range); };
    for (int i = 0; i <= 4; ++i)
    {
        const float v = 1.f - 0.5f * float(i);
        legend.ticks.emplace_back(v, QString::number(double(v * range), 'g', 3));
    }
    legend.title = (deviation.unsignedDistances() ? QStringLiteral("Unsigned deviation (a point cloud reference), "
                                                                   "tolerance \u00b1%1")
                                                  : QStringLiteral("Deviation, tolerance \u00b1%1"))
                       .arg(double(tol), 0, 'g', 3);
    legend.histogram = histogram;
    if (range > tol && tol > 0.f)
        legend.marks = {{tol / range, ToleranceMark}, {-tol / range, ToleranceMark}};
    oxOverlay::drawLegend(image, legend);
}
