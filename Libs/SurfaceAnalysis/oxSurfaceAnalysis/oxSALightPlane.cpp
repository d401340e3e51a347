#include "oxSALightPlane.h"

#include "OSGSimpleGeometry.h"
#include "oxSAVisualParts.h"

#include <algorithm>
#include <cmath>

using namespace oxSAVisualParts;

namespace
{
// Lines drawn when the length is not limited: long enough to look endless.
const float UnlimitedLineLength = 1e6f;
} // namespace

oxSALightPlane::oxSALightPlane()
    : _transformNode(makeTransformNode()), _planeNode(osg::Node::create()), _linesNode(osg::Node::create()),
      _color(0.957f, 0.522f, 0.09f), _visible(false), _lineDistance(10.f), _lineLength(100.f),
      _lineLengthLimited(false), _lineCount(10), _dirty(true)
{
    addChild(_transformNode, _planeNode);
    addChild(_transformNode, _linesNode);
    setActive(_transformNode, _visible);
    buildMaterials();
    rebuild();
}

oxSALightPlane::~oxSALightPlane()
{
    _linesMaterial = osg::NullFC;
    _linesGeometry = osg::NullFC;
    _linesNode = osg::NullFC;
    _planeMaterial = osg::NullFC;
    _planeGeometry = osg::NullFC;
    _planeNode = osg::NullFC;
    _transformNode = osg::NullFC;
    _parent = osg::NullFC;
}

void oxSALightPlane::buildMaterials()
{
    _planeMaterial = makeMaterial({osg::Color3f(0.8f, 0.8f, 0.8f), osg::Color3f(0.24f, 0.24f, 0.24f),
                                   osg::Color3f(0.8f, 0.8f, 0.8f), 10.f, 0.5f, BodySortKey},
                                  {makeDepthChunk(true)});
    _linesMaterial = makeMaterial({_color, _color, osg::Color3f(0.f, 0.f, 0.f), 10.f, 0.3f, LineSortKey},
                                  {makeLineChunk(1.f), makeBlendChunk(), makeDepthChunk(true)});
}

void oxSALightPlane::setParent(const osg::NodePtr& parent)
{
    reparent(_parent, parent, _transformNode);
}

void oxSALightPlane::setVisible(bool visible)
{
    if (visible == _visible)
        return;
    _visible = visible;
    setActive(_transformNode, visible);
}

// Only a new value dirties the geometry: an update that repeats the record's values must not
// rebuild it (a drag step runs one per frame).
template <typename T> void oxSALightPlane::setParameter(T& member, const T& value, bool rebuildNow)
{
    if (!(member == value))
    {
        member = value;
        _dirty = true;
    }
    if (rebuildNow)
    {
        rebuild();
        _dirty = false;
    }
}

void oxSALightPlane::setLineDistance(float distance, bool rebuildNow)
{
    setParameter(_lineDistance, distance, rebuildNow);
}

void oxSALightPlane::setLineLength(float length, bool rebuildNow)
{
    setParameter(_lineLength, length, rebuildNow);
}

void oxSALightPlane::setLineCount(osg::UInt32 count, bool rebuildNow)
{
    setParameter(_lineCount, count, rebuildNow);
}

void oxSALightPlane::setLineLengthLimited(bool limited, bool rebuildNow)
{
    setParameter(_lineLengthLimited, limited, rebuildNow);
}

void oxSALightPlane::applyChanges(bool force)
{
    if (!_visible || !(_dirty || force))
        return;
    rebuild();
    _dirty = false;
}

void oxSALightPlane::setTransform(const osg::Vec3f& origin, const osg::Vec3f& euler)
{
    const osg::Transform3DPtr core = getTransformCore(_transformNode);
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
    const osg::UInt32 drawn = oxSurfaceAnalysisLightLayout::drawnLines(_lineCount);
    const float w = float(osg::Int32(drawn) - 1) * _lineDistance;
    const float h = _lineLengthLimited ? _lineLength : UnlimitedLineLength;
    // Lines at infinity or at undefined places cannot be drawn: such input shows no lines.
    const osg::UInt32 lines = std::isfinite(w) && std::isfinite(h) ? drawn : 0;

    osg::GeometryPtr plane = osg::makePlaneGeo(w, h, 10, 10, osg::PlaneNormalZ);
    beginEditCP(plane, osg::Geometry::MaterialFieldMask);
    {
        plane->setMaterial(_planeMaterial);
    }
    endEditCP(plane, osg::Geometry::MaterialFieldMask);
    _planeGeometry = plane;
    setCore(_planeNode, _planeGeometry);

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
            const float x = -w / 2 + float(i) * _lineDistance;
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
        linesGeometry->setMaterial(_linesMaterial);
    }
    endEditCP(linesGeometry);
    _linesGeometry = linesGeometry;
    setCore(_linesNode, _linesGeometry);
}
