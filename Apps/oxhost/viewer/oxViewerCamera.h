#pragma once

#include "oxRenderCamera.h"

#include <QPointF>
#include <QSize>

#include <string>
#include <vector>

// Navigation of the host's view camera, as the viewer's mouse and View menu do it. Every change
// goes to the host as navigation does: the render widget's position and field of view (a new
// field of view is announced through the camera connector), the renderer's target and up, the
// interaction contexts' cameraMoved, then the "changedNavigator" callback.
class oxViewerCamera
{
public:
    enum View
    {
        Front,
        Back,
        Left,
        Right,
        Top,
        Bottom,
        Isometric
    };

    enum Axis
    {
        ZUp,
        YUp
    };
    // The turntable's axis and the standard views' up; Z unless set.
    static void setUpAxis(Axis axis);
    static Axis upAxis();

    static oxRenderCamera current();
    static void apply(const oxRenderCamera& camera);

    // Turntable about the target: yaw about the up axis, pitch about the view's right axis,
    // stopping short of the poles.
    static void orbit(float yawDegrees, float pitchDegrees);
    // Moves eye and target so that the point under the cursor follows it by (dx, dy) pixels.
    static void pan(const QPointF& delta, const QSize& view);
    // Moves eye and target toward the point under the cursor, on the target's plane; steps > 0 in.
    static void zoom(float steps, const QPointF& cursor, const QSize& view);
    // The target moves to the point; the eye keeps its offset from the target.
    static void recentre(const osg::Pnt3f& point);
    // Looks at the point from the current direction, near enough that a sphere of the radius
    // about it fills the view's height.
    static void frame(const osg::Pnt3f& point, float radius);
    // Frames the whole model from the current direction; false for an empty model.
    static bool fit(const QSize& view);
    // Looks along one of the standard directions, then frames the model.
    static void setView(View which, const QSize& view);
    // The views by the names the command line and scripts use: iso, top, bottom, front, back,
    // left, right. False for another name.
    static bool viewNamed(const std::string& name, View& which);
    static std::vector<std::string> viewNames();
    static void setOrthographic(bool orthographic);
    static bool isOrthographic();

    // The view pixel of a world point; false when it is behind the camera.
    static bool project(const osg::Pnt3f& point, const QSize& view, QPointF& pixel);
    // The ray through a view pixel.
    static void ray(const QPointF& pixel, const QSize& view, osg::Pnt3f& origin, osg::Vec3f& direction);
};
