#include "oxScenegraph.h"

namespace
{
osg::NodePtr makeRoot(const char* name)
{
    osg::NodePtr node = osg::Node::create();
    osg::beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(osg::Group::create());
    }
    osg::endEditCP(node, osg::Node::CoreFieldMask);
    node->setName(name);
    return node;
}

struct Roots
{
    osg::NodePtr internalRoot = makeRoot("InternalRoot");
    osg::NodePtr root = makeRoot("Root");
    osg::NodePtr environmentSwitch;
};

// Leaked on purpose: modules detach their visuals from the internal root in static destructors.
Roots& roots()
{
    static Roots* r = new Roots;
    return *r;
}
} // namespace

osg::NodePtr oxScenegraph::getInternalRoot()
{
    return roots().internalRoot;
}

osg::NodePtr oxScenegraph::getRoot()
{
    return roots().root;
}

osg::NodePtr oxScenegraph::environmentGeometrySwitch()
{
    return roots().environmentSwitch;
}

void oxScenegraph::setEnvironmentGeometrySwitch(const osg::NodePtr& node)
{
    roots().environmentSwitch = node;
}
