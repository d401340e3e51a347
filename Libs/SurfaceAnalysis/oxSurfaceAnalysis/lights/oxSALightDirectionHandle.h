#pragma once

#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGQuaternion.h"
#include "OSGVector.h"
#include "oxSurfaceAnalysisVisual.h"

// The isophote light direction: a double-headed arrow along its local X axis, drawn through
// the model and kept at about the same size on screen. Only its rotation means something.
class oxSALightDirectionHandle : public oxSurfaceAnalysisVisual
{
public:
    oxSALightDirectionHandle();

    // Turns the arrow onto the stored light direction (writes only the rotation).
    void setDirection(const osg::Vec3f& direction);
    osg::Quaternion getRotation() const;
    // Keeps the arrow at about the same size on screen; a no-op while neither the camera
    // nor the arrow moved.
    void updateScale();

    osg::NodePtr getArrowNode() const { return m_arrowNode; }
    osg::MaterialPtr getMaterial() const { return m_material; }

private:
    void addArrowPart(const osg::NodePtr& part, const osg::Vec3f& translation, const osg::Quaternion& rotation);

    osg::NodePtr m_arrowNode;
    osg::MaterialPtr m_material;
    // What the current scale was computed for; a camera that reads like the initial snapshot
    // (no camera at all) leaves the scale as it is.
    oxSurfaceAnalysisVisualParts::ScaleCamera m_scaleCamera;
    osg::Vec3f m_cachedArrowPosition;
};
