#pragma once

#include "OSGNode.h"

// Line geometry for helper visuals. Each builder returns a new node whose core is an
// osg::Geometry without material.
class oxGeoFactory
{
public:
    // Segment counts are kept within these bounds.
    static constexpr int MinSegments = 3;
    static constexpr int MaxSegments = 65536;

    // A circle of the given radius in the local X-Y plane, centred on the origin, drawn with
    // `segments` straight pieces starting on +X. closed: the last point joins the first
    // (GL_LINE_LOOP); otherwise an open GL_LINE_STRIP that leaves the last piece out.
    // The radius is used by magnitude; a non-finite radius gives a circle of radius 0.
    static osg::NodePtr makeLineTorus(float radius, int segments, bool closed);

    // One line along local Y centred on the origin, from -length/2 to +length/2.
    static osg::NodePtr makeLine(float length);
};
