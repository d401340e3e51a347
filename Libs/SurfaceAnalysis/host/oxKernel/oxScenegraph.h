#pragma once

#include "OSGNode.h"

// The host's scene roots. Both exist for the whole process and carry a Group core.
class oxScenegraph
{
public:
    // Root of auxiliary geometry (manipulators, light visuals), which the model's pickers skip.
    static osg::NodePtr getInternalRoot();
    // Root of the loaded model's geometry.
    static osg::NodePtr getRoot();

    // The node whose active flag shows or hides the environment geometry; null when there is none.
    static osg::NodePtr environmentGeometrySwitch();
    static void setEnvironmentGeometrySwitch(const osg::NodePtr& node);
};
