#include "oxViewerView.h"

#include "InteractionManager.h"
#include "ManipulatorInteractionContext.h"
#include "OSGGeometry.h"
#include "OSGTransform3D.h"
#include "UniversalTransformManipulator2.h"
#include "oxHostAnalysisModel.h"
#include "oxOSGWidgetPicker.h"
#include "oxViewerCamera.h"
#include "oxProbe.h"
#include "oxRenderMath.h"
#include "oxRenderer.h"
#include "oxUndoStack.h"
#include "oxViewerRenderer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <functional>
#include <limits>
#include <mutex>

namespace Manip = oxk::manipulator;
using oxk::interaction::InteractionManager;
using oxk::interaction::PointerAction;

namespace
{
const double HandleRadius = 7.0;    // pixels
const double HandleDistance = 90.0; // from the plane's origin, pixels
const double ClickSlop = 4.0;       // a press that moves less than this is a click
const float OrbitDegreesPerPixel = 0.4f;
const float TurnDegreesPerPixel = 0.5f;

// The manipulators whose contexts the interaction manager has: the visuals that can be dragged now.
std::vector<Manip::UniversalTransformManipulator2*> liveManipulators()
{
    std::vector<Manip::UniversalTransformManipulator2*> live;
    for (auto* context : InteractionManager::getInstance()->getContexts())
        if (auto* m = dynamic_cast<Manip::ManipulatorInteractionContext*>(context))
            if (m->isEnabled() && m->getManipulator() && m->getManipulator()->getNode() != osg::NullFC)
                live.push_back(m->getManipulator());
    return live;
}

osg::Transform3DPtr transformOf(const Manip::UniversalTransformManipulator2* manipulator)
{
    return manipulator && manipulator->getNode() != osg::NullFC
               ? osg::Transform3DPtr::dcast(manipulator->getNode()->getCore())
               : osg::Transform3DPtr();
}

// Every active geometry under node, with its world matrix.
void forEachGeometry(const osg::NodePtr& node,
                     const std::function<void(const osg::GeometryPtr&, const osg::Matrix&)>& fn)
{
    if (node == osg::NullFC || !node->getActive())
        return;
    const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getCore());
    if (geometry != osg::NullFC && geometry->getPositions() != osg::NullFC)
        fn(geometry, node->getToWorld());
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        forEachGeometry(node->getChild(i), fn);
}

using oxRenderMath::unit;

// How long the cursor rests before the probe reads the surface under it.
const int ProbeRestMs = 60;
} // namespace

// Camera changes made elsewhere (a script's setCamera or frameScene) reach the view the way they
// reach every interaction context. It comes last and takes no events.
class oxViewerView::CameraWatch : public oxk::interaction::AbstractInteractionContext
{
public:
    explicit CameraWatch(oxViewerView* view) : AbstractInteractionContext(std::numeric_limits<int>::max()), _view(view)
    {
        setAcceptsTriggers(false);
    }
    void cameraMoved(InteractionManager*) override { _view->changed(_view->isInteracting()); }

private:
    oxViewerView* _view;
};

oxViewerView::oxViewerView(QWidget* parent)
    : oxOSGWidget(parent), _renderer(new oxViewerRenderer(this)), _cameraWatch(std::make_unique<CameraWatch>(this))
{
    InteractionManager::getInstance()->addContext(_cameraWatch.get());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 100);
    connect(_renderer, &oxViewerRenderer::frameReady, this, qOverload<>(&QWidget::update));
    _probeTimer.setSingleShot(true);
    _probeTimer.setInterval(ProbeRestMs);
    connect(&_probeTimer, &QTimer::timeout, this, &oxViewerView::probeUnderCursor);
}

oxViewerView::~oxViewerView()
{
    if (_dragged)
        _dragged->endDrag();
}

void oxViewerView::changed(bool interactive)
{
    _renderer->setSize(size());
    _renderer->request(interactive);
}

void oxViewerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage& image = _renderer->image();
    if (image.isNull())
        painter.fillRect(rect(), QColor(60, 60, 66));
    else
        painter.drawImage(rect(), image);
    if (!_hover.manipulator)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor highlight(255, 200, 40);
    painter.setPen(QPen(highlight, _hover.handle ? 1.0 : 2.0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(visualBounds(_hover.manipulator).adjusted(-4, -4, 4, 4), 6, 6);
    const std::vector<QPointF> handles = handlePixels(_hover.manipulator);
    for (std::size_t i = 0; i + 1 < handles.size(); i += 2)
    {
        painter.setPen(QPen(highlight, 1.5));
        painter.drawLine(handles[i], handles[i + 1]);
    }
    for (const QPointF& p : handles)
    {
        painter.setPen(QPen(Qt::black, 1.0));
        painter.setBrush(highlight);
        painter.drawEllipse(p, HandleRadius, HandleRadius);
    }
}

void oxViewerView::resizeEvent(QResizeEvent* event)
{
    oxOSGWidget::resizeEvent(event);
    changed(true);
}

// A movable visual (the light plane) gets four turning handles at a fixed distance on the screen
// from its origin, along its own U and V axes: they stay in reach whatever the plane's size.
std::vector<QPointF> oxViewerView::handlePixels(Manip::UniversalTransformManipulator2* manipulator) const
{
    std::vector<QPointF> pixels;
    const osg::Transform3DPtr core = transformOf(manipulator);
    if (core == osg::NullFC || manipulator->getMode() != Manip::UniversalTransformManipulator2::TranslateRotateMode)
        return pixels;
    const osg::Vec3f t = core->getTranslation();
    const osg::Pnt3f origin(t[0], t[1], t[2]);
    QPointF centre;
    if (!oxViewerCamera::project(origin, size(), centre))
        return pixels;
    const oxRenderCamera camera = oxViewerCamera::current();
    const float reach = 0.01f * std::max(1e-3f, (origin - camera.from).length());
    for (const osg::Vec3f& local : {osg::Vec3f(1, 0, 0), osg::Vec3f(0, 1, 0)})
    {
        osg::Vec3f axis;
        core->getRotation().multVec(local, axis);
        QPointF along;
        if (!oxViewerCamera::project(origin + axis * reach, size(), along))
            continue;
        const QPointF d = along - centre;
        const double length = std::hypot(d.x(), d.y());
        if (length < 1e-3)
            continue;
        pixels.push_back(centre + d * (HandleDistance / length));
        pixels.push_back(centre - d * (HandleDistance / length));
    }
    return pixels;
}

QRectF oxViewerView::visualBounds(Manip::UniversalTransformManipulator2* manipulator) const
{
    QRectF bounds;
    forEachGeometry(manipulator->getNode(),
                    [&](const osg::GeometryPtr& geometry, const osg::Matrix& world)
                    {
                        const osg::GeoPositions3fPtr positions = geometry->getPositions();
                        const osg::UInt32 step = std::max<osg::UInt32>(1, positions->size() / 256);
                        for (osg::UInt32 i = 0; i < positions->size(); i += step)
                        {
                            osg::Pnt3f p;
                            world.multMatrixPnt(positions->getValue(i), p);
                            QPointF pixel;
                            if (oxViewerCamera::project(p, size(), pixel))
                                bounds = bounds.isNull() ? QRectF(pixel, QSizeF(1, 1))
                                                         : bounds.united(QRectF(pixel, QSizeF(1, 1)));
                        }
                    });
    return bounds;
}

oxViewerView::Hover oxViewerView::hoverAt(const QPointF& pixel) const
{
    Hover hover;
    const std::vector<Manip::UniversalTransformManipulator2*> live = liveManipulators();
    for (auto* manipulator : live)
        for (const QPointF& handle : handlePixels(manipulator))
            if (std::hypot(handle.x() - pixel.x(), handle.y() - pixel.y()) <= HandleRadius + 2)
                return Hover{manipulator, true};

    // The visuals' own geometry under the cursor, nearest first, as the host's picker sees it.
    osg::Pnt3f origin;
    osg::Vec3f direction;
    oxViewerCamera::ray(pixel, size(), origin, direction);
    oxOSGWidgetPicker picker;
    picker.setPickOnlyAuxiliaryGeometry(true);
    if (!picker.pick(origin, direction))
        return hover;
    osg::NodePtr node;
    for (int i = 0; picker.getHitNode(node, i); ++i)
        for (osg::NodePtr up = node; up != osg::NullFC; up = up->getParent())
            for (auto* manipulator : live)
                if (manipulator->getNode() == up)
                    return Hover{manipulator, false};
    return hover;
}

void oxViewerView::setHover(const Hover& hover)
{
    if (hover.manipulator == _hover.manipulator && hover.handle == _hover.handle)
        return;
    _hover = hover;
    QString text;
    if (hover.manipulator)
    {
        switch (hover.manipulator->getMode())
        {
        case Manip::UniversalTransformManipulator2::TranslateRotateMode:
            text = hover.handle ? tr("Light plane: drag to turn it") : tr("Light plane: drag to move it");
            break;
        case Manip::UniversalTransformManipulator2::RotateMode:
            text = tr("Light sphere: drag to turn it");
            break;
        case Manip::UniversalTransformManipulator2::TranslateRotateYZMode:
            text = tr("Light direction: drag to turn it");
            break;
        }
    }
    setCursor(hover.manipulator ? (hover.handle ? Qt::CrossCursor : Qt::OpenHandCursor) : Qt::ArrowCursor);
    Q_EMIT status(text);
    update();
}

// The pointer ray to the interaction manager's tools; true when one took it.
bool oxViewerView::toolPointer(const QPointF& pixel, int action)
{
    osg::Pnt3f origin;
    osg::Vec3f direction;
    oxViewerCamera::ray(pixel, size(), origin, direction);
    return InteractionManager::getInstance()->pointerRay(origin, direction, PointerAction(action));
}

void oxViewerView::mousePressEvent(QMouseEvent* event)
{
    if (_drag != Drag::None)
        return;
    _pressAt = _last = event->localPos();
    _dragButton = event->button();
    if (event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && event->modifiers() & Qt::ShiftModifier))
    {
        _drag = Drag::Pan;
        return;
    }
    if (event->button() == Qt::RightButton && event->modifiers() & Qt::ShiftModifier &&
        oxHostAnalysisModel::the()->getEnvironmentActive())
    {
        _drag = Drag::Environment;
        _environmentStartTurn = oxHostAnalysisModel::the()->getEnvironmentTurn();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const Hover hover = hoverAt(_pressAt);
    if (hover.manipulator)
    {
        beginLightDrag(hover, _pressAt);
        return;
    }
    // "Pick a face" takes the next click on the model; a drag still orbits.
    if (oxHostAnalysisModel::the()->facePick())
    {
        _drag = Drag::FacePick;
        return;
    }
    _drag = toolPointer(_pressAt, int(PointerAction::Press)) ? Drag::Tool : Drag::Orbit;
}

void oxViewerView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->localPos();
    const QPointF delta = at - _last;
    _last = at;
    switch (_drag)
    {
    case Drag::None:
        setHover(hoverAt(at));
        _probeAt = at;
        _probeTimer.start();
        return;
    case Drag::FacePick:
        if (std::hypot(at.x() - _pressAt.x(), at.y() - _pressAt.y()) < ClickSlop)
            return;
        _drag = Drag::Orbit;
        [[fallthrough]];
    case Drag::Orbit:
        oxViewerCamera::orbit(-float(delta.x()) * OrbitDegreesPerPixel, -float(delta.y()) * OrbitDegreesPerPixel);
        changed(true);
        return;
    case Drag::Pan:
        oxViewerCamera::pan(delta, size());
        changed(true);
        return;
    case Drag::Tool:
        return;
    case Drag::Move:
    case Drag::Turn:
        dragLight(at);
        return;
    case Drag::Environment:
        dragEnvironment(at);
        return;
    }
}

