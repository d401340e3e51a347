#pragma once

#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGQuaternion.h"
#include "OSGVector.h"
#include "oxSAVisualParts.h"

// The isophote light direction: a double-headed arrow along its local X axis, drawn through
// the model and kept at about the same size on screen. Only its rotation means something.
class oxSALightDirectionHandle
{
public:
    oxSALightDirectionHandle();
    ~oxSALightDirectionHandle();
    oxSALightDirectionHandle(const oxSALightDirectionHandle&) = delete;
    oxSALightDirectionHandle& operator=(const oxSALightDirectionHandle&) = delete;

    void setParent(const osg::NodePtr& parent);
    osg::NodePtr getTransformNode() const { return _transformNode; }
    void setVisible(bool visible);
    bool isVisible() const { return _visible; }

    // Turns the arrow onto the stored light direction (writes only the rotation).
    void setDirection(const osg::Vec3f& direction);
    osg::Quaternion getRotation() const;
    // Keeps the arrow at about the same size on screen; a no-op while neither the camera
    // nor the arrow moved.
    void updateScale();

    const osg::Vec3f& getColor() const { return _color; }
    osg::NodePtr getArrowNode() const { return _arrowNode; }
    osg::MaterialPtr getMaterial() const { return _material; }

private:
    void addArrowPart(const osg::NodePtr& part, const osg::Vec3f& translation, const osg::Quaternion& rotation);

    osg::NodePtr _parent;
    osg::NodePtr _transformNode;
    osg::NodePtr _arrowNode;
    osg::MaterialPtr _material;
    osg::Vec3f _color;
    bool _visible;
    // What the current scale was computed for; a camera that reads like the initial snapshot
    // (no camera at all) leaves the scale as it is.
    oxSAVisualParts::ScaleCamera _scaleCamera;
    osg::Vec3f _cachedArrowPosition;
};
