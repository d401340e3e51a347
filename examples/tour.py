"""A walk through the surface analysis module in the reference host oxhost.

Run it with `make run`, or directly:  build/bin/oxhost examples/tour.py

The fourteen script functions of the module (enableSurfaceAnalysis, setSurfaceAnalysisMode, ...)
are already imported by the host; oxHost is the host itself: its scene, project, undo history and
the module's panel (get, set, signals, visuals, drag, ...).
"""
import math
import os
import struct
import tempfile

import oxHost


def section(title):
    print()
    print("==", title)


def fmt(value):
    """Vectors and floats with a few decimals, for reading."""
    if isinstance(value, tuple):
        return "(" + ", ".join(fmt(v) for v in value) + ")"
    if isinstance(value, float):
        return f"{value:.3g}"
    return str(value)


def heard():
    """The module's signals since the last call, as its panel in a user interface sees them."""
    return ", ".join(f"{name}={fmt(value)}" for name, value in oxHost.signals())


# Every call below is its own undo step (by default, quick edits of one setting merge into one).
oxHost.setMergeWindow(-1)

section("A model to look at")
n, size = 24, 10.0
vertices = []
for j in range(n + 1):
    for i in range(n + 1):
        x, y = -size + 2 * size * i / n, -size + 2 * size * j / n
        vertices.append((x, y, 1.5 * math.sin(x / 3) * math.cos(y / 4)))
triangles = []
for j in range(n):
    for i in range(n):
        a = j * (n + 1) + i
        triangles += [(a, a + 1, a + n + 2), (a, a + n + 2, a + n + 1)]
oxHost.addMesh("bumpy", vertices, triangles)
print(f"added the mesh 'bumpy': {len(vertices)} vertices, {len(triangles)} triangles")

section("Switching the analysis on")
oxHost.signals()
enableSurfaceAnalysis(True)
state = oxHost.renderState()
print("analysis active:", oxHost.get("AnalysisActive"))
print(f"the renderer: rendering mode {state['renderingMode']}, quality {state['renderQuality']}")
print("the panel heard:", heard())

section("Isophotes: stripes of equal angle to one light")
setSurfaceAnalysisMode(0)
setSurfaceAnalysisLineCount(12)
setSurfaceAnalysisLineColor((0.1, 0.1, 0.6))
setSurfaceAnalysisDirection((0, 1, 2))
setSurfaceAnalysisShowDirection(True)
print("the panel heard:", heard())
record = oxHost.settings()
print("the record the renderer reads: Isolines", record["Isolines"], "StripeColor", fmt(record["StripeColor"]),
      "LinearLightDirection", fmt(record["LinearLightDirection"]))
print("interaction contexts:", oxHost.contexts(), "- the arrow can be dragged")

section("Reflection lines of parallel light tubes on a light plane")
oxHost.set("AnalysisMode", 1)
oxHost.set("ReflectionMode", 1)
plane = oxHost.visuals()["lightPlane"]
print(f"light plane visible: {plane['visible']}, {plane['lineCount']} lines drawn, at {fmt(plane['translation'])}")
print("interaction contexts:", oxHost.contexts())

section("Dragging the light plane")
steps = [((0, 0, 2.5 * k), (7.5 * k, 0, 0)) for k in range(1, 5)]
before = oxHost.undoCount()
oxHost.drag("lightPlane", steps)
print(f"dragged through {len(steps)} steps: origin {fmt(oxHost.get('LightPlaneOrigin'))}, "
      f"rotation {fmt(oxHost.get('LightPlaneRotation'))}")
print(f"undo steps added by the drag: {oxHost.undoCount() - before} ({oxHost.undoText(oxHost.undoCount() - 1)!r})")

section("Spherical lights: rings around a light sphere")
oxHost.set("ReflectionMode", 0)
oxHost.set("IsoLineCount", 6)
sphere = oxHost.visuals()["lightSphere"]
print(f"light sphere visible: {sphere['visible']}, {sphere['ringCount']} rings drawn")
oxHost.drag("lightSphere", [((0, 0, 0), (0, 30, 0)), ((0, 0, 0), (0, 60, 15))])
print("after a drag its rotation is", fmt(oxHost.get("LightSphereRotation")))

section("Curvature")
setSurfaceAnalysisMode(3)
oxHost.set("CurvatureLegendOverlayVisibility", True)
print("curvature kind", oxHost.get("CurvatureMode"), "- legend shown by the renderer:",
      oxHost.renderState()["curvatureLegend"])

section("Aiming the light at a picked surface normal")
setSurfaceAnalysisMode(0)
setSurfaceAnalysisPickNormal(True)
print("interaction contexts:", oxHost.contexts())
name, point, normal = oxHost.pickAt((4, -3, 20), (0, 0, -1))
print(f"the pointer is over '{name}' at {fmt(point)}, where the normal is {fmt(normal)}")
oxHost.click()
print("after the click the light direction is", fmt(oxHost.get("LightDirection")))

