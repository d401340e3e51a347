"""Aiming the lights by picking surface normals on a mesh.

    build/bin/oxhost examples/aim_at_surface.py [mesh.obj]

Without an argument a cylinder is made. With the normal pick on, the pointer ray finds a surface
point; a click aims the light of the current analysis at the normal there: the isophote light
direction, the light plane (which then also moves to the point) or the light sphere's axis.
"""
import math
import sys

import oxHost

if len(sys.argv) > 1:
    mesh = oxHost.loadMesh(sys.argv[1])
else:
    segments, radius, height = 48, 5.0, 20.0
    vertices, triangles = [], []
    for i in range(segments):
        a = 2 * math.pi * i / segments
        vertices += [(radius * math.cos(a), radius * math.sin(a), -height / 2),
                     (radius * math.cos(a), radius * math.sin(a), height / 2)]
        j = (i + 1) % segments
        triangles += [(2 * i, 2 * j, 2 * j + 1), (2 * i, 2 * j + 1, 2 * i + 1)]
    mesh = oxHost.addMesh("cylinder", vertices, triangles)
print("the model:", oxHost.meshes())

enableSurfaceAnalysis(True)


def aim(origin, direction):
    setSurfaceAnalysisPickNormal(True)  # switching the analysis kind switches the pick off
    hit = oxHost.pickAt(origin, direction)
    if hit is None:
        print("  nothing under the pointer")
        return
    name, point, normal = hit
    oxHost.click()
    print("  picked {} at ({:.2f}, {:.2f}, {:.2f}), normal ({:.2f}, {:.2f}, {:.2f})".format(name, *point, *normal))


print("isophotes: the light direction follows the normal")
setSurfaceAnalysisMode(0)
for angle in (0, 45, 90):
    a = math.radians(angle)
    aim((20 * math.cos(a), 20 * math.sin(a), 1), (-math.cos(a), -math.sin(a), 0))
    print("  light direction ({:.2f}, {:.2f}, {:.2f})".format(*oxHost.get("LightDirection")))

print("parallel lights: the light plane turns to face the normal and moves to the point")
setSurfaceAnalysisMode(1)
oxHost.set("ReflectionMode", 1)
aim((0, 20, 3), (0, -1, 0))
print("  plane origin ({:.2f}, {:.2f}, {:.2f}), rotation ({:.1f}, {:.1f}, {:.1f})".format(
    *oxHost.get("LightPlaneOrigin"), *oxHost.get("LightPlaneRotation")))

print("spherical lights: the sphere axis turns to the normal")
oxHost.set("ReflectionMode", 0)
aim((0, -20, -2), (0, 1, 0))
print("  sphere rotation ({:.1f}, {:.1f}, {:.1f})".format(*oxHost.get("LightSphereRotation")))

print("a miss changes nothing:")
aim((0, 0, 100), (0, 0, 1))
