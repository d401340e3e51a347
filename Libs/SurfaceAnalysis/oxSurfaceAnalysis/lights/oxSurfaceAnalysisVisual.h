#pragma once

#include "OSGNode.h"
#include "OSGTransform3D.h"
#include "OSGVector.h"
#include "oxSurfaceAnalysisVisualParts.h"

// What the three light visuals share: one transform node, hung under a parent and shown or
// hidden as a whole, and the lights' orange.
class oxSurfaceAnalysisVisual
{
public:
    oxSurfaceAnalysisVisual(const oxSurfaceAnalysisVisual&) = delete;
    oxSurfaceAnalysisVisual& operator=(const oxSurfaceAnalysisVisual&) = delete;

    void setParent(const osg::NodePtr& parent)
    {
        oxSurfaceAnalysisVisualParts::reparent(m_parent, parent, m_transformNode);
    }
    osg::NodePtr getTransformNode() const { return m_transformNode; }
    void setVisible(bool visible)
    {
        if (visible == m_visible)
            return;
        m_visible = visible;
        oxSurfaceAnalysisVisualParts::setActive(m_transformNode, visible);
    }
    bool isVisible() const { return m_visible; }
    const osg::Vec3f& getColor() const { return m_color; }

protected:
    oxSurfaceAnalysisVisual() = default;
    explicit oxSurfaceAnalysisVisual(const osg::NodePtr& transformNode) : m_transformNode(transformNode) {}
    ~oxSurfaceAnalysisVisual() = default;

    // Turns the visual in one edit bracket; a node without a transform core stays as it is.
    template <class Turn> void turn(Turn&& turnCore)
    {
        const osg::Transform3DPtr core = oxSurfaceAnalysisVisualParts::getTransformCore(m_transformNode);
        if (core == osg::NullFC)
            return;
        beginEditCP(core, osg::Transform3D::RotationFieldMask);
        {
            turnCore(core);
        }
        endEditCP(core, osg::Transform3D::RotationFieldMask);
    }

    osg::NodePtr m_parent;
    osg::NodePtr m_transformNode; // made by each visual once its parts exist
    osg::Vec3f m_color{0.957f, 0.522f, 0.09f};
    bool m_visible = false;
};