section("Undo")
print("the history:", [oxHost.undoText(i) for i in range(oxHost.undoCount())])
for _ in range(3):
    oxHost.undo()
    print(f"undid {oxHost.undoText(oxHost.undoIndex())!r}; analysis mode {oxHost.get('AnalysisMode')}, "
          f"light direction {fmt(oxHost.get('LightDirection'))}")
oxHost.redo()
print(f"redid {oxHost.undoText(oxHost.undoIndex() - 1)!r}")

section("Saving and reloading the project")
folder = tempfile.mkdtemp(prefix="oxhost-tour-")
path = os.path.join(folder, "tour.json")
oxHost.set("StripeThickness", 0.3)
oxHost.saveProject(path)
with open(path) as f:
    lines = f.read().splitlines()
print(f"saved {path} ({len(lines)} lines); it begins:")
for line in lines[:7]:
    print("   ", line)
oxHost.newScene()
print("after a new scene: line count", oxHost.get("IsoLineCount"), "thickness", fmt(oxHost.get("StripeThickness")))
oxHost.loadProject(path)
print("after loading it: line count", oxHost.get("IsoLineCount"), "thickness", fmt(oxHost.get("StripeThickness")),
      "- exactly the float saved:", oxHost.get("StripeThickness") == oxHost.projectValues()["Isoline thickness"])
print("a loaded project starts with the analysis off:", not oxHost.get("AnalysisActive"))
os.remove(path)
os.rmdir(folder)

section("Seeing the analysis: images from the host's raytracer")
# The host raytraces what the record describes; the light visuals would stand in front of the
# samples, so they are hidden here.
folder = os.path.join(tempfile.gettempdir(), "oxhost-tour-images")
os.makedirs(folder, exist_ok=True)
for setting, value in [("AnalysisActive", True), ("LineMode", 1), ("StripeThickness", 0.5),
                       ("StripeSharpness", 0.8), ("StripeColor", (0, 0, 0)), ("BaseColor", (1, 1, 1)),
                       ("ShadingMode", 1), ("LightPlaneVisibility", False), ("LightSphereVisibility", False),
                       ("LightDirectionVisibility", False)]:
    oxHost.set(setting, value)


def picture(sample, eye, name):
    for mesh in oxHost.meshes():
        oxHost.removeMesh(mesh)
    oxHost.addSample(sample)
    oxHost.setCamera(eye, 40)
    oxHost.lookAt((0, 0, 0))
    oxHost.frameScene(640 / 400)
    path = oxHost.render(os.path.join(folder, name), 640, 400)
    print(f"{name:22} the {sample} sample, written to {path}")


oxHost.set("AnalysisMode", 0)
oxHost.set("IsoLineCount", 16)
oxHost.set("LightDirection", (1, 1, 1))
picture("sphere", (30, 20, 100), "isophotes-sphere.png")

# Zebra: light tubes 6 apart on a plane in front, turned 60 degrees, seen in the joins piece,
# whose strips meet their bends with a kink (G0), tangentially (G1) and curvature-continuously (G2).
oxHost.set("AnalysisMode", 1)
oxHost.set("ReflectionMode", 1)
oxHost.set("IsoLineCount", 40)
oxHost.set("LightLinesDistance", 6.0)
oxHost.set("LightPlaneOrigin", (0, 0, 60))
oxHost.set("LightPlaneRotation", (0, 0, 60))
picture("joins", (60, 10, 100), "zebra-joins.png")

oxHost.set("ReflectionMode", 0)
oxHost.set("IsoLineCount", 12)
oxHost.set("ShadingMode", 2)
oxHost.set("LightSphereRotation", (0, 0, 90))
picture("teapot", (60, 50, 100), "rings-teapot.png")

# Highlight lines follow the surface normal to the light tubes: thin lines, tubes above the torus.
oxHost.set("AnalysisMode", 2)
oxHost.set("ReflectionMode", 1)
oxHost.set("ShadingMode", 1)
oxHost.set("LineMode", 0)
oxHost.set("StripeThickness", 0.2)
oxHost.set("IsoLineCount", 16)
oxHost.set("LightLinesDistance", 8.0)
oxHost.set("LightPlaneOrigin", (0, 40, 0))
oxHost.set("LightPlaneRotation", (90, 0, 0))
picture("torus", (0, 60, 100), "highlight-torus.png")

oxHost.set("AnalysisMode", 3)
oxHost.set("CurvatureMode", 1)
oxHost.set("CurvatureDrawScale", 8.0)
oxHost.set("UseBands", True)
oxHost.set("IsoLineCount", 16)
oxHost.set("CurvatureLegendOverlayVisibility", True)
picture("teapot", (60, 50, 100), "curvature-teapot.png")

