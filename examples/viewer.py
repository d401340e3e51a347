"""The viewer's opening scene: zebra stripes (reflection lines of light tubes) on whatever model
is loaded, with the light plane above the model where it can be dragged.

    oxhost --gui --sample teapot examples/viewer.py
    oxhost --gui --mesh part.stl examples/viewer.py

Drag the plane's body to move the tubes, its corner handles to turn them; Ctrl+Z undoes a drag.
"""
import math

import oxHost

cam = oxHost.camera()
eye, target = cam["position"], cam["target"]
distance = math.dist(eye, target)

enableSurfaceAnalysis(True)
setSurfaceAnalysisMode(1)
for setting, value in [("ReflectionMode", 1), ("LineMode", 1), ("IsoLineCount", 24),
                       ("StripeThickness", 0.5), ("StripeSharpness", 0.8), ("ShadingMode", 1),
                       ("LightLinesDistance", distance / 14), ("LightDirectionVisibility", False)]:
    oxHost.set(setting, value)

# The plane above the model and toward the eye, facing down onto it.
origin = tuple(t + 0.35 * (e - t) for e, t in zip(eye, target))
origin = (origin[0], origin[1], origin[2] + 0.35 * distance)
oxHost.set("LightPlaneOrigin", origin)
oxHost.set("LightPlaneRotation", (0, 0, 0))


print(f"zebra stripes on {', '.join(oxHost.meshes()) or 'an empty model'}: drag the light plane, Ctrl+Z undoes a drag")
