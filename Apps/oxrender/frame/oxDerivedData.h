#pragma once

#include "oxCadModel.h"
#include "oxDeviation.h"
#include "oxHostAnalysisSettings.h"
#include "oxOverlay.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class oxRenderScene;

// What frames draw that is measured on the model rather than traced: the curvature combs, the
// deviation field and its tolerance, the continuity lines. Each is kept until the scene, the
// reference or a setting it depends on changes. Any thread may ask; one computes at a time, so
// that a frame and a script never measure the same thing twice. The scenes must not change
// while an answer is made (oxRenderer's, under its scene mutex or on the thread that syncs them).
class oxDerivedData
{
public:
    // The model and the reference with their versions (oxRenderer's counts of their changes).
    struct Sources
    {
        const oxRenderScene* scene = nullptr;
        size_t sceneVersion = 0;
        const oxRenderScene* reference = nullptr; // null or empty: no reference
        size_t referenceVersion = 0;
    };

    // The combs settings asks for over the scene.
    std::vector<oxOverlay::Polyline> combLines(const Sources& from, const oxHostAnalysisSettings& settings);
    // The scene's distances to the reference; null without a reference.
    std::shared_ptr<const oxDeviationField> deviation(const Sources& from);
    // DeviationTolerance, or its default from the reference.
    float deviationTolerance(const Sources& from, const oxHostAnalysisSettings& settings);
    // The shared CAD edges of the scene in their continuity class colours.
    std::vector<oxOverlay::Polyline> continuityLines(const Sources& from);

    // Lets the field go before the next is measured: the reference it was measured against went.
    void dropDeviation();
    // Whether deviation(from) would measure anew rather than answer from what is kept.
    bool deviationStale(const Sources& from) const;

    // Counts the deviation fields measured, and the thread that measured the last: a frame's
    // field must not be measured on the thread that shows it.
    size_t deviationsMeasured() const { return _deviationsMeasured; }
    std::thread::id deviationThread() const;
    // Counts the comb sets drawn.
    size_t combsDrawn() const { return _combsDrawn; }

private:
    bool deviationStaleLocked(const Sources& from) const;

    mutable std::mutex _mutex;
    bool _haveCombs = false;
    size_t _combsScene = 0;
    oxHostAnalysisSettings _combSettings;
    std::vector<oxOverlay::Polyline> _combs;
    std::shared_ptr<const oxDeviationField> _deviation;
    size_t _deviationScene = 0, _deviationReference = 0;
    bool _haveTolerance = false;
    size_t _toleranceReference = 0;
    float _toleranceSetting = 0.f, _tolerance = 0.f;
    // The coloured edges per CAD model, measured once per model.
    std::map<std::shared_ptr<const oxCadModel>, std::vector<oxOverlay::Polyline>> _edges;
    std::atomic<size_t> _deviationsMeasured{0}, _combsDrawn{0};
    std::thread::id _deviationThread;
};