section("Reading the analysis: numbers, fitted range and lights, a report")
# --mesh and --sample fit the lights to the model by themselves (unless --project or --no-fit);
# a script does it with fitLights. Each fit is one undo step.
oxHost.setViewSize(640, 400)
p = oxHost.probe(320, 200)
print(f"under the view's centre: k1 {p['k1']:.4f}, k2 {p['k2']:.4f}, mean {p['mean']:.4f}, "
      f"smallest radius {p['radiusMin']:.2f} on '{p['mesh']}'")
stats = oxHost.curvatureStats(bins=8)
print(f"mean curvature over the surface, by area: median {stats['median']:.4f}, "
      f"2 % to 98 % from {stats['low']:.4f} to {stats['high']:.4f}")
print("histogram (per cent of the area):", [round(100 * h) for h in stats["hist"]])
scale = oxHost.autoRange()
print(f"autoRange: draw scale {scale:.3f} (colours span +-{1 / scale:.3f});",
      "undo step", repr(oxHost.undoText(oxHost.undoCount() - 1)))
oxHost.set("UseBands", False)
path = oxHost.render(os.path.join(folder, "curvature-teapot-fitted.png"), 640, 400)
print(f"{'curvature-teapot-fitted.png':22} the same teapot with the fitted range, written to {path}")
oxHost.set("AnalysisMode", 1)
oxHost.set("ReflectionMode", 1)
oxHost.set("LightPlaneRotation", (0, 0, 0))
oxHost.fitLights()
print("fitLights: plane origin", fmt(oxHost.get("LightPlaneOrigin")), "lines",
      round(oxHost.get("LightLinesDistance"), 2), "apart; undo step", repr(oxHost.undoText(oxHost.undoCount() - 1)))
print("exported", oxHost.exportCurvature(os.path.join(folder, "teapot-curvature.csv")))
print("report:", oxHost.report(os.path.join(folder, "report.html"), 480, 300))

section("CAD input: the joins piece as a B-rep, shaded from its exact surfaces")
# The same three joins built with Open CASCADE and written as STEP: read back, the host sews the
# faces, triangulates them and shades every pixel from the exact surface; continuity() measures
# each shared edge, and the edges are drawn in the colour of their class.
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
step = oxHost.writeCadSample("joins", os.path.join(folder, "joins.step"))
oxHost.loadMesh(step)
info = oxHost.modelInfo()
print(f"read {os.path.basename(step)}: {info['faces']} faces, {info['edges']} shared edges, "
      f"{info['triangles']} triangles")
for edge in oxHost.continuity():
    print(f"  edge {edge['edge']} between faces {edge['faces']}: gap {edge['g0']:.1e}, angle {edge['g1']:.1f} deg, "
          f"curvature mismatch {edge['g2']:.2f} -> {edge['class']}")
oxHost.set("AnalysisMode", 1)
oxHost.set("ReflectionMode", 1)
oxHost.set("LineMode", 1)
oxHost.set("StripeThickness", 0.5)
oxHost.set("IsoLineCount", 40)
oxHost.set("LightLinesDistance", 6.0)
oxHost.set("LightPlaneOrigin", (0, 0, 60))
oxHost.set("LightPlaneRotation", (0, 0, 60))
oxHost.setShowContinuity(True)
oxHost.setCamera((60, 10, 100), 40)
oxHost.lookAt((0, 0, 0))
oxHost.frameScene(640 / 400)
path = oxHost.render(os.path.join(folder, "cad-joins-continuity.png"), 640, 400)
print(f"{'cad-joins-continuity.png':22} zebra stripes and the joins in their colours (G0 red, G1 yellow, G2 green), "
      f"written to {path}")
oxHost.setShowContinuity(False)

section("Curvature combs across the joins")
# Section combs: a tooth at each sample as long as the section's curvature, the envelope through
# the tips. At the G1 join the curvature jumps from 0 to 1/10; at the G2 join it rises without a step.
oxHost.set("CombActive", True)
oxHost.set("CombEdges", False)
oxHost.set("CombSections", 3)
oxHost.set("CombSectionNormal", (0, 1, 0))
for y in (22.5, 0.0, -22.5):  # one plane across each strip
    for comb in oxHost.sectionComb((0, y, 0), (0, 1, 0), 64):
        k = comb["curvature"]
        jump = max(abs(b - a) for a, b in zip(k, k[1:]))
        print(f"  section y = {y:5.1f} through faces {comb['faces']}: largest curvature {comb['max']:.3f}, "
              f"largest step between samples {jump:.3f}")
