#include "oxCurvatureStats.h"

#include "OSGSurfaceAnalysisModes.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"
#include "oxWeightedHistogram.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

float oxCurvatureStats::value(int kind, float kMax, float kMin)
{
    switch (kind)
    {
    case osg::GaussianCurvature:
        return kMax * kMin;
    case osg::MeanCurvature:
        return 0.5f * (kMax + kMin);
    case osg::MinimumCurvature:
        return kMin;
    default:
        return kMax;
    }
}

const char* oxCurvatureStats::kindName(int kind)
{
    static const char* const names[] = {"Gaussian", "mean", "minimum", "maximum"};
    return kind >= 0 && kind <= int(osg::MaximumCurvature) ? names[kind] : "maximum";
}

std::vector<float> oxCurvatureStats::vertexAreas(const oxRenderMesh& mesh)
{
    std::vector<float> areas(mesh.positions.size(), 0.f);
    const size_t n = mesh.positions.size();
    for (size_t f = 0; f < mesh.triangleCount(); ++f)
    {
        const osg::UInt32 a = mesh.indices[3 * f], b = mesh.indices[3 * f + 1], c = mesh.indices[3 * f + 2];
        if (a >= n || b >= n || c >= n)
            continue;
        const float area =
            float(oxRenderMath::TriangleNormal(mesh.positions[a], mesh.positions[b], mesh.positions[c]).area());
        if (!std::isfinite(area))
            continue;
        for (osg::UInt32 v : {a, b, c})
            areas[v] += area / 3.f;
    }
    return areas;
}

std::string oxCurvatureStats::binsRefusal(int bins)
{
    return "bins must be from 1 to " + std::to_string(MaxBins) + ", not " + std::to_string(bins);
}

bool oxCurvatureStats::compute(const std::vector<float>& values, const std::vector<float>& weights, int bins,
                               double lowPercent, double highPercent, oxCurvatureStats& out, std::string& error)
{
    if (bins < 1 || bins > MaxBins)
    {
        error = binsRefusal(bins);
        return false;
    }
    if (!(lowPercent >= 0 && lowPercent < highPercent && highPercent <= 100))
    {
        error = "the percentiles must satisfy 0 <= low < high <= 100, not low " + std::to_string(lowPercent) +
                " and high " + std::to_string(highPercent);
        return false;
    }
    // (value, weight) pairs sorted side by side: sorting indices by the values they name took
    // a cache miss per comparison on a million vertices.
    std::vector<std::pair<float, float>> order;
    order.reserve(values.size());
    double total = 0, sum = 0;
    for (size_t i = 0; i < values.size() && i < weights.size(); ++i)
        if (weights[i] > 0.f && std::isfinite(values[i]))
        {
            order.emplace_back(values[i], weights[i]);
            total += weights[i];
            sum += double(weights[i]) * values[i];
        }
    if (order.empty() || !(total > 0))
    {
        error = "the model has no surface area to take statistics over";
        return false;
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // The smallest value at which the cumulative area reaches the fraction.
    auto percentile = [&](double percent)
    {
        const double target = percent / 100.0 * total;
        double cumulative = 0;
        for (const auto& [value, weight] : order)
        {
            cumulative += weight;
            if (cumulative >= target)
                return double(value);
        }
        return double(order.back().first);
    };
    out = oxCurvatureStats();
    out.area = total;
    out.min = order.front().first;
    out.max = order.back().first;
    out.mean = sum / total;
    out.median = percentile(50);
    out.low = percentile(lowPercent);
    out.high = percentile(highPercent);
    out.edges.resize(size_t(bins) + 1);
    for (int i = 0; i <= bins; ++i)
        out.edges[size_t(i)] = out.low + (out.high - out.low) * i / bins;
    oxWeightedHistogram hist(out.low, out.high, bins);
    for (const auto& [value, weight] : order)
        hist.add(value, weight);
    out.hist = hist.fractions();
    return true;
}

namespace
{
// Each vertex's value of a kind with a third of the area around it, over every mesh of the scene.
void samples(const oxRenderScene& scene, int kind, std::vector<float>& values, std::vector<float>& weights)
{
    scene.prepareCurvatures();
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        const oxPrincipalCurvatures& c = scene.curvatures(m);
        const std::vector<float> areas = oxCurvatureStats::vertexAreas(scene.mesh(m));
        for (size_t i = 0; i < areas.size() && i < c.kMax.size(); ++i)
        {
            values.push_back(oxCurvatureStats::value(kind, c.kMax[i], c.kMin[i]));
            weights.push_back(areas[i]);
        }
    }
}
} // namespace

bool oxCurvatureStats::compute(const oxRenderScene& scene, int kind, int bins, double lowPercent, double highPercent,
                               oxCurvatureStats& out, std::string& error)
{
    std::vector<float> values, weights;
    samples(scene, kind, values, weights);
    if (values.empty())
    {
        error = "the scene has no meshes";
        return false;
    }
    return compute(values, weights, bins, lowPercent, highPercent, out, error);
}

bool oxCurvatureStats::magnitude(const std::vector<float>& values, const std::vector<float>& weights, double percent,
                                 double& out, std::string& error)
{
    std::vector<float> sizes(values.size());
    std::transform(values.begin(), values.end(), sizes.begin(), [](float v) { return std::fabs(v); });
    oxCurvatureStats stats;
    if (!compute(sizes, weights, 1, 0, percent, stats, error))
        return false;
    out = stats.high;
    return true;
}

bool oxCurvatureStats::magnitude(const oxRenderScene& scene, int kind, double percent, double& out, std::string& error)
{
    std::vector<float> values, weights;
    samples(scene, kind, values, weights);
    if (values.empty())
    {
        error = "the scene has no meshes";
        return false;
    }
    return magnitude(values, weights, percent, out, error);
}

std::vector<double> oxCurvatureStats::histogram(const oxRenderScene& scene, int kind, double low, double high, int bins)
{
    if (!(high > low) || bins < 1 || scene.meshCount() == 0)
        return {};
    scene.prepareCurvatures();
    oxWeightedHistogram hist(low, high, bins);
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        const oxPrincipalCurvatures& c = scene.curvatures(m);
        const std::vector<float> areas = vertexAreas(scene.mesh(m));
        for (size_t i = 0; i < areas.size() && i < c.kMax.size(); ++i)
            hist.add(value(kind, c.kMax[i], c.kMin[i]), areas[i]);
    }
    return hist.fractions();
}
