#pragma once

#include "oxDerivedData.h"
#include "oxDeviation.h"
#include "oxFrame.h"
#include "oxOverlay.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"

#include <QImage>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class oxCompareView;

// The host's analysis raytracer: renders the host's view as the host's settings say.
// - scene: the active geometry under oxScenegraph::getRoot(), re-read only where it changed;
// - camera: the host's position and field of view (oxOSGWidget), orthographic when the main
//   widget's camera is, looking at this renderer's target with its up vector;
// - the rest of the frame (shading, downscale, what goes on top and in which order): oxFrame.
class oxRenderer
{
public:
    static oxRenderer& the();

    // The host's view as oxFrame::request reads it.
    QImage renderView(const oxFrame::View& view);
    // A frame as requested (for instance the host's view with other settings), its derived data
    // measured and the frame traced here, on the caller's thread.
    QImage render(const oxFrame::Request& request);
    // PNG unless the file name's suffix names another format Qt writes. On failure error names the
    // file. Files are usually made with DefaultFileSamples.
    bool renderToFile(const std::string& path, const oxFrame::View& view, std::string& error);
    static constexpr int DefaultFileSamples = 3;

    // The size of the last view rendered (renderView), or as set, for pixel positions in the view.
    void setViewSize(int width, int height);
    int viewWidth() const { return _viewWidth; }
    int viewHeight() const { return _viewHeight; }

    // The point the host camera looks at, and its up vector (the host widget keeps neither).
    void setLookAt(const osg::Pnt3f& target, const osg::Vec3f& up);
    const osg::Pnt3f& target() const { return _target; }
    const osg::Vec3f& up() const { return _up; }

    // The camera of the host's current view.
    oxRenderCamera hostCamera() const;
    // The host camera moved back along its view direction to show the whole scene; false for an
    // empty scene. The caller applies it (position and fov to the host, target here).
    bool framedCamera(float aspect, oxRenderCamera& camera);

    // Shared edges of CAD faces drawn over the image, coloured by continuity class with the
    // default tolerances: G3 blue, G2 green, G1 yellow, G0 red, open magenta.
    void setShowContinuity(bool show) { _showContinuity = show; }
    bool showContinuity() const { return _showContinuity; }
    // The shared CAD edges of the synced scene in their class colours, measured once per model.
    std::vector<oxOverlay::Polyline> continuityLines() { return _derived.continuityLines(sources()); }
    // Edges lie on the surfaces, the traced depth on the triangles: some slack for the chords.
    static constexpr float ContinuityDepthSlack = 0.01f;
    static osg::Color3f continuityColor(oxEdgeContinuity::Class c);

    // Marks the host puts on the model (the check's findings), world space; every request takes them.
    void setMarkers(std::vector<oxOverlay::Polyline> markers) { _markers = std::move(markers); }
    const std::vector<oxOverlay::Polyline>& markers() const { return _markers; }
    // Markers show through the model: a finding on its far side is still seen, and a marker's
    // arms are not cut by the surface it marks.
    static constexpr float MarkerDepthSlack = 1e9f;

    // The curvature combs the settings ask for over the synced scene, computed again only when the
    // scene or the comb settings change.
    std::vector<oxOverlay::Polyline> combLines(const oxHostAnalysisSettings& settings)
    {
        return _derived.combLines(sources(), settings);
    }

    // The reference a model is measured against (not under the host's root, not coloured).
    // setReference replaces it whole; an empty list drops it.
    void setReference(std::vector<std::shared_ptr<const oxRenderMesh>> meshes,
                      std::vector<std::shared_ptr<const oxCadMesh>> cad = {});
    const oxRenderScene& reference() const { return _reference; }
    bool hasReference() const { return _reference.meshCount() > 0; }
    // The synced scene's distances to the reference, computed again only when the scene or the
    // reference changes; null without a reference. Slow on a large model: not on a GUI thread.
    std::shared_ptr<const oxDeviationField> deviation() { return _derived.deviation(sources()); }
    // The tolerance the deviation is coloured with: DeviationTolerance, or its default from the reference.
    float deviationTolerance(const oxHostAnalysisSettings& settings)
    {
        return _derived.deviationTolerance(sources(), settings);
    }
    // Whether frames show the reference as a faint ghost (on by default).
    void setShowReference(bool show) { _showReference = show; }
    bool showReference() const { return _showReference; }

    // A comparison of two releases whose new part is the synced scene, for CompareActive; it holds
    // only while the scene stays as it was when set: comparison() is null once the scene changed.
    void setComparison(std::shared_ptr<const oxCompareView> comparison)
    {
        _comparison = std::move(comparison);
        _comparisonScene = _sceneVersion;
    }
    std::shared_ptr<const oxCompareView> comparison() const
    {
        return _comparisonScene == _sceneVersion ? _comparison : nullptr;
    }

    // Fills the derived data the request asks for (combs, deviation, continuity lines) from what
    // is kept, measuring what is stale; once per request. Where frames are made: the scene must
    // not change meanwhile (hold sceneMutex on a thread other than the one that syncs it).
    void derive(oxFrame::Request& request);
    // Whether derive would measure the deviation field anew for the request: the slow part.
    bool measuresDeviation(const oxFrame::Request& request) const;
    const oxDerivedData& derived() const { return _derived; }

    // The scene as of the last sync.
    oxRenderScene& scene() { return _scene; }
    // Waits for frames that other threads trace from the scene (they hold sceneMutex) before it
    // changes the scene.
    void syncScene();
    std::mutex& sceneMutex() { return _sceneMutex; }
    // Counts the syncs that changed the scene.
    size_t sceneVersion() const { return _sceneVersion; }

    // How many times render traced its view anew rather than re-shading the one it keeps.
    size_t traces() const { return _surface.traces() + _unkeptTraces; }
    // The largest surface buffer render keeps for the next frame of the same view; larger views
    // (many samples over a large image) are traced and shaded tile by tile without one.
    static constexpr size_t MaxKeptSurfaceBytes = size_t(640) << 20;

private:
    oxRenderer() = default;
    oxDerivedData::Sources sources() const { return {&_scene, _sceneVersion, &_reference, _referenceVersion}; }

    oxRenderScene _scene;
    oxRenderScene _reference;
    size_t _referenceVersion = 0;
    oxDerivedData _derived;
    std::mutex _sceneMutex;
    oxRaytracer _tracer;
    std::vector<float> _depth; // kept from frame to frame, like the raytracer's image
    oxSurfaceBuffer _surface;  // the last view render traced
    size_t _unkeptTraces = 0;
    osg::Pnt3f _target{0.f, 0.f, 0.f};
    osg::Vec3f _up{0.f, 1.f, 0.f};
    int _viewWidth = 1280, _viewHeight = 800;
    bool _showContinuity = false;
    std::vector<oxOverlay::Polyline> _markers;
    bool _showReference = true;
    std::shared_ptr<const oxCompareView> _comparison;
    size_t _comparisonScene = 0;
    // Counts the syncs that changed the scene.
    size_t _sceneVersion = 0;
};
