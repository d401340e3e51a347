#!/usr/bin/env python3
"""Compares the part results of two `oxhost check` runs, e.g. before and after a change that must
not change what the check finds:

    oxhost-old check PARTS --profile class-a --out before
    oxhost check PARTS --profile class-a --out after
    tools/compare-check-results.py before after

Prints each part whose verdict, counts or findings differ, and exits 1 if any does."""
import json
import pathlib
import sys


def results(folder):
    return {p.name: json.loads(p.read_text()) for p in sorted(pathlib.Path(folder).glob("*.check.json"))}


def differences(a, b):
    out = [f"{key}: {a.get(key)!r} against {b.get(key)!r}" for key in ("verdict", "reason", "counts")
           if a.get(key) != b.get(key)]
    fa, fb = a.get("findings", []), b.get("findings", [])
    out += [f"finding {i + 1}: {x} against {y}" for i, (x, y) in enumerate(zip(fa, fb)) if x != y]
    if len(fa) != len(fb):
        out.append(f"{len(fa)} findings against {len(fb)}")
    return out


def main(before, after):
    old, new = results(before), results(after)
    changed = 0
    for name in sorted(set(old) | set(new)):
        if name not in old or name not in new:
            print(f"{name}: only in {before if name in old else after}")
            changed += 1
            continue
        found = differences(old[name], new[name])
        changed += bool(found)
        for line in found:
            print(f"{name}: {line}")
    print(f"{len(set(old) | set(new))} parts, {changed} differ")
    return 1 if changed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
