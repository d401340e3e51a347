#include "oxPointCloud.h"

#include "oxGeometryData.h"
#include "oxRenderMesh.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

bool oxPointCloud::bounds(osg::Pnt3f& min, osg::Pnt3f& max) const
{
    if (positions.empty())
        return false;
    min = osg::Pnt3f(FLT_MAX, FLT_MAX, FLT_MAX);
    max = osg::Pnt3f(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (const osg::Pnt3f& p : positions)
        for (int c = 0; c < 3; ++c)
        {
            min[c] = std::min(min[c], p[c]);
            max[c] = std::max(max[c], p[c]);
        }
    return true;
}

float oxPointCloud::spacing() const
{
    // A scan samples a surface: among s of n points the neighbours lie sqrt(n / s) times as far
    // apart as among all of them. A sample small enough to search by brute force keeps this cheap.
    const size_t n = positions.size();
    const size_t s = std::min<size_t>(n, 2048);
    if (s < 2)
        return 0.f;
    std::vector<osg::Pnt3f> sample(s);
    for (size_t i = 0; i < s; ++i)
        sample[i] = positions[i * (n / s) + (i * 7919) % (n / s)];
    double sum = 0;
    size_t counted = 0;
    for (size_t i = 0; i < s; ++i)
    {
        float nearest = FLT_MAX;
        for (size_t j = 0; j < s; ++j)
        {
            const float d = (sample[i] - sample[j]).squareLength();
            if (j != i && d > 0.f)
                nearest = std::min(nearest, d);
        }
        if (nearest < FLT_MAX)
        {
            sum += std::sqrt(double(nearest));
            ++counted;
        }
    }
    return counted == 0 ? 0.f : float(sum / double(counted) * std::sqrt(double(s) / double(n)));
}

void oxPointCloud::transform(const osg::Matrix& m)
{
    // The mesh's transform, on the same arrays lent to it.
    oxRenderMesh mesh;
    mesh.positions.swap(positions);
    mesh.normals.swap(normals);
    mesh.transform(m);
    positions.swap(mesh.positions);
    normals.swap(mesh.normals);
}

osg::NodePtr oxPointCloud::makeNode(std::shared_ptr<const oxPointCloud> cloud)
{
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    positions->getField().getValues().assign(cloud->positions.begin(), cloud->positions.end());
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    types->push_back(osg::GL_POINTS_);
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    lengths->push_back(osg::UInt32(cloud->size()));
    const osg::BitVector mask =
        osg::Geometry::TypesFieldMask | osg::Geometry::LengthsFieldMask | osg::Geometry::PositionsFieldMask;
    osg::GeometryPtr geometry = osg::Geometry::create();
    beginEditCP(geometry, mask);
    {
        geometry->setTypes(types);
        geometry->setLengths(lengths);
        geometry->setPositions(positions);
    }
    endEditCP(geometry, mask);
    osg::NodePtr node = osg::Node::create();
    beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(geometry);
        node->setName(cloud->name);
    }
    endEditCP(node, osg::Node::CoreFieldMask);
    oxGeometryData<oxPointCloud>::attach(geometry, std::move(cloud));
    return node;
}

std::shared_ptr<const oxPointCloud> oxPointCloud::of(const osg::Geometry& geometry)
{
    return oxGeometryData<oxPointCloud>::of(geometry);
}
