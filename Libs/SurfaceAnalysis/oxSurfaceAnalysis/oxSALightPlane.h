#pragma once

#include "OSGGeometry.h"
#include "OSGMaterial.h"
#include "OSGNode.h"
#include "OSGVector.h"
#include "oxSurfaceAnalysisLightLayout.h"

// The light plane of the parallel-linear-lights analysis: a translucent rectangle carrying
// the light lines, placed by the plane frame of the settings record.
class oxSALightPlane
{
public:
    static constexpr osg::UInt32 MaxLines = oxSurfaceAnalysisLightLayout::MaxDrawnLines;

    oxSALightPlane();
    ~oxSALightPlane();
    oxSALightPlane(const oxSALightPlane&) = delete;
    oxSALightPlane& operator=(const oxSALightPlane&) = delete;

    void setParent(const osg::NodePtr& parent);
    osg::NodePtr getTransformNode() const { return _transformNode; }
    void setVisible(bool visible);
    bool isVisible() const { return _visible; }

    void setLineDistance(float distance, bool rebuildNow);
    void setLineLength(float length, bool rebuildNow);
    void setLineCount(osg::UInt32 count, bool rebuildNow);
    void setLineLengthLimited(bool limited, bool rebuildNow);
    void applyChanges(bool force);

    // Moves the plane; components within 1e-6 of the current placement leave the core untouched.
    void setTransform(const osg::Vec3f& origin, const osg::Vec3f& euler);
    void rebuild();

    float getLineDistance() const { return _lineDistance; }
    float getLineLength() const { return _lineLength; }
    bool isLineLengthLimited() const { return _lineLengthLimited; }
    osg::UInt32 getLineCount() const { return _lineCount; }
    bool isDirty() const { return _dirty; }
    const osg::Vec3f& getColor() const { return _color; }
    osg::NodePtr getPlaneNode() const { return _planeNode; }
    osg::NodePtr getLinesNode() const { return _linesNode; }
    osg::GeometryPtr getPlaneGeometry() const { return _planeGeometry; }
    osg::GeometryPtr getLinesGeometry() const { return _linesGeometry; }
    osg::MaterialPtr getPlaneMaterial() const { return _planeMaterial; }
    osg::MaterialPtr getLinesMaterial() const { return _linesMaterial; }

private:
    void buildMaterials();
    template <typename T> void setParameter(T& member, const T& value, bool rebuildNow);

    osg::NodePtr _parent;
    osg::NodePtr _transformNode;
    osg::NodePtr _planeNode;
    osg::GeometryPtr _planeGeometry;
    osg::MaterialPtr _planeMaterial;
    osg::NodePtr _linesNode;
    osg::GeometryPtr _linesGeometry;
    osg::MaterialPtr _linesMaterial;
    osg::Vec3f _color;
    bool _visible;
    float _lineDistance;
    float _lineLength;
    bool _lineLengthLimited;
    osg::UInt32 _lineCount;
    bool _dirty;
};
