#include "oxSurfaceAnalysisVisualParts.h"

#include "oxOSGWidget.h"

namespace oxSurfaceAnalysisVisualParts
{
osg::SimpleMaterialPtr makeMaterial(const MaterialLook& look, std::initializer_list<osg::StateChunkPtr> chunks)
{
    osg::SimpleMaterialPtr material = osg::SimpleMaterial::create();
    beginEditCP(material);
    {
        for (const osg::StateChunkPtr& chunk : chunks)
            material->addChunk(chunk);
        material->setDiffuse(look.diffuse);
        material->setAmbient(look.ambient);
        material->setSpecular(look.specular);
        material->setShininess(look.shininess);
        material->setTransparency(look.transparency);
        material->setSortKey(look.sortKey);
        material->setLit(false);
    }
    endEditCP(material);
    return material;
}

osg::DepthChunkPtr makeDepthChunk(bool enabled)
{
    osg::DepthChunkPtr chunk = osg::DepthChunk::create();
    beginEditCP(chunk);
    {
        chunk->setReadOnly(true);
        chunk->setEnable(enabled);
    }
    endEditCP(chunk);
    return chunk;
}

osg::LineChunkPtr makeLineChunk(float width)
{
    osg::LineChunkPtr chunk = osg::LineChunk::create();
    beginEditCP(chunk);
    {
        chunk->setWidth(width);
        chunk->setSmooth(true);
    }
    endEditCP(chunk);
    return chunk;
}

osg::BlendChunkPtr makeBlendChunk()
{
    osg::BlendChunkPtr chunk = osg::BlendChunk::create();
    beginEditCP(chunk);
    {
        chunk->setSrcFactor(osg::GL_SRC_ALPHA_);
        chunk->setDestFactor(osg::GL_ONE_MINUS_SRC_ALPHA_);
    }
    endEditCP(chunk);
    return chunk;
}

osg::NodePtr makeTransformNode()
{
    osg::NodePtr node = osg::Node::create();
    setCore(node, osg::Transform3D::create());
    return node;
}

osg::Transform3DPtr getTransformCore(const osg::NodePtr& node)
{
    return node == osg::NullFC ? osg::Transform3DPtr() : osg::Transform3DPtr::dcast(node->getCore());
}

void setCore(const osg::NodePtr& node, const osg::NodeCorePtr& core)
{
    beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(core);
    }
    endEditCP(node, osg::Node::CoreFieldMask);
}

void addChild(const osg::NodePtr& parent, const osg::NodePtr& child)
{
    beginEditCP(parent, osg::Node::ChildrenFieldMask);
    {
        parent->addChild(child);
    }
    endEditCP(parent, osg::Node::ChildrenFieldMask);
}

void reparent(osg::NodePtr& parent, const osg::NodePtr& newParent, const osg::NodePtr& child)
{
    if (parent != osg::NullFC)
    {
        beginEditCP(parent, osg::Node::ChildrenFieldMask);
        {
            parent->subChild(child);
        }
        endEditCP(parent, osg::Node::ChildrenFieldMask);
    }
    parent = newParent;
    if (parent != osg::NullFC)
        addChild(parent, child);
}

void setActive(const osg::NodePtr& node, bool active)
{
    beginEditCP(node, osg::Node::TravMaskFieldMask);
    {
        node->setActive(active);
    }
    endEditCP(node, osg::Node::TravMaskFieldMask);
}

ScaleCamera ScaleCamera::current()
{
    ScaleCamera c;
    c.position = oxOSGWidget::getFrom(-1).subZero();
    c.fov = oxOSGWidget::getFov(-1);
    oxOSGWidget* widget = oxOSGWidget::getMGLW(-1);
    const osg::UberCameraPtr camera = widget ? widget->getUberCamera() : osg::UberCameraPtr();
    if (camera != osg::NullFC)
    {
        c.orthographic = camera->isOrthographic();
        c.nearPlaneDiagonal = camera->getNearPlaneDiagonal();
        c.referenceLength = camera->getReferenceLength();
    }
    return c;
}

bool ScaleCamera::sameAs(const ScaleCamera& other) const
{
    return position.equals(other.position, osg::Eps) && fov == other.fov && orthographic == other.orthographic &&
           nearPlaneDiagonal == other.nearPlaneDiagonal && referenceLength == other.referenceLength;
}

float screenScale(const ScaleCamera& camera, double cameraDistance, double fovDivisor, float referenceFactor)
{
    const float a =
        camera.orthographic ? camera.nearPlaneDiagonal / 20 : float(cameraDistance / (fovDivisor / camera.fov));
    const float b = camera.referenceLength * referenceFactor;
    // Written so that an undefined a (NaN) falls back to the cap.
    return a < b ? a : b;
}

void setUniformScale(const osg::Transform3DPtr& core, float scale)
{
    beginEditCP(core, osg::Transform3D::ScaleFieldMask);
    {
        core->setScale(osg::Vec3f(scale, scale, scale));
    }
    endEditCP(core, osg::Transform3D::ScaleFieldMask);
}
} // namespace oxSurfaceAnalysisVisualParts
