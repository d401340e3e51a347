#include "oxCadMesh.h"

#include "oxGeometryData.h"

void oxCadMesh::attach(const osg::GeometryPtr& geometry, std::shared_ptr<const oxCadMesh> cad)
{
    oxGeometryData<oxCadMesh>::attach(geometry, std::move(cad));
}

std::shared_ptr<const oxCadMesh> oxCadMesh::of(const osg::Geometry& geometry)
{
    return oxGeometryData<oxCadMesh>::of(geometry);
}
