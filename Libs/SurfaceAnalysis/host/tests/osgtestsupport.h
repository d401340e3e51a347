#pragma once

// Transform nodes as the host's scene tests build them, and the core that moves them.

#include "OSGNode.h"
#include "OSGTransform3D.h"

#include <QMetaType>

Q_DECLARE_METATYPE(osg::Vec3f)

inline osg::NodePtr makeTransformNode(const osg::Vec3f& translation, const osg::Vec3f& euler = osg::Vec3f(),
                                      const osg::Vec3f& scale = osg::Vec3f(1, 1, 1))
{
    osg::Transform3DPtr core = osg::Transform3D::create();
    core->setTranslation(translation);
    core->setRotationAsEuler(euler);
    core->setScale(scale);
    osg::NodePtr node = osg::Node::create();
    node->setCore(core);
    return node;
}

inline osg::Transform3DPtr coreOf(const osg::NodePtr& node)
{
    return osg::Transform3DPtr::dcast(node->getCore());
}
