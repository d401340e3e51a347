#pragma once

#include "OSGVector.h"

#include <string>

class oxRenderScene;

// What the model holds at the first hit of a ray: the point, the normal and the curvatures the
// renderer shades with there, with their principal directions. On a CAD face with exact shading
// on, those of the exact surface where the ray meets it.
struct oxProbe
{
    osg::Pnt3f point;
    osg::Vec3f normal;
    float k1 = 0, k2 = 0; // k1 >= k2, positive where the surface bends away from the normal
    osg::Vec3f dir1, dir2;
    size_t mesh = 0;
    unsigned triangle = 0; // the point's index on a point cloud
    float u = 0, v = 0;    // the hit's barycentric coordinates on the triangle (of its second and third corners)
    long face = -1;        // the CAD face, numbered across the scene's CAD meshes in order; -1 on meshes
    float distance = 0;
    bool exact = false;

    // False when the ray misses every mesh.
    static bool trace(const oxRenderScene& scene, const osg::Pnt3f& origin, const osg::Vec3f& direction, oxProbe& out);
    // The same at a hit already found (a kept surface buffer's): the ray's distance to it, in
    // lengths of direction, and the normal to take where the triangle's corner normals cancel.
    static void at(const oxRenderScene& scene, const osg::Pnt3f& origin, const osg::Vec3f& direction, size_t mesh,
                   unsigned triangle, float u, float v, float distance, const osg::Vec3f& ng, oxProbe& out);

private:
    static void atPoint(const oxRenderScene& scene, const osg::Vec3f& ng, oxProbe& out);
    // The principal directions: d1 turned into the tangent plane, any tangent where it has none.
    static void setDirections(osg::Vec3f d1, oxProbe& out);
};
