#pragma once

#include "OSGGeometry.h"
#include "OSGNode.h"

namespace osg
{
// Builders for simple shapes, with positions and unit normals, as triangle geometry.
// Sizes are used by magnitude and a non-finite size counts as 0, so odd input gives a
// degenerate but well-formed geometry. The makeXxx variants return a node holding the geometry.

// Plane orientation codes of makePlaneGeo: the code is the axis of the normal, and the
// x size runs along the next axis, the y size along the one after (right-handed):
//   0: normal +X, x size along Y, y size along Z
//   1: normal +Y, x size along Z, y size along X
//   2: normal +Z, x size along X, y size along Y (the default)
// Any other code is taken as 2.
enum PlaneOrientation : UInt16
{
    PlaneNormalX = 0,
    PlaneNormalY = 1,
    PlaneNormalZ = 2
};

// Subdivisions beyond these are clamped, so a large request cannot exhaust memory.
const UInt16 MaxPlaneSubdivisions = 1024;
const UInt16 MaxSphereDepth = 8;

// A xsize by ysize rectangle centred on the origin, hor x vert quads (each at least 1),
// as one triangle strip per row.
GeometryPtr makePlaneGeo(Real32 xsize, Real32 ysize, UInt16 hor, UInt16 vert, UInt16 orientation = PlaneNormalZ);
NodePtr makePlane(Real32 xsize, Real32 ysize, UInt16 hor, UInt16 vert, UInt16 orientation = PlaneNormalZ);

// An icosahedron subdivided depth times and pushed onto the sphere: 20 * 4^depth triangles.
GeometryPtr makeSphereGeo(UInt16 depth, Real32 radius);
NodePtr makeSphere(UInt16 depth, Real32 radius);

// Frustum along Y centred on the origin: the bottom ring at -height/2, the top at +height/2.
// sides is at least 3. A top radius of 0 gives a cone whose side is one triangle per side.
GeometryPtr makeConicalFrustumGeo(Real32 height, Real32 topradius, Real32 botradius, UInt16 sides, bool doSide,
                                  bool doTop, bool doBottom);
NodePtr makeConicalFrustum(Real32 height, Real32 topradius, Real32 botradius, UInt16 sides, bool doSide, bool doTop,
                           bool doBottom);

GeometryPtr makeCylinderGeo(Real32 height, Real32 radius, UInt16 sides, bool doSide, bool doTop, bool doBottom);
NodePtr makeCylinder(Real32 height, Real32 radius, UInt16 sides, bool doSide, bool doTop, bool doBottom);

// The tip is at +height/2.
GeometryPtr makeConeGeo(Real32 height, Real32 botradius, UInt16 sides, bool doSide, bool doBottom);
NodePtr makeCone(Real32 height, Real32 botradius, UInt16 sides, bool doSide, bool doBottom);
} // namespace osg
