"""The viewer's opening scene: zebra stripes (reflection lines of light tubes) on whatever model
is loaded, with the light plane above the model where it can be dragged.

    oxhost --gui --sample teapot examples/viewer.py y
    oxhost --gui --mesh part.stl examples/viewer.py
    oxhost --gui --sample teapot examples/viewer.py y window.png

The first argument is the model's up axis, z (the default) or y: the view orbits about it. With
a second, the window is written to that image and the viewer closes (make gui does so when there
is no display to show it on). Drag the
plane's body to move the tubes, its round handles to turn them; Ctrl+Z undoes a drag.
"""
import math
import sys

import oxHost

try:
    oxHost.viewUp(sys.argv[1] if len(sys.argv) > 1 else "z")
except RuntimeError:
    pass  # no window (oxhost without --gui): the settings alone

cam = oxHost.camera()
eye, target, up = cam["position"], cam["target"], cam["up"]
distance = math.dist(eye, target)

enableSurfaceAnalysis(True)
setSurfaceAnalysisMode(1)
for setting, value in [("ReflectionMode", 1), ("LineMode", 1), ("IsoLineCount", 40),
                       ("StripeThickness", 0.5), ("StripeSharpness", 0.8), ("ShadingMode", 1),
                       ("LightLinesDistance", distance / 20), ("LightLinesLength", 1.2 * distance),
                       ("LimitedLightLinesLength", True), ("LightDirectionVisibility", False)]:
    oxHost.set(setting, value)

# The plane between the eye and the model, above the line of sight, its normal
# (local z) turned from +z onto the direction from the model to it, as in analysis_kinds.py.
origin = [t + 0.45 * (e - t) + 0.12 * distance * u for e, t, u in zip(eye, target, up)]
d = [o - t for o, t in zip(origin, target)]
pitch = math.degrees(math.atan2(-d[1], math.hypot(d[0], d[2])))
yaw = math.degrees(math.atan2(d[0], d[2]))
oxHost.set("LightPlaneOrigin", origin)
oxHost.set("LightPlaneRotation", (pitch, yaw, 0))

if len(sys.argv) > 2:
    print("the viewer's window:", oxHost.screenshot(sys.argv[2]))
    oxHost.quit()
print(f"zebra stripes on {', '.join(oxHost.meshes()) or 'an empty model'}: drag the light plane, Ctrl+Z undoes a drag")
