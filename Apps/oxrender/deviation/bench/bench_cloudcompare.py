#!/usr/bin/env python3
"""The same cloud against the same mesh in oxhost and in CloudCompare (C2M_DIST): the largest
difference of the signed distances, and each whole run's wall clock (reading both files, the
distances, the statistics, writing the distances). Skips when CloudCompare is not installed.

bench_cloudcompare [--points N] [--triangles N] [--oxhost PATH] [--keep DIR]
"""
import argparse
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

RADIUS = 10.0
OFFSETS = (-0.3, -0.1, 0.05, 0.2, 0.4)


def write_sphere_mesh(path, triangles):
    """A UV sphere of RADIUS with about that many triangles, as binary PLY."""
    rows = max(4, int(math.sqrt(triangles / 4)))
    cols = 2 * rows
    vertices = [(0.0, 0.0, RADIUS)]
    for r in range(1, rows):
        t = math.pi * r / rows
        st, ct = math.sin(t), math.cos(t)
        for q in range(cols):
            p = 2 * math.pi * q / cols
            vertices.append((RADIUS * st * math.cos(p), RADIUS * st * math.sin(p), RADIUS * ct))
    vertices.append((0.0, 0.0, -RADIUS))
    faces = [(0, 1 + q, 1 + (q + 1) % cols) for q in range(cols)]
    for r in range(rows - 2):
        for q in range(cols):
            a, b = 1 + r * cols + q, 1 + r * cols + (q + 1) % cols
            faces += [(a, a + cols, b + cols), (a, b + cols, b)]
    base, last = 1 + (rows - 2) * cols, len(vertices) - 1
    faces += [(base + q, last, base + (q + 1) % cols) for q in range(cols)]
    with open(path, "wb") as f:
        f.write(b"ply\nformat binary_little_endian 1.0\nelement vertex %d\nproperty float x\nproperty float y\n"
                b"property float z\nelement face %d\nproperty list uchar int vertex_indices\nend_header\n"
                % (len(vertices), len(faces)))
        f.write(b"".join(struct.pack("<3f", *v) for v in vertices))
        f.write(b"".join(struct.pack("<B3i", 3, *t) for t in faces))
    return len(faces)


def write_cloud(path, n):
    """n points spread over the sphere (a Fibonacci lattice), OFFSETS off it in turn."""
    with open(path, "wb") as f:
        f.write(b"ply\nformat binary_little_endian 1.0\nelement vertex %d\nproperty float x\nproperty float y\n"
                b"property float z\nend_header\n" % n)
        chunk = []
        for i in range(n):
            z = 1 - (2 * i + 1) / n
            r = math.sqrt(1 - z * z)
            p = 2.399963229728653 * i
            s = RADIUS + OFFSETS[i % len(OFFSETS)]
            chunk.append(struct.pack("<3f", s * r * math.cos(p), s * r * math.sin(p), s * z))
        f.write(b"".join(chunk))


def run(command, **kwargs):
    start = time.monotonic()
    done = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if done.returncode != 0:
        sys.exit("%s failed:\n%s%s" % (command[0], done.stdout, done.stderr))
    return time.monotonic() - start, done.stdout


def ours(oxhost, cloud, mesh, out):
    code = ("s = oxHost.deviationStats()\noxHost.exportDeviation(r'%s')\n"
            "print('stats', s['mean'], s['std'])" % out)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", OX_QUIET="1")
    seconds, stdout = run([oxhost, cloud, "--reference", mesh, "-c", code], env=env)
    with open(out, "rb") as f:
        data = f.read()
    header_end = data.index(b"end_header\n") + len(b"end_header\n")
    n = int(data[:header_end].split(b"element vertex ")[1].split()[0])
    values = struct.unpack_from("<%df" % (7 * n), data, header_end)
    return seconds, values[3::7], stdout.split("stats")[-1].split()


def theirs(cloud, mesh, out):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    seconds, stdout = run(["CloudCompare", "-SILENT", "-AUTO_SAVE", "OFF", "-C_EXPORT_FMT", "ASC", "-PREC", "8",
                           "-O", cloud, "-O", mesh, "-C2M_DIST", "-SAVE_CLOUDS", "FILE", out], env=env)
    with open(out) as f:
        distances = [float(line.split()[3]) for line in f if line.strip()]
    stats = [line for line in stdout.splitlines() if "Mean distance" in line]
    return seconds, distances, stats


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=1000000)
    parser.add_argument("--triangles", type=int, default=1000000)
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--oxhost", default=os.path.join(here, "oxhost"))
    parser.add_argument("--keep", help="a folder to write the files into and keep them")
    args = parser.parse_args()
    if not shutil.which("CloudCompare"):
        print("bench_cloudcompare: skipped, CloudCompare is not installed")
        return
    folder = args.keep or tempfile.mkdtemp(prefix="bench_cloudcompare-")
    os.makedirs(folder, exist_ok=True)
    try:
        cloud, mesh = os.path.join(folder, "cloud.ply"), os.path.join(folder, "sphere.ply")
        triangles = write_sphere_mesh(mesh, args.triangles)
        write_cloud(cloud, args.points)
        # Each once before timing, so that both read from the page cache.
        ours_s, ours_d, ours_stats = ours(args.oxhost, cloud, mesh, os.path.join(folder, "ours.ply"))
        theirs_s, theirs_d, theirs_stats = theirs(cloud, mesh, os.path.join(folder, "theirs.asc"))
        ours_s = min(ours_s, ours(args.oxhost, cloud, mesh, os.path.join(folder, "ours.ply"))[0])
        theirs_s = min(theirs_s, theirs(cloud, mesh, os.path.join(folder, "theirs.asc"))[0])
        if len(ours_d) != len(theirs_d):
            sys.exit("the two runs give %d and %d distances" % (len(ours_d), len(theirs_d)))
        worst, at = max((abs(a - b), i) for i, (a, b) in enumerate(zip(ours_d, theirs_d)))
        print("%d points against %d triangles" % (args.points, triangles))
        print("largest difference of the signed distances: %.3g (point %d: ours %.9g, CloudCompare %.9g)"
              % (worst, at, ours_d[at], theirs_d[at]))
        print("oxhost mean %s std %s; CloudCompare %s" % (ours_stats[0], ours_stats[1], theirs_stats[-1].strip()))
        print("wall clock: oxhost %.2f s, CloudCompare %.2f s" % (ours_s, theirs_s))
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
