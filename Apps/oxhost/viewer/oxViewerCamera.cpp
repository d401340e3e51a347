#include "oxViewerCamera.h"

#include "InteractionManager.h"
#include "oxController.h"
#include "oxHostAnalysisKinds.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
// The turntable's axis: Z, or Y for models made that way.
osg::Vec3f s_up(0.f, 0.f, 1.f);

// The direction a front view looks along, and the view's right, for the up axis.
osg::Vec3f frontDirection()
{
    return s_up[2] > 0.5f ? osg::Vec3f(0.f, 1.f, 0.f) : osg::Vec3f(0.f, 0.f, -1.f);
}

using oxRenderMath::unit;

const std::pair<const char*, oxViewerCamera::View> viewsByName[] = {
    {"iso", oxViewerCamera::Isometric}, {"top", oxViewerCamera::Top},   {"bottom", oxViewerCamera::Bottom},
    {"front", oxViewerCamera::Front},   {"back", oxViewerCamera::Back}, {"left", oxViewerCamera::Left},
    {"right", oxViewerCamera::Right}};

// Rodrigues' rotation of v about a unit axis.
osg::Vec3f rotated(const osg::Vec3f& v, const osg::Vec3f& axis, float degrees)
{
    const float a = degrees * float(M_PI) / 180.f;
    const float c = std::cos(a), s = std::sin(a);
    return v * c + axis.cross(v) * s + axis * (axis.dot(v) * (1.f - c));
}

// The up vector for a view direction: Z, unless the view looks (nearly) along Z.
osg::Vec3f upFor(const osg::Vec3f& forward)
{
    return std::fabs(unit(forward).dot(s_up)) > 0.99999f ? frontDirection() : s_up;
}
} // namespace

oxRenderCamera oxViewerCamera::current()
{
    return oxRenderer::the().hostCamera();
}

void oxViewerCamera::apply(const oxRenderCamera& camera)
{
    oxRenderer::the().setLookAt(camera.at, camera.up);
    oxOSGWidget::setCamera(camera.from, camera.fovDegrees);
    if (oxOSGWidget* widget = oxOSGWidget::getMGLW(-1))
    {
        osg::UberCameraPtr uber = widget->getUberCamera();
        if (uber != osg::NullFC && uber->isOrthographic() != camera.orthographic)
        {
            osg::beginEditCP(uber, osg::UberCamera::OrthographicFieldMask);
            {
                uber->setOrthographic(camera.orthographic);
            }
            osg::endEditCP(uber, osg::UberCamera::OrthographicFieldMask);
        }
    }
    oxk::interaction::InteractionManager::getInstance()->cameraMoved();
    oxMessage msg;
    oxController::raiseCB("changedNavigator", msg);
}

void oxViewerCamera::orbit(float yawDegrees, float pitchDegrees)
{
    oxRenderCamera c = current();
    osg::Vec3f offset = c.from - c.at;
    offset = rotated(offset, s_up, yawDegrees);
    const osg::Vec3f forward = unit(-offset);
    const osg::Vec3f right = unit(forward.cross(s_up));
    // Keep at least a degree from either pole, where the turntable's up would flip.
    const float elevation = std::asin(std::clamp(unit(offset).dot(s_up), -1.f, 1.f)) * 180.f / float(M_PI);
    const float pitch = std::clamp(pitchDegrees, -89.f - elevation, 89.f - elevation);
    if (right.length() > 0.5f)
        offset = rotated(offset, right, -pitch);
    c.from = c.at + offset;
    c.up = upFor(-offset);
    apply(c);
}

void oxViewerCamera::pan(const QPointF& delta, const QSize& view)
{
    oxRenderCamera c = current();
    const oxRenderMath::ViewAxes axes = oxRenderMath::viewAxes(c.from, c.at, c.up);
    const float size = float(oxRenderMath::pixelSize((c.at - c.from).length(), c.fovDegrees, view.height()));
    const osg::Vec3f move = (axes.right * float(-delta.x()) + axes.up * float(delta.y())) * size;
    c.from = c.from + move;
    c.at = c.at + move;
    apply(c);
}