oxHost.setCamera((25, -120, 45), 40)  # across the section planes, where the teeth stand in full
oxHost.lookAt((0, 0, -4))
oxHost.frameScene(640 / 400)
path = oxHost.render(os.path.join(folder, "combs-joins.png"), 640, 400)
print(f"{'combs-joins.png':22} the joins with three section combs over the zebra, written to {path}")
oxHost.set("CombActive", False)

section("Draft angle of a moulded part")
# A box whose four sides have 3 degrees of draft, pulled along z: with a minimum of 1 degree the
# sides release (positive), with 5 they are too steep (insufficient). Switching the draft on
# switches the module's analysis off: one analysis colours the surface at a time.
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
oxHost.loadMesh(oxHost.writeCadSample("draftbox", os.path.join(folder, "draftbox.step")))
oxHost.set("DraftDirection", (0, 0, 1))
oxHost.set("DraftActive", True)
print("draft on; the module's analysis is on:", oxHost.get("AnalysisActive"))
for angle in (1.0, 5.0):
    oxHost.set("DraftAngle", angle)
    stats = oxHost.draftStats()
    sides = [f for f in stats["faces"] if abs(f["min"]) < 45]
    print(f"  minimum {angle:.0f} deg: positive {stats['positive']:.2f}, negative {stats['negative']:.2f}, "
          f"insufficient {stats['insufficient']:.2f}; the sides read "
          + ", ".join(f"{f['min']:.2f}..{f['max']:.2f} deg ({f['class']})" for f in sides))
oxHost.setCamera((70, -90, -40), 40)  # from below: the sides and the bottom
oxHost.lookAt((0, 0, 0))
oxHost.frameScene(640 / 400)
path = oxHost.render(os.path.join(folder, "draft-box.png"), 640, 400)
print(f"{'draft-box.png':22} the drafted box at a minimum of 5 degrees: sides insufficient (yellow), bottom "
      f"negative (vermillion), written to {path}")
oxHost.set("DraftActive", False)

section("Deviation from a reference")
# This week's release of the joins piece against last week's: the copy is the joins' own
# triangulation (as exportCurvature writes it) bent slightly about the y axis, moved by
# 0.3 (x / 20)^3 along z (-0.3 at the flat end, x = -20), read back as the model; the reference is
# the exact CAD piece, whose open strips face down: a part moved down lies outside it.
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
step = oxHost.writeCadSample("joins", os.path.join(folder, "joins.step"))
oxHost.loadMesh(step)
ply = os.path.join(folder, "joins.ply")
oxHost.exportCurvature(ply)
with open(ply, "rb") as f:
    data = f.read()
body = data.index(b"end_header\n") + len(b"end_header\n")
header = data[:body].decode().split("\n")
count = {line.split()[1]: int(line.split()[2]) for line in header if line.startswith("element")}
points = [struct.unpack_from("<10f", data, body + 40 * i)[:3] for i in range(count["vertex"])]
at = body + 40 * count["vertex"]
faces = []
for _ in range(count["face"]):
    faces.append(struct.unpack_from("<3I", data, at + 1))
    at += 13
bent = os.path.join(folder, "joins-bent.obj")
with open(bent, "w") as f:
    for x, y, z in points:
        f.write(f"v {x} {y} {z + 0.3 * (x / 20) ** 3}\n")
    for a, b, c in faces:
        f.write(f"f {a + 1} {b + 1} {c + 1}\n")
for mesh in oxHost.meshes():
    oxHost.removeMesh(mesh)
oxHost.loadMesh(bent)
oxHost.loadReference(step)
print("the reference:", {k: oxHost.referenceInfo()[k] for k in ("faces", "triangles")})
oxHost.set("DeviationTolerance", 0.05)
oxHost.set("DeviationActive", True)
print("deviation on; the module's analysis is on:", oxHost.get("AnalysisActive"))
stats = oxHost.deviationStats()
print(f"  mean {stats['mean']:+.4f}, rms {stats['rms']:.4f}, from {stats['min']:+.4f} to {stats['max']:+.4f}; "
      f"within +-0.05: {stats['within']:.2f} of the area")
hit = oxHost.probeRay((-15, 0, 50), (0, 0, -1))  # on the flat part, moved down
print(f"  at {fmt(hit['point'])} the model lies {hit['deviation']:+.4f} from the reference point "
      f"{fmt(hit['referencePoint'])}")
oxHost.setCamera((60, 10, 100), 40)
oxHost.lookAt((0, 0, 0))
oxHost.frameScene(640 / 400)
path = oxHost.render(os.path.join(folder, "deviation-joins.png"), 640, 400)
print(f"{'deviation-joins.png':22} grey within the tolerance about the joins, vermillion towards the flat "
      f"end, blue at the G2 bend, written to {path}")
oxHost.set("DeviationActive", False)
oxHost.clearReference()

print()
print("That was the tour. See docs/python.md for the scripting guide and the other examples.")
