#pragma once

#include "OSGVector.h"

// A pinhole or parallel camera: eye, look-at target, up vector and vertical field of view.
// Camera space: x right, y up, z forward (the depth of a point is its z).
class oxRenderCamera
{
public:
    osg::Pnt3f from{0.f, 0.f, 100.f};
    osg::Pnt3f at{0.f, 0.f, 0.f};
    osg::Vec3f up{0.f, 1.f, 0.f};
    float fovDegrees = 45.f;
    bool orthographic = false;
    // Height of the parallel view; 0 takes what the perspective view shows at the target.
    float orthographicHeight = 0.f;

    // Keeps the view direction and the field of view, and moves the target to the box's centre
    // and the eye back until the box's bounding sphere fits the view (both ways for wide images).
    void frame(const osg::Pnt3f& min, const osg::Pnt3f& max, float aspect = 1.f);

    // Fixes the image size; call before ray or project.
    void setup(int width, int height);

    // The ray through image point (x, y), pixel centres at +0.5; direction is unit length.
    void ray(float x, float y, osg::Pnt3f& origin, osg::Vec3f& direction) const;
    // Camera-space coordinates of a world point.
    osg::Vec3f toCamera(const osg::Pnt3f& p) const;
    // Image point of a camera-space point in front of the camera (z > 0 for perspective).
    void toImage(const osg::Vec3f& c, double& x, double& y) const;
    // Distance of the near plane for clipping (perspective; smaller for a camera close to its
    // target), or 0 (parallel).
    double nearPlane() const;

    const osg::Vec3f& forward() const { return _forward; }

private:
    osg::Vec3f _right{1.f, 0.f, 0.f}, _up{0.f, 1.f, 0.f}, _forward{0.f, 0.f, -1.f};
    double _width = 1, _height = 1;
    double _scale = 1; // perspective: tan(fov / 2); parallel: half the view height
};
