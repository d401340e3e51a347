# Drives oxhost --gui from Python: the viewer's oxHost functions against the real window.
# Run as: oxhost --gui --sample sphere viewer_script.py [screenshot.png]
import os
import sys
import tempfile
import oxHost

w, h = oxHost.viewSize()
assert w > 100 and h > 100, (w, h)

# The sphere's centre is in the middle of the framed view; a point behind the eye is not in view.
x, y = oxHost.viewPoint(0, 0, 0)
assert abs(x - w / 2) < 2 and abs(y - h / 2) < 2, (x, y, w, h)
cam = oxHost.camera()
eye = cam["position"]
assert oxHost.viewPoint(*[2 * e - t for e, t in zip(eye, cam["target"])]) is None

# A left drag orbits: the eye moves, the target stays.
oxHost.mouse("press", w / 2, h / 2)
for i in range(1, 11):
    oxHost.mouse("move", w / 2 + 10 * i, h / 2)
oxHost.mouse("release", w / 2 + 100, h / 2)
after = oxHost.camera()
assert after["target"] == cam["target"] and after["position"] != cam["position"], (cam, after)
oxHost.key("F")
oxHost.mouse("wheel", w / 2, h / 2, 120)

# The panel shows a script's change at once, and an undo by key.
enableSurfaceAnalysis(True)
setSurfaceAnalysisMode(1)
setSurfaceAnalysisLineType(1)
setSurfaceAnalysisLineCount(7)
assert oxHost.panel()["IsoLineCount"] == 7, oxHost.panel()["IsoLineCount"]
oxHost.key("Ctrl+Z")
assert oxHost.panel()["IsoLineCount"] == 16, oxHost.panel()["IsoLineCount"]
oxHost.key("Ctrl+Shift+Z")
assert oxHost.get("IsoLineCount") == 7

# A click with the normal pick aims the light at the surface there (isophotes: no light visual
# sits in front of the model).
setSurfaceAnalysisMode(0)
oxHost.set("PickNormal", True)
x, y = oxHost.viewPoint(0, 0, 0)
oxHost.mouse("click", x, y)
hit = oxHost.pickAt(oxHost.camera()["position"], [t - e for t, e in zip(oxHost.camera()["target"], oxHost.camera()["position"])])
d = oxHost.get("LightDirection")
n = hit[2]
assert sum(a * b for a, b in zip(d, n)) / sum(a * a for a in d) ** 0.5 > 0.999, (d, n)

# Errors name what is wrong.
for bad in (lambda: oxHost.mouse("hop", 1, 1), lambda: oxHost.key(""), lambda: oxHost.mouse("press", 1, 1, "left", "hyper")):
    try:
        bad()
    except ValueError:
        pass
    else:
        raise AssertionError("no ValueError")

# The screenshot waits for the full frame.
shot = sys.argv[1] if len(sys.argv) > 1 else os.path.join(tempfile.mkdtemp(), "viewer.png")
assert oxHost.screenshot(shot) == shot and os.path.getsize(shot) > 1000
info = oxHost.frameInfo()
assert info["idle"] and info["downscale"] == 1, info
print("viewer script ok", info["width"], info["height"])
oxHost.quit()
