#!/usr/bin/env python3
"""Writes the colour maps' tables (Apps/oxrender/shading/oxColourMapTables.inc) from matplotlib's
data files, read as text so that matplotlib need not be importable:

    tools/colour-maps.py /usr/lib/python3/dist-packages/matplotlib > Apps/oxrender/shading/oxColourMapTables.inc

viridis and cividis come from _cm_listed.py (viridis: van der Walt and Smith, CC0; cividis: Nunez,
Anderton and Renslow 2018), coolwarm from _cm.py (Moreland's CoolWarmFloat33, "Diverging Color Maps
for Scientific Visualization", 2009). Debian's python3-matplotlib holds both files.
"""
import ast
import os
import sys


def assigned(path, name):
    tree = ast.parse(open(path, encoding="utf-8").read())
    for node in tree.body:
        if isinstance(node, ast.Assign) and any(getattr(t, "id", None) == name for t in node.targets):
            return ast.literal_eval(node.value)
    sys.exit(f"colour-maps.py: {path} assigns no {name}")


def segments(data):
    # The three channels share their positions in Moreland's table: one colour per position.
    positions = [p for p, _, _ in data["red"]]
    for channel in ("green", "blue"):
        if [p for p, _, _ in data[channel]] != positions:
            sys.exit("colour-maps.py: coolwarm's channels differ in their positions")
    return [[data[c][i][1] for c in ("red", "green", "blue")] for i in range(len(positions))]


def number(x):
    text = f"{x:.9g}"
    return text + "f" if "." in text or "e" in text else text + ".f"


def table(name, rows):
    lines = [f"const float {name}[][3] = {{"]
    lines += [f"    {{{number(r)}, {number(g)}, {number(b)}}}," for r, g, b in rows]
    lines.append("};")
    return "\n".join(lines)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: colour-maps.py MATPLOTLIB_PACKAGE_FOLDER")
    folder = sys.argv[1]
    listed = os.path.join(folder, "_cm_listed.py")
    print("// Written by tools/colour-maps.py from matplotlib's _cm_listed.py and _cm.py; do not edit.")
    print(table("Viridis", assigned(listed, "_viridis_data")))
    print(table("Cividis", assigned(listed, "_cividis_data")))
    print(table("CoolWarm", segments(assigned(os.path.join(folder, "_cm.py"), "_coolwarm_data"))))


main()