void oxViewerCamera::zoom(float steps, const QPointF& cursor, const QSize& view)
{
    oxRenderCamera c = current();
    osg::Pnt3f origin;
    osg::Vec3f direction;
    ray(cursor, view, origin, direction);
    const osg::Vec3f forward = unit(c.at - c.from);
    const float along = direction.dot(forward);
    if (along < 1e-6f)
        return;
    const float t = (c.at - origin).dot(forward) / along;
    const osg::Pnt3f focus = origin + direction * t;
    const float s = 1.f - std::pow(0.85f, steps);
    c.from = c.from + (focus - c.from) * s;
    c.at = c.at + (focus - c.at) * s;
    apply(c);
}

void oxViewerCamera::recentre(const osg::Pnt3f& point)
{
    oxRenderCamera c = current();
    const osg::Vec3f offset = c.from - c.at;
    c.at = point;
    c.from = point + offset;
    apply(c);
}

void oxViewerCamera::frame(const osg::Pnt3f& point, float radius)
{
    oxRenderCamera c = current();
    const osg::Vec3f forward = unit(c.at - c.from);
    const float half = std::clamp(c.fovDegrees, 1.f, 170.f) * float(M_PI) / 360.f;
    c.at = point;
    c.from = point - forward * (std::max(radius, 1e-6f) / std::tan(half));
    apply(c);
}

bool oxViewerCamera::fit(const QSize& view)
{
    oxRenderCamera c;
    const float aspect = float(std::max(1, view.width())) / float(std::max(1, view.height()));
    if (!oxRenderer::the().framedCamera(aspect, c))
        return false;
    apply(c);
    return true;
}

void oxViewerCamera::setView(View which, const QSize& view)
{
    const osg::Vec3f front = frontDirection(), right = front.cross(s_up);
    const osg::Vec3f directions[] = {front, -front, right, -right, -s_up, s_up, -right + front * 1.2f - s_up * 0.8f};
    oxRenderCamera c = current();
    const osg::Vec3f forward = unit(directions[which]);
    const float distance = std::max(1e-3f, (c.at - c.from).length());
    c.from = c.at - forward * distance;
    c.up = which == Top ? front : which == Bottom ? -front : s_up;
    apply(c);
    fit(view);
}

bool oxViewerCamera::viewNamed(const std::string& name, View& which)
{
    for (const auto& view : viewsByName)
        if (name == view.first)
        {
            which = view.second;
            return true;
        }
    return false;
}

std::vector<std::string> oxViewerCamera::viewNames()
{
    std::vector<std::string> names;
    for (const auto& view : viewsByName)
        names.push_back(view.first);
    return names;
}

void oxViewerCamera::setUpAxis(Axis axis)
{
    s_up = axis == YUp ? osg::Vec3f(0.f, 1.f, 0.f) : osg::Vec3f(0.f, 0.f, 1.f);
    oxHostAnalysisKinds::setUpAxis(s_up);
}

oxViewerCamera::Axis oxViewerCamera::upAxis()
{
    return s_up[1] > 0.5f ? YUp : ZUp;
}

void oxViewerCamera::setOrthographic(bool orthographic)
{
    oxRenderCamera c = current();
    c.orthographic = orthographic;
    apply(c);
}

bool oxViewerCamera::isOrthographic()
{
    return current().orthographic;
}

bool oxViewerCamera::project(const osg::Pnt3f& point, const QSize& view, QPointF& pixel)
{
    oxRenderCamera c = current();
    c.setup(std::max(1, view.width()), std::max(1, view.height()));
    const osg::Vec3f p = c.toCamera(point);
    if (!c.orthographic && p[2] <= c.nearPlane())
        return false;
    double x = 0, y = 0;
    c.toImage(p, x, y);
    pixel = QPointF(x, y);
    return true;
}

void oxViewerCamera::ray(const QPointF& pixel, const QSize& view, osg::Pnt3f& origin, osg::Vec3f& direction)
{
    oxRenderCamera c = current();
    c.setup(std::max(1, view.width()), std::max(1, view.height()));
    c.ray(float(pixel.x()), float(pixel.y()), origin, direction);
}
