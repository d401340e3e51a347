#pragma once

#include "oxOSGWidget.h"

#include <QPointF>
#include <QTimer>

#include <memory>
#include <vector>

class oxViewerRenderer;

namespace oxk
{
namespace manipulator
{
class UniversalTransformManipulator2;
}
} // namespace oxk

// The viewer's 3D view: the host's render widget showing the raytraced frames, with the mouse
// on the camera and on the light visuals. A press first goes to the visual under the cursor
// (through its manipulator, while the interaction manager has its context), then to the
// interaction manager's tools (the normal pick), and otherwise to the camera.
class oxViewerView : public oxOSGWidget
{
    Q_OBJECT

public:
    explicit oxViewerView(QWidget* parent = nullptr);
    ~oxViewerView() override;

    oxViewerRenderer* renderer() const { return _renderer; }
    // A change of the scene, the settings or the camera: a new frame, coarse first when interactive.
    void changed(bool interactive);

    // What the cursor is over: a visual's manipulator (or null), and whether on a rotation handle.
    struct Hover
    {
        oxk::manipulator::UniversalTransformManipulator2* manipulator = nullptr;
        bool handle = false;
    };
    Hover hoverAt(const QPointF& pixel) const;
    const Hover& hover() const { return _hover; }

    // A mouse drag (camera or light) is under way.
    bool isInteracting() const { return _drag != Drag::None; }

    QSize sizeHint() const override { return QSize(960, 600); }

Q_SIGNALS:
    // A status line for the main window: what is under the cursor, or what a drag does.
    void status(const QString& text);
    // The surface's numbers under the resting cursor (its curvatures), empty off the model.
    void probed(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class Drag
    {
        None,
        Orbit,
        Pan,
        Tool,
        Move,
        Turn,
        FacePick,
        Environment
    };

    void beginLightDrag(const Hover& hover, const QPointF& pixel);
    void dragLight(const QPointF& pixel);
    void endLightDrag();
    void dragEnvironment(const QPointF& pixel);
    void setHover(const Hover& hover);
    bool toolPointer(const QPointF& pixel, int action);
    std::vector<QPointF> handlePixels(oxk::manipulator::UniversalTransformManipulator2* manipulator) const;
    QRectF visualBounds(oxk::manipulator::UniversalTransformManipulator2* manipulator) const;

    void probeUnderCursor();

    class CameraWatch;

    oxViewerRenderer* _renderer;
    std::unique_ptr<CameraWatch> _cameraWatch;
    Drag _drag = Drag::None;
    Qt::MouseButton _dragButton = Qt::NoButton;
    QPointF _pressAt, _last;
    Hover _hover;
    oxk::manipulator::UniversalTransformManipulator2* _dragged = nullptr;
    osg::Vec3f _dragStartTranslation, _dragStartEuler;
    float _environmentStartTurn = 0.f;
    bool _environmentMacro = false; // the drag's edits are one undo step, begun at the first move
    QTimer _probeTimer;             // the probe waits for the cursor to rest
    QPointF _probeAt;
};
