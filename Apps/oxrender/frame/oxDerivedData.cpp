#include "oxDerivedData.h"

#include "oxCurvatureComb.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"

namespace
{
bool hasReference(const oxDerivedData::Sources& from)
{
    return from.reference && from.reference->meshCount() > 0;
}
} // namespace

std::vector<oxOverlay::Polyline> oxDerivedData::combLines(const Sources& from, const oxHostAnalysisSettings& settings)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    if (!_haveCombs || _combsScene != from.sceneVersion || !oxCurvatureComb::sameCombs(settings, _combSettings))
    {
        _combs = oxCurvatureComb::lines(*from.scene, settings);
        _combSettings = settings;
        _combsScene = from.sceneVersion;
        _haveCombs = true;
        ++_combsDrawn;
    }
    return _combs;
}

bool oxDerivedData::deviationStaleLocked(const Sources& from) const
{
    return hasReference(from) &&
           (!_deviation || _deviationScene != from.sceneVersion || _deviationReference != from.referenceVersion);
}

bool oxDerivedData::deviationStale(const Sources& from) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return deviationStaleLocked(from);
}

std::shared_ptr<const oxDeviationField> oxDerivedData::deviation(const Sources& from)
{
    if (!hasReference(from))
        return nullptr;
    const std::lock_guard<std::mutex> lock(_mutex);
    if (deviationStaleLocked(from))
    {
        _deviation = oxDeviation::compute(*from.scene, *from.reference);
        _deviationScene = from.sceneVersion;
        _deviationReference = from.referenceVersion;
        _deviationThread = std::this_thread::get_id();
        ++_deviationsMeasured;
    }
    return _deviation;
}

void oxDerivedData::dropDeviation()
{
    const std::lock_guard<std::mutex> lock(_mutex);
    _deviation.reset();
}

float oxDerivedData::deviationTolerance(const Sources& from, const oxHostAnalysisSettings& settings)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    if (!_haveTolerance || _toleranceReference != from.referenceVersion ||
        _toleranceSetting != settings.DeviationTolerance)
    {
        _tolerance = from.reference ? float(oxDeviation::tolerance(settings, *from.reference)) : 0.f;
        _toleranceReference = from.referenceVersion;
        _toleranceSetting = settings.DeviationTolerance;
        _haveTolerance = true;
    }
    return _tolerance;
}

std::vector<oxOverlay::Polyline> oxDerivedData::continuityLines(const Sources& from)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    std::map<std::shared_ptr<const oxCadModel>, std::vector<oxOverlay::Polyline>> kept;
    std::vector<oxOverlay::Polyline> lines;
    for (size_t i = 0; i < from.scene->meshCount(); ++i)
        if (const oxCadMesh* cad = from.scene->cad(i))
        {
            auto found = _edges.find(cad->model);
            std::vector<oxOverlay::Polyline>& edges = kept[cad->model];
            if (found != _edges.end())
                edges = std::move(found->second);
            else
                for (oxEdgeContinuity& e : cad->model->continuity(oxContinuityTolerances()))
                    edges.push_back({std::move(e.polyline), oxRenderer::continuityColor(e.continuity), 3.f});
            lines.insert(lines.end(), edges.begin(), edges.end());
        }
    _edges = std::move(kept);
    return lines;
}

std::thread::id oxDerivedData::deviationThread() const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return _deviationThread;
}
