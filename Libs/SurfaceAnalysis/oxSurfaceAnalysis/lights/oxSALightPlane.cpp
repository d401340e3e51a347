#include "oxSALightPlane.h"

#include "OSGSimpleGeometry.h"
#include "oxSurfaceAnalysisVisualParts.h"

#include <algorithm>
#include <cmath>

using namespace oxSurfaceAnalysisVisualParts;

namespace
{
// Lines drawn when the length is not limited: long enough to look endless.
const float UnlimitedLineLength = 1e6f;
} // namespace

oxSALightPlane::oxSALightPlane()
    : oxSurfaceAnalysisVisual(makeTransformNode()), m_planeNode(osg::Node::create()), m_linesNode(osg::Node::create()),
      m_lineDistance(10.f), m_lineLength(100.f), m_lineLengthLimited(false), m_lineCount(10), m_dirty(true)
{
    addChild(m_transformNode, m_planeNode);
    addChild(m_transformNode, m_linesNode);
    setActive(m_transformNode, m_visible);
    buildMaterials();
    rebuild();
}

void oxSALightPlane::buildMaterials()
{
    m_planeMaterial = makeMaterial({osg::Color3f(0.8f, 0.8f, 0.8f), osg::Color3f(0.24f, 0.24f, 0.24f),
                                    osg::Color3f(0.8f, 0.8f, 0.8f), 10.f, 0.5f, BodySortKey},
                                   {makeDepthChunk(true)});
    m_linesMaterial = makeMaterial({m_color, m_color, osg::Color3f(0.f, 0.f, 0.f), 10.f, 0.3f, LineSortKey},
                                   {makeLineChunk(1.f), makeBlendChunk(), makeDepthChunk(true)});
}

// Only a new value dirties the geometry: an update that repeats the record's values must not
// rebuild it (a drag step runs one per frame).
template <typename T> void oxSALightPlane::setParameter(T& member, const T& value, bool rebuildNow)
{
    if (!(member == value))
    {
        member = value;
        m_dirty = true;
    }
    if (rebuildNow)
    {
        rebuild();
        m_dirty = false;
    }
}

void oxSALightPlane::setLineDistance(float distance, bool rebuildNow)
{
    setParameter(m_lineDistance, distance, rebuildNow);
}

void oxSALightPlane::setLineLength(float length, bool rebuildNow)
{
    setParameter(m_lineLength, length, rebuildNow);
}

void oxSALightPlane::setLineCount(osg::UInt32 count, bool rebuildNow)
{
    setParameter(m_lineCount, count, rebuildNow);
}

void oxSALightPlane::setLineLengthLimited(bool limited, bool rebuildNow)
{
    setParameter(m_lineLengthLimited, limited, rebuildNow);
}

void oxSALightPlane::applyChanges(bool force)
{
    if (!m_visible || !(m_dirty || force))
        return;
    rebuild();
    m_dirty = false;
}

void oxSALightPlane::setTransform(const osg::Vec3f& origin, const osg::Vec3f& euler)
{
    const osg::Transform3DPtr core = getTransformCore(m_transformNode);
    if (core == osg::NullFC)
        return;
    if (!core->getTranslation().equals(origin, osg::Eps))
    {
        beginEditCP(core, osg::Transform3D::TranslationFieldMask);
        {
            core->setTranslation(origin);
        }
        endEditCP(core, osg::Transform3D::TranslationFieldMask);
    }
    if (!core->getEulerRotation().equals(euler, osg::Eps))
    {
        beginEditCP(core, osg::Transform3D::RotationFieldMask);
        {
            core->setRotationAsEuler(euler);
        }
        endEditCP(core, osg::Transform3D::RotationFieldMask);
    }
}

void oxSALightPlane::rebuild()
{
    // The width is formed from the drawn count, so the plane spans exactly the lines shown;
    // a count of 0 gives the width -distance, which the plane builder takes by magnitude.
    const osg::UInt32 drawn = oxSurfaceAnalysisLightLayout::drawnLines(m_lineCount);
    const float w = float(osg::Int32(drawn) - 1) * m_lineDistance;
    const float h = m_lineLengthLimited ? m_lineLength : UnlimitedLineLength;
    // Lines at infinity or at undefined places cannot be drawn: such input shows no lines.
    const osg::UInt32 lines = std::isfinite(w) && std::isfinite(h) ? drawn : 0;

    osg::GeometryPtr plane = osg::makePlaneGeo(w, h, 10, 10, osg::PlaneNormalZ);
    beginEditCP(plane, osg::Geometry::MaterialFieldMask);
    {
        plane->setMaterial(m_planeMaterial);
    }
    endEditCP(plane, osg::Geometry::MaterialFieldMask);
    m_planeGeometry = plane;
    setCore(m_planeNode, m_planeGeometry);

    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    osg::GeoIndicesUI32Ptr indices = osg::GeoIndicesUI32::create();
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    beginEditCP(positions);
    beginEditCP(indices);
    {
        positions->getField().reserve(2 * lines);
        indices->getField().reserve(2 * lines);
        for (osg::UInt32 i = 0; i < lines; ++i)
        {
            const float x = -w / 2 + float(i) * m_lineDistance;
            positions->push_back(osg::Pnt3f(x, -h / 2, 0.f));
            positions->push_back(osg::Pnt3f(x, h / 2, 0.f));
            indices->push_back(2 * i);
            indices->push_back(2 * i + 1);
        }
    }
    endEditCP(indices);
    endEditCP(positions);
    beginEditCP(types);
    beginEditCP(lengths);
    {
        types->push_back(osg::GL_LINES_);
        lengths->push_back(positions->size());
    }
    endEditCP(lengths);
    endEditCP(types);

    osg::GeometryPtr linesGeometry = osg::Geometry::create();
    beginEditCP(linesGeometry);
    {
        linesGeometry->setTypes(types);
        linesGeometry->setLengths(lengths);
        linesGeometry->setIndices(indices);
        linesGeometry->setPositions(positions);
        linesGeometry->setMaterial(m_linesMaterial);
    }
    endEditCP(linesGeometry);
    m_linesGeometry = linesGeometry;
    setCore(m_linesNode, m_linesGeometry);
}