// Across the view's width the environment turns once round, as the orbit turns the view.
void oxViewerView::dragEnvironment(const QPointF& pixel)
{
    if (!_environmentMacro)
    {
        oxUndoStack::get(0).beginMacro(tr("Turn the environment"));
        _environmentMacro = true;
    }
    const float turn = _environmentStartTurn + float(pixel.x() - _pressAt.x()) * 360.f / float(std::max(1, width()));
    oxHostAnalysisModel::the()->setEnvironmentTurn(std::remainder(turn, 360.f));
}

void oxViewerView::mouseReleaseEvent(QMouseEvent* event)
{
    // Only the button that began the drag ends it.
    if (_drag != Drag::None && event->button() != _dragButton)
        return;
    const QPointF at = event->localPos();
    const Drag drag = _drag;
    _drag = Drag::None;
    if (drag == Drag::Move || drag == Drag::Turn)
        endLightDrag();
    else if (drag == Drag::Tool)
    {
        // A click (not a drag) is the tool's trigger: the normal pick aims the light.
        toolPointer(at, int(PointerAction::Release));
        if (std::hypot(at.x() - _pressAt.x(), at.y() - _pressAt.y()) < ClickSlop)
            InteractionManager::getInstance()->trigger("trigger");
    }
    else if (drag == Drag::FacePick)
        oxHostAnalysisModel::the()->pickFace(at.x(), at.y(), width(), height());
    else if (drag == Drag::Orbit || drag == Drag::Pan)
        changed(false);
    else if (drag == Drag::Environment && _environmentMacro)
    {
        _environmentMacro = false;
        oxUndoStack::get(0).endMacro();
    }
    setHover(hoverAt(at));
}

void oxViewerView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    osg::Pnt3f origin;
    osg::Vec3f direction;
    oxViewerCamera::ray(event->localPos(), size(), origin, direction);
    oxOSGWidgetPicker picker;
    osg::Vec3f point;
    if (picker.pick(origin, direction) && picker.getHitPoint(point, 0))
    {
        oxViewerCamera::recentre(osg::Pnt3f(point[0], point[1], point[2]));
        changed(false);
    }
}

