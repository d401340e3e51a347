#!/usr/bin/python3
"""oxhost check over many parts on a Dask cluster, then oxhost check --merge.

    oxhost-check-dask.py PATH... [--profile P] [--out DIR] [--scheduler tcp://host:8786]
                         [--workers N] [--oxhost PROGRAM]

Each PATH is a STEP, IGES or B-rep file or a folder walked for them (names in byte order, a
folder's files before its subfolders). Every file is one task: `oxhost check FILE --profile P`,
whose DIR/<name>.check.json is named as one `oxhost check` of all files names it. Without
--scheduler the tasks run on a LocalCluster of N threads (one per processor unless given); with
it, on that cluster's workers, which must see the files, the profile, DIR and oxhost at the same
paths. The exit status is the merge's (docs/analyses/check.md), or 2 for a wrong command line or
profile.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

CAD_SUFFIXES = (".step", ".stp", ".iges", ".igs", ".brep")
USAGE = 2
NOT_CHECKED = 3


def cad_files(paths):
    """The files given, and the CAD files in the folders given, in the order the docstring says."""
    files = []
    for path in paths:
        if not os.path.isdir(path):
            files.append(path)
            continue
        for root, dirs, names in os.walk(path):
            dirs.sort()
            files += [os.path.join(root, n) for n in sorted(names) if n.lower().endswith(CAD_SUFFIXES)]
    return files


def json_names(files):
    """<stem>.check.json per file, <stem>-2.check.json for the next of the same stem: as oxhost check names them."""
    taken, names = set(), []
    for path in files:
        base = os.path.basename(path)
        stem = base.rsplit(".", 1)[0] if "." in base else base
        name, n = stem + ".check.json", 2
        while name in taken:
            name, n = "%s-%d.check.json" % (stem, n), n + 1
        taken.add(name)
        names.append(name)
    return names


def check_one(oxhost, path, profile, out, name):
    """One part checked into a folder of its own, its JSON then moved into out under name."""
    work = tempfile.mkdtemp(prefix=".task-", dir=out)
    try:
        run = subprocess.run([oxhost, "check", "--profile", profile, "--out", work, "--", path],
                             capture_output=True, text=True)
        made = [n for n in os.listdir(work) if n.endswith(".check.json")]
        if len(made) == 1:
            os.replace(os.path.join(work, made[0]), os.path.join(out, name))
        return run.returncode, run.stdout, run.stderr, len(made) == 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_tasks(args, files):
    """The worst status of the tasks that says more than their JSON: 2 for a wrong profile, 3 for a missing JSON."""
    from distributed import Client, LocalCluster

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=1, threads_per_worker=args.workers or os.cpu_count(),
                               processes=False, dashboard_address=None)
        client = Client(cluster)
    status = 0
    try:
        n = len(files)
        futures = client.map(check_one, [args.oxhost] * n, files, [args.profile] * n, [args.out] * n,
                             json_names(files), pure=False)
        for code, out, err, made in client.gather(futures):
            sys.stdout.write(out)
            sys.stderr.write(err)
            if code == USAGE:
                status = USAGE
            elif not made:
                status = max(status, NOT_CHECKED)
    finally:
        client.close()
        if not args.scheduler:
            cluster.close()
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--profile", default="default")
    parser.add_argument("--out", default=".")
    parser.add_argument("--scheduler", help="a Dask scheduler's address; a LocalCluster unless given")
    parser.add_argument("--workers", type=int, help="the LocalCluster's threads")
    parser.add_argument("--oxhost", default=os.environ.get("OXHOST", "oxhost"))
    args = parser.parse_args()
    files = cad_files(args.paths)
    if not files:
        print("oxhost-check-dask: no STEP, IGES or B-rep file in %s" % ", ".join(args.paths), file=sys.stderr)
        return USAGE
    # A profile file must be found from the workers' folders too.
    if os.path.isfile(args.profile):
        args.profile = os.path.abspath(args.profile)
    os.makedirs(args.out, exist_ok=True)
    status = run_tasks(args, files)
    if status == USAGE:
        return USAGE
    sys.stdout.flush()
    merge = subprocess.run([args.oxhost, "check", "--merge", args.out])
    return max(merge.returncode, status)


if __name__ == "__main__":
    sys.exit(main())
