#pragma once

#include "OSGQuaternion.h"
#include "OSGVector.h"

// Conversions between vectors, rotations and light frames shared by every light placement
// path (visuals, drags, picking, scripts, project load), so all derive the same axes from
// the same rotation. Euler triples are converted only through osg::Transform3D.
namespace oxSurfaceAnalysisLightFrame
{
// Scales v to unit length, or returns it as it is when it is shorter than 1e-6.
osg::Vec3f normalized(const osg::Vec3f& v);

// R(q)·(1, 0, 0) and R(q)·(0, 0, 1).
osg::Vec3f rotatedXAxis(const osg::Quaternion& q);
osg::Vec3f rotatedZAxis(const osg::Quaternion& q);

// The rotation that turns `from` onto `to`; `euler` receives its triple. Parallel,
// antiparallel and zero vectors give the identity.
osg::Quaternion getOrientationFromAxis(const osg::Vec3f& from, const osg::Vec3f& to, osg::Vec3f& euler);

// Plane frame: u, v = the images of local +X and +Y, normalised.
void getLightPlaneAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& u, osg::Vec3f& v);

// Sphere frame: axis, uTangent = the images of local +X and +Z.
void getLightSphereAxesFromEuler(const osg::Vec3f& euler, osg::Vec3f& axis, osg::Vec3f& uTangent);

// The direction handle's rotation for the stored light direction d (taken as it is, not
// normalised): it turns the arrow's local X onto d; d along -X leaves the identity.
osg::Quaternion directionToHandleRotation(const osg::Vec3f& d);

// The light direction a handle rotation shows: R(q)·(1, 0, 0), normalised.
osg::Vec3f handleRotationToDirection(const osg::Quaternion& q);
} // namespace oxSurfaceAnalysisLightFrame
