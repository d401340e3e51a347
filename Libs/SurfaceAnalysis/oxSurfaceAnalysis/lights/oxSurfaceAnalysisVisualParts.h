#pragma once

#include "OSGBlendChunk.h"
#include "OSGDepthChunk.h"
#include "OSGLineChunk.h"
#include "OSGNode.h"
#include "OSGSimpleMaterial.h"
#include "OSGTransform3D.h"

#include <initializer_list>

// Building blocks the three light visuals share.
namespace oxSurfaceAnalysisVisualParts
{
// The shared look of the light visuals; none of them is lit.
struct MaterialLook
{
    osg::Color3f diffuse;
    osg::Color3f ambient;
    osg::Color3f specular;
    float shininess;
    float transparency;
    osg::Int32 sortKey;
};

// Sort keys: the translucent bodies first, the lines over them.
constexpr osg::Int32 BodySortKey = 64015;
constexpr osg::Int32 LineSortKey = 64018;

osg::SimpleMaterialPtr makeMaterial(const MaterialLook& look, std::initializer_list<osg::StateChunkPtr> chunks);
// Read-only depth: drawn depth-tested (when enabled) without hiding what lies behind.
osg::DepthChunkPtr makeDepthChunk(bool enabled);
osg::LineChunkPtr makeLineChunk(float width);
// Alpha blending, GL_SRC_ALPHA / GL_ONE_MINUS_SRC_ALPHA.
osg::BlendChunkPtr makeBlendChunk();

// A new node with a new transform core.
osg::NodePtr makeTransformNode();
osg::Transform3DPtr getTransformCore(const osg::NodePtr& node);
void setCore(const osg::NodePtr& node, const osg::NodeCorePtr& core);
void addChild(const osg::NodePtr& parent, const osg::NodePtr& child);

// Moves child from the node in `parent` to newParent (either may be null) and keeps newParent.
void reparent(osg::NodePtr& parent, const osg::NodePtr& newParent, const osg::NodePtr& child);
void setActive(const osg::NodePtr& node, bool active);

// What of the view camera the screen-size scale reads. A visual keeps the snapshot its scale
// was computed for and recomputes when any part differs, a projection switch included.
struct ScaleCamera
{
    osg::Vec3f position;
    float fov = 0.f;
    bool orthographic = false;
    float nearPlaneDiagonal = 0.f;
    float referenceLength = 100.f; // without a camera

    static ScaleCamera current();
    bool sameAs(const ScaleCamera& other) const;
};

// Uniform scale that keeps a visual at about the same size on screen: the camera distance
// scaled by the field of view (or the near-plane size of an orthographic camera), but never
// above referenceFactor times the scene's reference length.
float screenScale(const ScaleCamera& camera, double cameraDistance, double fovDivisor, float referenceFactor);
void setUniformScale(const osg::Transform3DPtr& core, float scale);
} // namespace oxSurfaceAnalysisVisualParts
