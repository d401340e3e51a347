"""Writing a project file by hand, loading it, and what happens to a broken one.

    build/bin/oxhost examples/project_file.py

A project file is JSON: "values" holds one entry per key of the host's project, each with its
type (bool, unsigned, float or vec3f) and value. Keys the module does not know are kept for
other modules; keys it knows but the file lacks get their defaults.
The same file can be loaded before a script runs: oxhost --project hood.json script.py
"""
import json
import os
import tempfile

import oxHost

project = {
    "format": "oxhost project",
    "version": 1,
    "values": {
        "Analysis Mode": {"type": "unsigned", "value": 1},
        "Reflection mode": {"type": "unsigned", "value": 1},
        "Number of Isolines": {"type": "unsigned", "value": 24},
        "Isoline thickness": {"type": "float", "value": 0.05},
        "Isoline Color": {"type": "vec3f", "value": [0, 0, 0]},
        "Point on light plane defining neon tubes": {"type": "vec3f", "value": [0, 0, 250]},
        "Light Plane Euler Rotation Angles": {"type": "vec3f", "value": [0, 0, 45]},
        "Distance of parallel lines on light plane": {"type": "float", "value": 12.5},
        "My Module's Setting": {"type": "bool", "value": True},
    },
}

folder = tempfile.mkdtemp(prefix="oxhost-project-")
good = os.path.join(folder, "hood.json")
with open(good, "w") as f:
    json.dump(project, f, indent=2)

oxHost.loadProject(good)
for name in ("AnalysisMode", "ReflectionMode", "IsoLineCount", "StripeThickness", "LightPlaneOrigin",
             "LightPlaneRotation", "LightLinesDistance", "GlossyColor"):
    print(f"{name:20} {oxHost.get(name)}")
print("kept for another module:", oxHost.projectValues()["My Module's Setting"])

# A typing mistake: the count as text. The file is refused as a whole; nothing changes.
project["values"]["Number of Isolines"]["value"] = "24"
broken = os.path.join(folder, "broken.json")
with open(broken, "w") as f:
    json.dump(project, f, indent=2)
try:
    oxHost.loadProject(broken)
except RuntimeError as error:
    print("\nrefused:", error)
print("the line count is still", oxHost.get("IsoLineCount"))

# Saving writes every key of the project, the module's 24 included, in the same format.
oxHost.saveProject(good)
with open(good) as f:
    print(f"\nsaved again: {len(json.load(f)['values'])} keys")

for path in (good, broken):
    os.remove(path)
os.rmdir(folder)
