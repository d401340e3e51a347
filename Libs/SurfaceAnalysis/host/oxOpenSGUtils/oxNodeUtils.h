#pragma once

#include "OSGNode.h"

#include <string>

// Queries on transform nodes (nodes whose core is an osg::Transform3D). `view` names the
// render view the host asks about; the scene graph is shared by all views, so the answers
// do not depend on it.
class oxNodeUtils
{
public:
    // The node's translation: its own core's (world false) or where its origin lies in
    // world space (world true). False, outputs untouched, when the node is null or its core
    // is not a transform.
    static bool getTransformNodeTranslation(const osg::NodePtr& node, float& x, float& y, float& z, bool world,
                                            int view);
    // The Euler triple (degrees) of the node's transform core, as Transform3D reports it.
    static bool getTransformNodeRotation(const osg::NodePtr& node, float& a, float& b, float& c, int view);
    // The node's name; empty for a null node.
    static std::string getName(const osg::NodePtr& node);
};