void oxViewerView::wheelEvent(QWheelEvent* event)
{
    const float steps = float(event->angleDelta().y()) / 120.f;
    if (steps == 0.f)
        return;
    oxViewerCamera::zoom(steps, event->position(), size());
    changed(true);
}

void oxViewerView::leaveEvent(QEvent*)
{
    if (_drag == Drag::None)
        setHover(Hover());
    _probeTimer.stop();
    Q_EMIT probed(QString());
}

namespace
{
QString probeText(const oxProbe& p)
{
    const auto number = [](double v) { return QString::number(v, 'g', 4); };
    const double bend = std::max(std::fabs(double(p.k1)), std::fabs(double(p.k2)));
    return oxViewerView::tr("k1 %1  k2 %2  mean %3  Gauss %4  R min %5  (%6)")
        .arg(number(p.k1), number(p.k2), number(0.5 * (double(p.k1) + p.k2)), number(double(p.k1) * p.k2),
             bend > 0 ? number(1.0 / bend) : QString::fromUtf8("\u221e"),
             p.exact ? oxViewerView::tr("exact") : oxViewerView::tr("estimated"));
}
} // namespace

// The surface under the cursor as the last full frame found it, or else one ray through the
// cursor. A frame being traced holds the scene; the probe then tries again a moment later instead
// of making the window wait for the frame.
void oxViewerView::probeUnderCursor()
{
    oxProbe p;
    bool hit = false;
    if (_renderer->probe(_probeAt, hit, p))
    {
        Q_EMIT probed(hit ? probeText(p) : QString());
        return;
    }
    oxRenderer& renderer = oxRenderer::the();
    std::unique_lock<std::mutex> lock(renderer.sceneMutex(), std::try_to_lock);
    if (!lock.owns_lock())
    {
        _probeTimer.start();
        return;
    }
    osg::Pnt3f origin;
    osg::Vec3f direction;
    oxViewerCamera::ray(_probeAt, size(), origin, direction);
    Q_EMIT probed(oxProbe::trace(renderer.scene(), origin, direction, p) ? probeText(p) : QString());
}

void oxViewerView::beginLightDrag(const Hover& hover, const QPointF& pixel)
{
    const osg::Transform3DPtr core = transformOf(hover.manipulator);
    if (core == osg::NullFC || !hover.manipulator->beginDrag())
        return;
    _dragged = hover.manipulator;
    _dragStartTranslation = core->getTranslation();
    _dragStartEuler = core->getEulerRotation();
    const bool movable = hover.manipulator->getMode() == Manip::UniversalTransformManipulator2::TranslateRotateMode;
    _drag = movable && !hover.handle ? Drag::Move : Drag::Turn;
    _pressAt = pixel;
    setCursor(Qt::ClosedHandCursor);
    Q_EMIT status(_drag == Drag::Move ? tr("Moving the light") : tr("Turning the light"));
}

// The body follows the cursor in the view plane at the visual's depth; a turn is a trackball
// about the visual's origin, the front of the visual going the way the cursor goes.
void oxViewerView::dragLight(const QPointF& pixel)
{
    if (!_dragged)
        return;
    const oxRenderCamera camera = oxViewerCamera::current();
    const oxRenderMath::ViewAxes axes = oxRenderMath::viewAxes(camera.from, camera.at, camera.up);
    const osg::Vec3f &right = axes.right, &up = axes.up, &forward = axes.forward;
    const QPointF delta = pixel - _pressAt;
    osg::Vec3f translation = _dragStartTranslation;
    osg::Vec3f euler = _dragStartEuler;
    if (_drag == Drag::Move)
    {
        const float depth = std::max(1e-3f, (_dragStartTranslation - camera.from.subZero()).dot(forward));
        const float distance = camera.orthographic ? (camera.at - camera.from).length() : depth;
        const float pixelSize = float(oxRenderMath::pixelSize(distance, camera.fovDegrees, height()));
        translation += (right * float(delta.x()) - up * float(delta.y())) * pixelSize;
    }
    else
    {
        const osg::Vec3f move = right * float(delta.x()) - up * float(delta.y());
        const float length = move.length();
        if (length > 0.f)
        {
            const osg::Vec3f axis = unit((-forward).cross(move));
            const osg::Quaternion turn(axis, length * TurnDegreesPerPixel * float(M_PI) / 180.f);
            euler = osg::Transform3D::quaternionToEuler(turn * osg::Transform3D::eulerToQuaternion(_dragStartEuler));
        }
    }
    _dragged->dragTo({translation, euler});
    changed(true);
}

void oxViewerView::endLightDrag()
{
    if (!_dragged)
        return;
    Manip::UniversalTransformManipulator2* dragged = _dragged;
    _dragged = nullptr;
    dragged->endDrag();
    changed(false);
}
