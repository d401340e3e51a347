"""One analysis kind on whatever model is loaded, ready for an image.

    oxhost --mesh part.stl --render part.png examples/analysis_kinds.py zebra
    oxhost --sample teapot --render teapot.png --size 960x600 examples/analysis_kinds.py curvature

The kind is one of: isophotes, zebra (reflection lines of light tubes), rings (reflections of the
light sphere's rings), highlight (highlight lines), curvature. The light tubes are laid on a plane
through the eye, facing the model, spaced by a twentieth of the viewing distance, so the stripes
suit models of any size; the light visuals are hidden so that they do not cover the model.
"""
import math
import sys

import oxHost

kinds = ("isophotes", "zebra", "rings", "highlight", "curvature")
kind = sys.argv[1] if len(sys.argv) > 1 else "zebra"
if kind not in kinds:
    sys.exit(f"unknown analysis kind {kind!r}; the kinds are {', '.join(kinds)}")

eye, target, up, fov, orthographic = oxHost.camera()
distance = math.dist(eye, target)

enableSurfaceAnalysis(True)
for setting, value in [("LineMode", 1), ("StripeThickness", 0.5), ("StripeSharpness", 0.8),
                       ("ShadingMode", 1), ("LightPlaneVisibility", False), ("LightSphereVisibility", False),
                       ("LightDirectionVisibility", False)]:
    oxHost.set(setting, value)

if kind == "isophotes":
    oxHost.set("AnalysisMode", 0)
    oxHost.set("IsoLineCount", 16)
    oxHost.set("LightDirection", tuple(e - t for e, t in zip(eye, target)))
elif kind in ("zebra", "highlight"):
    oxHost.set("AnalysisMode", 1 if kind == "zebra" else 2)
    oxHost.set("ReflectionMode", 1)
    oxHost.set("IsoLineCount", 60)
    oxHost.set("LightLinesDistance", distance / 20)
    oxHost.set("LightPlaneOrigin", eye)
    # The plane's normal (its local z) turned from +z onto the direction from the model to the eye.
    d = [e - t for e, t in zip(eye, target)]
    pitch = math.degrees(math.atan2(-d[1], math.hypot(d[0], d[2])))
    yaw = math.degrees(math.atan2(d[0], d[2]))
    oxHost.set("LightPlaneRotation", (pitch, yaw, 0))
    if kind == "highlight":
        oxHost.set("LineMode", 0)
        oxHost.set("StripeThickness", 0.15)
elif kind == "rings":
    oxHost.set("AnalysisMode", 1)
    oxHost.set("ReflectionMode", 0)
    oxHost.set("IsoLineCount", 12)
    oxHost.set("ShadingMode", 2)
    oxHost.set("LightSphereRotation", (0, 0, 90))
else:
    oxHost.set("AnalysisMode", 3)
    oxHost.set("CurvatureMode", 1)
    oxHost.set("UseBands", True)
    oxHost.set("IsoLineCount", 16)
    # Full colour at a radius of a fifth of the viewing distance.
    oxHost.set("CurvatureDrawScale", distance / 5)
    oxHost.set("CurvatureLegendOverlayVisibility", True)
print(f"{kind} on {', '.join(oxHost.meshes())}")
