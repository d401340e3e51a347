#pragma once

#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGVector.h"
#include "oxSurfaceAnalysisVisual.h"
#include "oxSurfaceAnalysisLightLayout.h"

// The light sphere of the spherical-lights analysis: a translucent ball at the world origin
// with one ring per light, turned about the sphere axis, and the axis line.
class oxSALightSphere : public oxSurfaceAnalysisVisual
{
public:
    static constexpr osg::UInt32 MaxRings = oxSurfaceAnalysisLightLayout::MaxDrawnLines;

    oxSALightSphere();

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

    osg::UInt32 getLineCount() const { return m_ringCount; }
    bool isDirty() const { return m_dirty; }
    osg::NodePtr getRingsNode() const { return m_ringsNode; }
    osg::NodePtr getSphereNode() const { return m_sphereNode; }
    osg::MaterialPtr getRingsMaterial() const { return m_ringsMaterial; }
    osg::MaterialPtr getAxisMaterial() const { return m_axisMaterial; }

private:
    osg::NodePtr m_ringsNode;
    osg::NodePtr m_sphereNode;
    osg::MaterialPtr m_ringsMaterial;
    osg::MaterialPtr m_axisMaterial;
    osg::NodeCorePtr m_ringCore; // the one circle every ring turn shows
    osg::NodePtr m_axisTurn;     // always the last child of the rings node
    osg::UInt32 m_ringCount;
    bool m_dirty;
    // What the current scale was computed for; a camera that reads like the initial snapshot
    // (no camera at all) leaves the scale as it is.
    oxSurfaceAnalysisVisualParts::ScaleCamera m_scaleCamera;
};
