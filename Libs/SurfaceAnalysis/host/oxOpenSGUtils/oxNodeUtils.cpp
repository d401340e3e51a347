#include "oxNodeUtils.h"

#include "OSGTransform3D.h"

namespace
{
osg::Transform3DPtr transformCore(const osg::NodePtr& node)
{
    return node == osg::NullFC ? osg::Transform3DPtr() : osg::Transform3DPtr::dcast(node->getCore());
}
} // namespace

bool oxNodeUtils::getTransformNodeTranslation(const osg::NodePtr& node, float& x, float& y, float& z, bool world, int)
{
    const osg::Transform3DPtr core = transformCore(node);
    if (core == osg::NullFC)
        return false;
    const osg::Vec3f t = world ? node->getToWorld().getColumn3(3) : core->getTranslation();
    x = t[0];
    y = t[1];
    z = t[2];
    return true;
}

bool oxNodeUtils::getTransformNodeRotation(const osg::NodePtr& node, float& a, float& b, float& c, int)
{
    const osg::Transform3DPtr core = transformCore(node);
    if (core == osg::NullFC)
        return false;
    const osg::Vec3f euler = core->getEulerRotation();
    a = euler[0];
    b = euler[1];
    c = euler[2];
    return true;
}

std::string oxNodeUtils::getName(const osg::NodePtr& node)
{
    return node == osg::NullFC ? std::string() : node->getName();
}
