#pragma once

#include "OSGGeometry.h"
#include "OSGNode.h"
#include "OSGVector.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A scan's points as a model of its own: flat arrays, no allocation per point, so that ten million
// points take some 300 MB. Normals and colours are either absent or one per point; values is the
// per-point channel an analysis colours by (a deviation, say), NaN where it has none.
struct oxPointCloud
{
    std::string name;
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::Vec3f> normals;
    std::vector<std::uint32_t> colours; // 0xRRGGBB
    std::vector<float> values;

    size_t size() const { return positions.size(); }
    bool hasNormals() const { return !positions.empty() && normals.size() == positions.size(); }
    bool hasColours() const { return !positions.empty() && colours.size() == positions.size(); }
    // False for a cloud without points.
    bool bounds(osg::Pnt3f& min, osg::Pnt3f& max) const;
    // The mean distance from a point to its nearest neighbour, estimated on a sample; 0 for fewer
    // than two distinct points.
    float spacing() const;
    // Positions by m, normals by its inverse transpose (unit again).
    void transform(const osg::Matrix& m);

    // A geometry node of points (GL_POINTS) holding the positions, the cloud attached to its core
    // for the renderer (see of()).
    static osg::NodePtr makeNode(std::shared_ptr<const oxPointCloud> cloud);
    static std::shared_ptr<const oxPointCloud> of(const osg::Geometry& geometry);
};
