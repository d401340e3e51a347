#pragma once

#include "OSGNode.h"
#include "OSGVector.h"

namespace oxk
{
namespace interaction
{
// Casts a ray into a scene and keeps the hits for the getters. Index 0 is the nearest hit;
// every getter returns false (and leaves its argument alone) for an index without a hit.
class Picker
{
public:
    virtual ~Picker();

    // True when the ray hit something; forgets the hits of the previous pick.
    virtual bool pick(const osg::Pnt3f& origin, const osg::Vec3f& direction) = 0;
    virtual bool getHitPoint(osg::Vec3f& point, int index) = 0;
    virtual bool getHitNode(osg::NodePtr& node, int index) = 0;
    virtual bool getHitNormal(osg::Vec3f& normal, int index) = 0;
};
} // namespace interaction
} // namespace oxk
