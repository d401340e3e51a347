#include "oxSALightSphere.h"

#include "OSGGeometry.h"
#include "OSGSimpleGeometry.h"
#include "oxGeoFactory.h"
#include "oxOSGWidget.h"
#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSurfaceAnalysisVisualParts.h"

#include <algorithm>
#include <cmath>

using namespace oxSurfaceAnalysisVisualParts;

namespace
{
const float SphereRadius = 10.f;
const osg::UInt16 SphereDepth = 6;
const int RingSegments = 36;
const float AxisLength = 20.f;
} // namespace

oxSALightSphere::oxSALightSphere()
    : m_ringsNode(makeTransformNode()), m_sphereNode(osg::Node::create()), m_ringCount(10), m_dirty(true)
{
    osg::GeometryPtr sphere = osg::makeSphereGeo(SphereDepth, SphereRadius);
    beginEditCP(sphere, osg::Geometry::MaterialFieldMask);
    {
        sphere->setMaterial(makeMaterial({osg::Color3f(0.8f, 0.8f, 0.8f), osg::Color3f(0.24f, 0.24f, 0.24f),
                                          osg::Color3f(0.8f, 0.8f, 0.8f), 10.f, 0.75f, BodySortKey},
                                         {makeDepthChunk(true)}));
    }
    endEditCP(sphere, osg::Geometry::MaterialFieldMask);
    setCore(m_sphereNode, sphere);

    m_axisMaterial = makeMaterial({m_color, m_color, osg::Color3f(0.f, 0.f, 0.f), 10.f, 0.3f, LineSortKey},
                                  {makeLineChunk(2.5f), makeBlendChunk(), makeDepthChunk(true)});

    m_transformNode = makeTransformNode();
    addChild(m_transformNode, m_ringsNode);
    addChild(m_transformNode, m_sphereNode);
    setActive(m_transformNode, m_visible);

    m_ringsMaterial = makeMaterial({m_color, m_color, osg::Color3f(0.f, 0.f, 0.f), 10.f, 0.3f, LineSortKey},
                                   {makeLineChunk(1.f), makeBlendChunk(), makeDepthChunk(true)});

    // Every ring is the same circle turned about X, so the rings share one geometry core.
    osg::NodePtr ring = oxGeoFactory::makeLineTorus(SphereRadius, RingSegments, true);
    m_ringCore = ring->getCore();
    osg::GeometryPtr geometry = osg::GeometryPtr::dcast(m_ringCore);
    if (geometry != osg::NullFC)
    {
        beginEditCP(geometry, osg::Geometry::MaterialFieldMask);
        {
            geometry->setMaterial(m_ringsMaterial);
        }
        endEditCP(geometry, osg::Geometry::MaterialFieldMask);
    }

    osg::NodePtr axis = oxGeoFactory::makeLine(AxisLength);
    osg::GeometryPtr axisGeometry = osg::GeometryPtr::dcast(axis->getCore());
    if (axisGeometry != osg::NullFC)
    {
        beginEditCP(axisGeometry, osg::Geometry::MaterialFieldMask);
        {
            axisGeometry->setMaterial(m_axisMaterial);
        }
        endEditCP(axisGeometry, osg::Geometry::MaterialFieldMask);
    }
    m_axisTurn = makeTransformNode();
    const osg::Transform3DPtr axisCore = getTransformCore(m_axisTurn);
    beginEditCP(axisCore, osg::Transform3D::RotationFieldMask);
    {
        // The line is built along Y; a quarter turn about Z lays it along the sphere axis X.
        axisCore->setRotationAsEuler(osg::Vec3f(0.f, 0.f, 90.f));
    }
    endEditCP(axisCore, osg::Transform3D::RotationFieldMask);
    addChild(m_axisTurn, axis);
    rebuild();
}

// Only a new count dirties the rings: an update that repeats it must not rebuild them.
void oxSALightSphere::setLineCount(osg::UInt32 count, bool rebuildNow)
{
    if (count != m_ringCount)
    {
        m_ringCount = count;
        m_dirty = true;
    }
    if (rebuildNow)
    {
        rebuild();
        m_dirty = false;
    }
}

void oxSALightSphere::applyChanges(bool force)
{
    if (!m_visible || !(m_dirty || force))
        return;
    rebuild();
    m_dirty = false;
}

void oxSALightSphere::rebuild()
{
    const osg::UInt32 rings = oxSurfaceAnalysisLightLayout::drawnLines(m_ringCount);
    const float offset = oxSurfaceAnalysisLightLayout::firstRingTurn<float>(rings);

    // The rings node holds one turn per ring, then the axis. Turns already there are turned anew
    // instead of being made again, so that a new count of thousands of rings costs rotations,
    // not thousands of new nodes.
    beginEditCP(m_ringsNode, osg::Node::ChildrenFieldMask);
    {
        m_ringsNode->subChild(m_axisTurn);
        while (m_ringsNode->getNChildren() > rings)
            m_ringsNode->subChild(m_ringsNode->getNChildren() - 1);
        for (osg::UInt32 i = 0; i < rings; ++i)
        {
            if (i == m_ringsNode->getNChildren())
            {
                osg::NodePtr ring = osg::Node::create();
                ring->setCore(m_ringCore);
                osg::NodePtr turn = makeTransformNode();
                addChild(turn, ring);
                m_ringsNode->addChild(turn);
            }
            const osg::Transform3DPtr core = getTransformCore(m_ringsNode->getChild(i));
            beginEditCP(core, osg::Transform3D::RotationFieldMask);
            {
                core->setRotationAsEuler(osg::Vec3f((float(i) / float(rings) + offset) * 360.f, 0.f, 0.f));
            }
            endEditCP(core, osg::Transform3D::RotationFieldMask);
        }
        m_ringsNode->addChild(m_axisTurn);
    }
    endEditCP(m_ringsNode, osg::Node::ChildrenFieldMask);
}

void oxSALightSphere::setRotation(const osg::Vec3f& euler)
{
    turn([&](const osg::Transform3DPtr& core) { core->setRotationAsEuler(euler); });
}

osg::Vec3f oxSALightSphere::getRotation() const
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    return core == osg::NullFC ? osg::Vec3f() : core->getEulerRotation();
}

bool oxSALightSphere::getAxes(osg::Vec3f& axis, osg::Vec3f& uTangent) const
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    if (core == osg::NullFC)
        return false;
    oxSurfaceAnalysisLightFrame::getLightSphereAxesFromEuler(core->getEulerRotation(), axis, uTangent);
    return true;
}

void oxSALightSphere::updateScale()
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    if (core == osg::NullFC)
        return;
    const ScaleCamera camera = ScaleCamera::current();
    if (camera.sameAs(m_scaleCamera))
        return;
    m_scaleCamera = camera;
    const osg::Vec3f& p = camera.position;

    // The sphere sits at the world origin, so its distance to the camera is |p|.
    const double distance = std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
    setUniformScale(core, screenScale(camera, distance, 200.0, 0.049f));
}
