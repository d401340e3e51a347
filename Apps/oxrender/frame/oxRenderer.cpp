#include "oxRenderer.h"

#include "oxAnalysisShading.h"
#include "oxAtomicFile.h"
#include "oxCurvatureComb.h"
#include "oxCurvatureStats.h"
#include "oxOSGWidget.h"
#include "oxOverlay.h"
#include "oxScenegraph.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>

oxRenderer& oxRenderer::the()
{
    static oxRenderer renderer;
    return renderer;
}

void oxRenderer::setLookAt(const osg::Pnt3f& target, const osg::Vec3f& up)
{
    _target = target;
    _up = up;
}

oxRenderCamera oxRenderer::hostCamera() const
{
    oxRenderCamera camera;
    camera.from = oxOSGWidget::getFrom(-1);
    camera.fovDegrees = oxOSGWidget::getFov(-1);
    camera.at = _target;
    camera.up = _up;
    const oxOSGWidget* widget = oxOSGWidget::getMGLW(-1);
    if (widget && widget->getUberCamera() != osg::NullFC)
        camera.orthographic = widget->getUberCamera()->isOrthographic();
    return camera;
}

void oxRenderer::syncScene()
{
    const std::lock_guard<std::mutex> lock(_sceneMutex);
    if (_scene.sync(oxScenegraph::getRoot()))
        ++_sceneVersion;
}

void oxRenderer::setReference(std::vector<std::shared_ptr<const oxRenderMesh>> meshes,
                              std::vector<std::shared_ptr<const oxCadMesh>> cad)
{
    const std::lock_guard<std::mutex> lock(_sceneMutex);
    _reference.setForPointQueries(true);
    _reference.setMeshes(std::move(meshes), std::move(cad));
    ++_referenceVersion;
    _deviation.reset();
}

std::shared_ptr<const oxDeviationField> oxRenderer::deviation()
{
    if (!hasReference())
        return nullptr;
    if (!_deviation || _deviationScene != _sceneVersion || _deviationReference != _referenceVersion)
    {
        _deviation = oxDeviation::compute(_scene, _reference);
        _deviationScene = _sceneVersion;
        _deviationReference = _referenceVersion;
    }
    return _deviation;
}

float oxRenderer::deviationTolerance(const oxHostAnalysisSettings& settings) const
{
    return float(oxDeviation::tolerance(settings, _reference));
}

bool oxRenderer::framedCamera(float aspect, oxRenderCamera& camera)
{
    syncScene();
    osg::Pnt3f min, max;
    if (!_scene.bounds(min, max))
        return false;
    camera = hostCamera();
    camera.frame(min, max, aspect);
    return true;
}

void oxRenderer::setViewSize(int width, int height)
{
    _viewWidth = std::max(1, width);
    _viewHeight = std::max(1, height);
}

QImage oxRenderer::renderView(int width, int height, int samples)
{
    setViewSize(width, height);
    return render(oxFrame::request(width, height, samples));
}

QImage oxRenderer::render(const oxFrame::Request& request)
{
    // This renderer's scene, whatever version the request read.
    oxFrame::Request r = request;
    r.sceneVersion = _sceneVersion;
    oxSurfaceBuffer::Key key = oxFrame::surfaceKey(r);
    key.curvature = true;
    if (oxSurfaceBuffer::bytesFor(key) > MaxKeptSurfaceBytes)
    {
        _surface.clear();
        ++_unkeptTraces;
        return oxFrame::compose(r, _scene, _tracer, _depth);
    }
    oxFrame::Options options;
    options.buffer = &_surface;
    return oxFrame::compose(r, _scene, _tracer, _depth, options);
}

std::vector<oxOverlay::Polyline> oxRenderer::continuityLines()
{
    std::map<std::shared_ptr<const oxCadModel>, std::vector<oxOverlay::Polyline>> kept;
    std::vector<oxOverlay::Polyline> lines;
    for (size_t i = 0; i < _scene.meshCount(); ++i)
        if (const oxCadMesh* cad = _scene.cad(i))
        {
            auto found = _edges.find(cad->model);
            std::vector<oxOverlay::Polyline>& edges = kept[cad->model];
            if (found != _edges.end())
                edges = std::move(found->second);
            else
                for (oxEdgeContinuity& e : cad->model->continuity(oxContinuityTolerances()))
                    edges.push_back({std::move(e.polyline), continuityColor(e.continuity), 3.f});
            lines.insert(lines.end(), edges.begin(), edges.end());
        }
    _edges = std::move(kept);
    return lines;
}

std::vector<oxOverlay::Polyline> oxRenderer::combLines(const oxHostAnalysisSettings& settings)
{
    if (!_haveCombs || _combsScene != _sceneVersion || !oxCurvatureComb::sameCombs(settings, _combSettings))
    {
        _combs = oxCurvatureComb::lines(_scene, settings);
        _combSettings = settings;
        _combsScene = _sceneVersion;
        _haveCombs = true;
    }
    return _combs;
}

osg::Color3f oxRenderer::continuityColor(oxEdgeContinuity::Class c)
{
    switch (c)
    {
    case oxEdgeContinuity::G2:
        return osg::Color3f(0.1f, 0.8f, 0.1f);
    case oxEdgeContinuity::G1:
        return osg::Color3f(0.95f, 0.85f, 0.f);
    case oxEdgeContinuity::G0:
        return osg::Color3f(0.9f, 0.1f, 0.1f);
    case oxEdgeContinuity::Open:
    default:
        return osg::Color3f(0.9f, 0.f, 0.9f);
    }
}

bool oxRenderer::renderToFile(const std::string& path, int width, int height, std::string& error, int samples)
{
    const QString file = QString::fromStdString(path);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
    {
        error = "cannot render \"" + path + "\": the size " + std::to_string(width) + "x" + std::to_string(height) +
                " is not between 1x1 and 16384x16384";
        return false;
    }
    QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    if (samples < 1 || samples > oxRaytracer::MaxSamples)
    {
        error = "cannot render \"" + path + "\": samples must be between 1 and " +
                std::to_string(oxRaytracer::MaxSamples) + ", not " + std::to_string(samples);
        return false;
    }
    const QImage image = renderView(width, height, samples);
    // Encoded first, then written whole, so that a failed write leaves the old image as it was.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    std::string why;
    if (!writer.write(image))
        why = writer.errorString().toStdString();
    else
        oxAtomicFile::save(path, bytes.toStdString(), why);
    if (!why.empty())
    {
        error = "cannot write image \"" + path + "\": " + why;
        return false;
    }
    return true;
}
