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
    _derived.dropDeviation();
}

void oxRenderer::derive(oxFrame::Request& request)
{
    if (request.derived)
        return;
    request.derived = true;
    const oxDerivedData::Sources from = sources();
    if (request.hostAnalyses.DeviationActive && hasReference())
    {
        request.deviation = _derived.deviation(from);
        request.deviationTolerance = _derived.deviationTolerance(from, request.hostAnalyses);
    }
    if (request.continuity)
        request.continuityEdges = _derived.continuityLines(from);
    if (request.hostAnalyses.CombActive)
        request.combLines = _derived.combLines(from, request.hostAnalyses);
}

bool oxRenderer::measuresDeviation(const oxFrame::Request& request) const
{
    return request.hostAnalyses.DeviationActive && _derived.deviationStale(sources());
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

QImage oxRenderer::renderView(const oxFrame::View& view)
{
    setViewSize(view.width, view.height);
    return render(oxFrame::request(view));
}

QImage oxRenderer::render(const oxFrame::Request& request)
{
    // This renderer's scene, whatever version the request read.
    oxFrame::Request r = request;
    r.sceneVersion = _sceneVersion;
    derive(r);
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

osg::Color3f oxRenderer::continuityColor(oxEdgeContinuity::Class c)
{
    switch (c)
    {
    case oxEdgeContinuity::G3:
        return osg::Color3f(0.1f, 0.45f, 0.95f);
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

bool oxRenderer::renderToFile(const std::string& path, const oxFrame::View& view, std::string& error)
{
    const QString file = QString::fromStdString(path);
    const int width = view.width, height = view.height, samples = view.samples;
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
    const QImage image = renderView(view);
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
