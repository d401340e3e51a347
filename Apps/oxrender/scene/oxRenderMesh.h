#pragma once

#include "OSGMatrix.h"
#include "OSGVector.h"

#include <string>
#include <vector>

// A triangle mesh as the raytracer and the curvature estimator read it: shared vertices with one
// unit normal each, three indices per triangle.
struct oxRenderMesh
{
    std::string name;
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::Vec3f> normals;
    std::vector<osg::UInt32> indices;

    size_t vertexCount() const { return positions.size(); }
    size_t triangleCount() const { return indices.size() / 3; }
    bool hasNormals() const { return !positions.empty() && normals.size() == positions.size(); }

    // Drops triangles that name a missing vertex or touch a non-finite position, and a trailing
    // partial triangle; returns how many triangles went.
    size_t sanitize();

    // Welds positions with the same bits into one vertex, kept in the order they first appear;
    // drops the normals. Every index must name a position.
    void weld();

    // Smooth normals weighted by corner angle. Where two faces at a vertex meet at more than
    // creaseAngle degrees the vertex is split, so creases stay sharp and smooth parts stay smooth.
    // Positions are welded first, so a file that repeats a position per face still smooths;
    // positionsWelded says that weld() already ran.
    void computeNormals(float creaseAngleDegrees, bool positionsWelded = false);

    // Turns every triangle whose winding disagrees with its vertex normals, so that the
    // corners run counter-clockwise seen from the side the normals point to.
    void orientToNormals();

    // Unit normals, a unit fallback for zero or non-finite ones.
    void normalizeNormals();

    // Positions by m, normals by its inverse transpose.
    void transform(const osg::Matrix& m);
    void append(const oxRenderMesh& other);

    // False for a mesh without positions.
    bool bounds(osg::Pnt3f& min, osg::Pnt3f& max) const;
};
