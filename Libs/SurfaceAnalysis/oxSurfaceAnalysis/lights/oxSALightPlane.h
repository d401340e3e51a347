#pragma once

#include "OSGGeometry.h"
#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGVector.h"
#include "oxSurfaceAnalysisVisual.h"
#include "oxSurfaceAnalysisLightLayout.h"

// The light plane of the parallel-linear-lights analysis: a translucent rectangle carrying
// the light lines, placed by the plane frame of the settings record.
class oxSALightPlane : public oxSurfaceAnalysisVisual
{
public:
    static constexpr osg::UInt32 MaxLines = oxSurfaceAnalysisLightLayout::MaxDrawnLines;

    oxSALightPlane();

    void setLineDistance(float distance, bool rebuildNow);
    void setLineLength(float length, bool rebuildNow);
    void setLineCount(osg::UInt32 count, bool rebuildNow);
    void setLineLengthLimited(bool limited, bool rebuildNow);
    void applyChanges(bool force);

    // Moves the plane; components within 1e-6 of the current placement leave the core untouched.
    void setTransform(const osg::Vec3f& origin, const osg::Vec3f& euler);
    void rebuild();

    float getLineDistance() const { return m_lineDistance; }
    float getLineLength() const { return m_lineLength; }
    bool isLineLengthLimited() const { return m_lineLengthLimited; }
    osg::UInt32 getLineCount() const { return m_lineCount; }
    bool isDirty() const { return m_dirty; }
    osg::NodePtr getPlaneNode() const { return m_planeNode; }
    osg::NodePtr getLinesNode() const { return m_linesNode; }
    osg::GeometryPtr getPlaneGeometry() const { return m_planeGeometry; }
    osg::GeometryPtr getLinesGeometry() const { return m_linesGeometry; }
    osg::MaterialPtr getPlaneMaterial() const { return m_planeMaterial; }
    osg::MaterialPtr getLinesMaterial() const { return m_linesMaterial; }

private:
    void buildMaterials();
    template <typename T> void setParameter(T& member, const T& value, bool rebuildNow);

    osg::NodePtr m_planeNode;
    osg::GeometryPtr m_planeGeometry;
    osg::MaterialPtr m_planeMaterial;
    osg::NodePtr m_linesNode;
    osg::GeometryPtr m_linesGeometry;
    osg::MaterialPtr m_linesMaterial;
    float m_lineDistance;
    float m_lineLength;
    bool m_lineLengthLimited;
    osg::UInt32 m_lineCount;
    bool m_dirty;
};
