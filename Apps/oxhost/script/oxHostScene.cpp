#include "oxHostScene.h"

#include "OSGGeometry.h"
#include "oxScenegraph.h"

#include <cmath>

namespace
{
osg::Vec3f cross(const osg::Vec3f& a, const osg::Vec3f& b)
{
    return osg::Vec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}

// Area-weighted: the unnormalised face normal is twice the triangle's area long.
std::vector<osg::Vec3f> smoothNormals(const std::vector<osg::Pnt3f>& positions,
                                      const std::vector<osg::UInt32>& triangles)
{
    std::vector<osg::Vec3f> normals(positions.size(), osg::Vec3f(0.f, 0.f, 0.f));
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
    {
        const osg::UInt32 i0 = triangles[t], i1 = triangles[t + 1], i2 = triangles[t + 2];
        const osg::Vec3f face = cross(positions[i1] - positions[i0], positions[i2] - positions[i0]);
        if (!std::isfinite(face[0]) || !std::isfinite(face[1]) || !std::isfinite(face[2]))
            continue;
        normals[i0] += face;
        normals[i1] += face;
        normals[i2] += face;
    }
    // A position on no triangle keeps a zero normal; the picker then uses the face normal.
    for (osg::Vec3f& n : normals)
        if (n.length() > 0.f)
            n *= 1.f / n.length();
    return normals;
}

osg::NodePtr makeMeshNode(const std::string& name, const std::vector<osg::Pnt3f>& points,
                          const std::vector<osg::UInt32>& triangles, const std::vector<osg::Vec3f>& vertexNormals)
{
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    osg::GeoNormals3fPtr normals = osg::GeoNormals3f::create();
    osg::GeoIndicesUI32Ptr indices = osg::GeoIndicesUI32::create();
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    osg::beginEditCP(positions);
    {
        positions->getField().getValues().assign(points.begin(), points.end());
    }
    osg::endEditCP(positions);
    osg::beginEditCP(normals);
    {
        normals->getField().getValues().assign(vertexNormals.begin(), vertexNormals.end());
    }
    osg::endEditCP(normals);
    osg::beginEditCP(indices);
    {
        indices->getField().getValues().assign(triangles.begin(), triangles.end());
    }
    osg::endEditCP(indices);
    osg::beginEditCP(types);
    osg::beginEditCP(lengths);
    {
        types->push_back(osg::GL_TRIANGLES_);
        lengths->push_back(osg::UInt32(triangles.size()));
    }
    osg::endEditCP(lengths);
    osg::endEditCP(types);

    osg::GeometryPtr geometry = osg::Geometry::create();
    osg::beginEditCP(geometry);
    {
        geometry->setTypes(types);
        geometry->setLengths(lengths);
        geometry->setPositions(positions);
        geometry->setNormals(normals);
        geometry->setIndices(indices);
    }
    osg::endEditCP(geometry);

    osg::NodePtr node = osg::Node::create();
    osg::beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(geometry);
    }
    osg::endEditCP(node, osg::Node::CoreFieldMask);
    node->setName(name);
    return node;
}

} // namespace

osg::NodePtr oxHostScene::addMesh(const std::string& name, const std::vector<osg::Pnt3f>& positions,
                                  const std::vector<osg::UInt32>& triangles, const std::vector<osg::Vec3f>& normals,
                                  std::string& error)
{
    if (triangles.size() % 3 != 0)
    {
        error = "the triangle list of mesh \"" + name + "\" holds " + std::to_string(triangles.size()) +
                " indices, not a multiple of three";
        return osg::NullFC;
    }
    for (osg::UInt32 i : triangles)
        if (i >= positions.size())
        {
            error = "mesh \"" + name + "\" has a triangle with the index " + std::to_string(i) + ", but only " +
                    std::to_string(positions.size()) + " vertices";
            return osg::NullFC;
        }
    if (!normals.empty() && normals.size() != positions.size())
    {
        error = "mesh \"" + name + "\" has " + std::to_string(normals.size()) + " normals for " +
                std::to_string(positions.size()) + " vertices";
        return osg::NullFC;
    }
    osg::NodePtr node =
        makeMeshNode(name, positions, triangles, normals.empty() ? smoothNormals(positions, triangles) : normals);
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    {
        root->addChild(node);
    }
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    return node;
}

std::vector<std::string> oxHostScene::meshNames()
{
    std::vector<std::string> names;
    osg::NodePtr root = oxScenegraph::getRoot();
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        names.push_back(root->getChild(i)->getName());
    return names;
}

bool oxHostScene::removeMesh(const std::string& name)
{
    osg::NodePtr root = oxScenegraph::getRoot();
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        if (root->getChild(i)->getName() == name)
        {
            osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
            {
                root->subChild(i);
            }
            osg::endEditCP(root, osg::Node::ChildrenFieldMask);
            return true;
        }
    return false;
}

void oxHostScene::clear()
{
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    {
        while (root->getNChildren() > 0)
            root->subChild(root->getNChildren() - 1);
    }
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
}
