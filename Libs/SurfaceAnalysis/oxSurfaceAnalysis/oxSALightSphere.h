#pragma once

#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGVector.h"
#include "oxSAVisualParts.h"
#include "oxSurfaceAnalysisLightLayout.h"

// The light sphere of the spherical-lights analysis: a translucent ball at the world origin
// with one ring per light, turned about the sphere axis, and the axis line.
class oxSALightSphere
{
public:
    static constexpr osg::UInt32 MaxRings = oxSurfaceAnalysisLightLayout::MaxDrawnLines;

    oxSALightSphere();
    ~oxSALightSphere();
    oxSALightSphere(const oxSALightSphere&) = delete;
    oxSALightSphere& operator=(const oxSALightSphere&) = delete;

    void setParent(const osg::NodePtr& parent);
    osg::NodePtr getTransformNode() const { return _transformNode; }
    void setVisible(bool visible);
    bool isVisible() const { return _visible; }

    void setLineCount(osg::UInt32 count, bool rebuildNow);
    void applyChanges(bool force);
    void rebuild();

    void setRotation(const osg::Vec3f& euler);
    osg::Vec3f getRotation() const;
    // The sphere axis and U tangent of the current rotation; false, outputs untouched,
    // when the transform node has no transform core.
    bool getAxes(osg::Vec3f& axis, osg::Vec3f& uTangent) const;
    // Keeps the sphere at about the same size on screen; a no-op while the camera is unchanged.
    void updateScale();

    osg::UInt32 getLineCount() const { return _ringCount; }
    bool isDirty() const { return _dirty; }
    const osg::Vec3f& getColor() const { return _color; }
    osg::NodePtr getRingsNode() const { return _ringsNode; }
    osg::NodePtr getSphereNode() const { return _sphereNode; }
    osg::MaterialPtr getRingsMaterial() const { return _ringsMaterial; }
    osg::MaterialPtr getAxisMaterial() const { return _axisMaterial; }

private:
    osg::NodePtr _parent;
    osg::NodePtr _transformNode;
    osg::NodePtr _ringsNode;
    osg::NodePtr _sphereNode;
    osg::MaterialPtr _ringsMaterial;
    osg::MaterialPtr _axisMaterial;
    osg::NodeCorePtr _ringCore; // the one circle every ring turn shows
    osg::NodePtr _axisTurn;     // always the last child of the rings node
    osg::Vec3f _color;
    bool _visible;
    osg::UInt32 _ringCount;
    bool _dirty;
    // What the current scale was computed for; a camera that reads like the initial snapshot
    // (no camera at all) leaves the scale as it is.
    oxSAVisualParts::ScaleCamera _scaleCamera;
};
