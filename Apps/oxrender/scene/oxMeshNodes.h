#pragma once

#include "OSGGeometry.h"
#include "OSGNode.h"
#include "oxRenderMesh.h"

#include <vector>

// Between render meshes and the scene graph's geometry nodes.
class oxMeshNodes
{
public:
    // Crease angle for geometry that comes without normals, in degrees.
    static constexpr float DefaultCreaseAngle = 30.f;

    // One triangle run over indexed positions and per-vertex normals.
    static osg::GeometryPtr makeGeometry(const oxRenderMesh& mesh);
    // A node named after the mesh, holding makeGeometry's result.
    static osg::NodePtr makeNode(const oxRenderMesh& mesh);

    // The triangles of geometry in world space by toWorld; per-position normals are kept,
    // otherwise smooth normals are computed with the default crease angle.
    static oxRenderMesh fromGeometry(const osg::Geometry& geometry, const osg::Matrix& toWorld);

    // Calls fn for every geometry core under root (root included) whose node and ancestors
    // below root are active, with the node and its world matrix.
    static void forEachGeometry(
        const osg::NodePtr& root,
        const std::function<void(const osg::NodePtr&, const osg::GeometryPtr&, const osg::Matrix& toWorld)>& fn);
};
