#include "oxMeshNodes.h"

namespace
{
void visit(const osg::NodePtr& node, const osg::Matrix& parentToWorld,
           const std::function<void(const osg::NodePtr&, const osg::GeometryPtr&, const osg::Matrix&)>& fn)
{
    if (node == osg::NullFC || !node->getActive())
        return;
    osg::Matrix toWorld = parentToWorld;
    if (node->getCore() != osg::NullFC)
        node->getCore()->accumulateMatrix(toWorld);
    const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getCore());
    if (geometry != osg::NullFC)
        fn(node, geometry, toWorld);
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        visit(node->getChild(i), toWorld, fn);
}
} // namespace

osg::GeometryPtr oxMeshNodes::makeGeometry(const oxRenderMesh& mesh)
{
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    positions->getField().getValues().assign(mesh.positions.begin(), mesh.positions.end());
    osg::GeoIndicesUI32Ptr indices = osg::GeoIndicesUI32::create();
    indices->getField().getValues().assign(mesh.indices.begin(), mesh.indices.end());
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    types->push_back(osg::GL_TRIANGLES_);
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    lengths->push_back(osg::UInt32(mesh.indices.size()));

    const osg::BitVector mask = osg::Geometry::TypesFieldMask | osg::Geometry::LengthsFieldMask |
                                osg::Geometry::PositionsFieldMask | osg::Geometry::NormalsFieldMask |
                                osg::Geometry::IndicesFieldMask;
    osg::GeometryPtr geometry = osg::Geometry::create();
    beginEditCP(geometry, mask);
    {
        geometry->setTypes(types);
        geometry->setLengths(lengths);
        geometry->setPositions(positions);
        geometry->setIndices(indices);
        if (mesh.hasNormals())
        {
            osg::GeoNormals3fPtr normals = osg::GeoNormals3f::create();
            normals->getField().getValues().assign(mesh.normals.begin(), mesh.normals.end());
            geometry->setNormals(normals);
        }
    }
    endEditCP(geometry, mask);
    return geometry;
}

osg::NodePtr oxMeshNodes::makeNode(const oxRenderMesh& mesh)
{
    osg::NodePtr node = osg::Node::create();
    beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(makeGeometry(mesh));
        node->setName(mesh.name);
    }
    endEditCP(node, osg::Node::CoreFieldMask);
    return node;
}

oxRenderMesh oxMeshNodes::fromGeometry(const osg::Geometry& geometry, const osg::Matrix& toWorld)
{
    oxRenderMesh mesh;
    const osg::GeoPositions3fPtr positions = geometry.getPositions();
    if (positions == osg::NullFC)
        return mesh;
    mesh.positions.assign(positions->getField().begin(), positions->getField().end());
    geometry.forEachTriangle(
        [&mesh](osg::UInt32 i0, osg::UInt32 i1, osg::UInt32 i2) {
            mesh.indices.insert(mesh.indices.end(), {i0, i1, i2});
        });
    const osg::GeoNormals3fPtr normals = geometry.getNormals();
    if (normals != osg::NullFC && normals->size() == positions->size())
        mesh.normals.assign(normals->getField().begin(), normals->getField().end());
    mesh.sanitize();
    if (mesh.hasNormals())
        mesh.normalizeNormals();
    else
        mesh.computeNormals(DefaultCreaseAngle);
    // The normals are unit already; most geometry sits in world space as it is.
    if (!toWorld.equals(osg::Matrix(), 0.f))
        mesh.transform(toWorld);
    return mesh;
}

void oxMeshNodes::forEachGeometry(
    const osg::NodePtr& root,
    const std::function<void(const osg::NodePtr&, const osg::GeometryPtr&, const osg::Matrix&)>& fn)
{
    visit(root, osg::Matrix(), fn);
}
