#include "oxSALightDirectionHandle.h"

#include "OSGGeometry.h"
#include "OSGSimpleGeometry.h"
#include "oxOSGWidget.h"
#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSurfaceAnalysisVisualParts.h"

#include <cmath>

using namespace oxSurfaceAnalysisVisualParts;

oxSALightDirectionHandle::oxSALightDirectionHandle() : m_arrowNode(makeTransformNode())
{
    // No depth test, so the arrow shows through the surfaces it lights.
    m_material = makeMaterial({m_color, m_color, m_color, 10.f, 0.5f, BodySortKey}, {makeDepthChunk(false)});

    // The parts are built along Y; quarter turns about Z lay them along X, the heads pointing outwards.
    const float h = std::sqrt(0.5f);
    addArrowPart(osg::makeCylinder(1.5f, 0.08f, 32, true, false, false), osg::Vec3f(0.f, 0.f, 0.f),
                 osg::Quaternion(0.f, 0.f, h, h));
    addArrowPart(osg::makeCone(0.7f, 0.25f, 32, true, true), osg::Vec3f(-1.1f, 0.f, 0.f),
                 osg::Quaternion(0.f, 0.f, h, h));
    addArrowPart(osg::makeCone(0.7f, 0.25f, 32, true, true), osg::Vec3f(1.1f, 0.f, 0.f),
                 osg::Quaternion(0.f, 0.f, h, -h));

    m_transformNode = makeTransformNode();
    addChild(m_transformNode, m_arrowNode);
    setActive(m_transformNode, m_visible);
}

void oxSALightDirectionHandle::addArrowPart(const osg::NodePtr& part, const osg::Vec3f& translation,
                                            const osg::Quaternion& rotation)
{
    osg::NodePtr child = makeTransformNode();
    const osg::Transform3DPtr core = getTransformCore(child);
    beginEditCP(core, osg::Transform3D::TranslationFieldMask | osg::Transform3D::RotationFieldMask);
    {
        core->setTranslation(translation);
        core->setRotationAsQuaternion(rotation);
    }
    endEditCP(core, osg::Transform3D::TranslationFieldMask | osg::Transform3D::RotationFieldMask);
    addChild(child, part);
    addChild(m_arrowNode, child);

    // The geometry is the child's own core or, below a transform, that of its first child.
    osg::GeometryPtr geometry = osg::GeometryPtr::dcast(child->getCore());
    if (geometry == osg::NullFC && child->getNChildren() > 0)
        geometry = osg::GeometryPtr::dcast(child->getChild(0)->getCore());
    if (geometry != osg::NullFC)
    {
        beginEditCP(geometry, osg::Geometry::MaterialFieldMask);
        {
            geometry->setMaterial(m_material);
        }
        endEditCP(geometry, osg::Geometry::MaterialFieldMask);
    }
}

void oxSALightDirectionHandle::setDirection(const osg::Vec3f& direction)
{
    const osg::Quaternion rotation = oxSurfaceAnalysisLightFrame::directionToHandleRotation(direction);
    turn([&](const osg::Transform3DPtr& core) { core->setRotationAsQuaternion(rotation); });
}

osg::Quaternion oxSALightDirectionHandle::getRotation() const
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    return core == osg::NullFC ? osg::Quaternion() : core->getRotation();
}

void oxSALightDirectionHandle::updateScale()
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    if (core == osg::NullFC)
        return;
    const osg::Vec3f t = core->getTranslation();
    const ScaleCamera camera = ScaleCamera::current();
    if (camera.sameAs(m_scaleCamera) && t.equals(m_cachedArrowPosition, osg::Eps))
        return;
    m_scaleCamera = camera;
    m_cachedArrowPosition = t;
    const osg::Vec3f& p = camera.position;

    const double dx = double(t[0]) - p[0], dy = double(t[1]) - p[1], dz = double(t[2]) - p[2];
    setUniformScale(core, screenScale(camera, std::sqrt(dx * dx + dy * dy + dz * dz), 600.0, 0.025f));
}
