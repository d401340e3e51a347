#pragma once

#include "OSGNode.h"
#include "OSGVector.h"

#include <string>
#include <vector>

// The model in the reference host's scene: triangle meshes under oxScenegraph::getRoot(), each
// a node with an osg::Geometry core (positions, triangle indices and one normal per position).
class oxHostScene
{
public:
    // Adds a mesh; triangles holds three position indices per triangle. Without normals (one per
    // position) smooth ones are made from the triangles, weighted by their areas. Null, with
    // error, when an index or the normal count does not fit; the scene is then unchanged.
    static osg::NodePtr addMesh(const std::string& name, const std::vector<osg::Pnt3f>& positions,
                                const std::vector<osg::UInt32>& triangles, const std::vector<osg::Vec3f>& normals,
                                std::string& error);

    static std::vector<std::string> meshNames();
    // Removes the first mesh of that name; false when there is none.
    static bool removeMesh(const std::string& name);
    static void clear();
};
