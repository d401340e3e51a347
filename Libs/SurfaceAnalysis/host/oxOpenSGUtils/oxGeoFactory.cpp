#include "oxGeoFactory.h"

#include "OSGGeometry.h"

#include <algorithm>
#include <cmath>

namespace
{
osg::NodePtr makeLineNode(const osg::GeoPositions3fPtr& positions, osg::UInt8 type)
{
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    types->push_back(type);
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    lengths->push_back(positions->size());

    osg::GeometryPtr geo = osg::Geometry::create();
    beginEditCP(geo,
                osg::Geometry::TypesFieldMask | osg::Geometry::LengthsFieldMask | osg::Geometry::PositionsFieldMask);
    {
        geo->setTypes(types);
        geo->setLengths(lengths);
        geo->setPositions(positions);
    }
    endEditCP(geo, osg::Geometry::TypesFieldMask | osg::Geometry::LengthsFieldMask | osg::Geometry::PositionsFieldMask);

    osg::NodePtr node = osg::Node::create();
    beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(geo);
    }
    endEditCP(node, osg::Node::CoreFieldMask);
    return node;
}

float finiteOrZero(float value)
{
    return std::isfinite(value) ? value : 0.f;
}
} // namespace

osg::NodePtr oxGeoFactory::makeLineTorus(float radius, int segments, bool closed)
{
    const float r = std::fabs(finiteOrZero(radius));
    const int n = std::clamp(segments, MinSegments, MaxSegments);
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    positions->getField().reserve(osg::UInt32(n));
    for (int i = 0; i < n; ++i)
    {
        const double a = 2 * osg::Pi * i / n;
        positions->push_back(osg::Pnt3f(float(r * std::cos(a)), float(r * std::sin(a)), 0.f));
    }
    return makeLineNode(positions, closed ? osg::GL_LINE_LOOP_ : osg::UInt8(osg::GL_LINE_STRIP_));
}

osg::NodePtr oxGeoFactory::makeLine(float length)
{
    const float half = finiteOrZero(length) / 2;
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    positions->push_back(osg::Pnt3f(0.f, -half, 0.f));
    positions->push_back(osg::Pnt3f(0.f, half, 0.f));
    return makeLineNode(positions, osg::GL_LINES_);
}
