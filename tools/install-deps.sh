#!/bin/sh
# Installs the Debian packages the build needs; does nothing when they are all there.
set -e
packages="cmake g++ make pkg-config qtbase5-dev libboost-dev libboost-python-dev python3-dev libembree-dev libtbb-dev libassimp-dev zlib1g-dev clang libclang-rt-14-dev libbenchmark-dev valgrind libocct-data-exchange-dev libocct-modeling-algorithms-dev libocct-modeling-data-dev libocct-foundation-dev rapidjson-dev"
# Real parts for the tessellation tests and the dense face of bench_cad: Open CASCADE's sample data.
packages="$packages occt-misc"
# Small dense algebra (the alignment's 6 x 6 system, the curvature's 3 x 3 fits): Eigen, header only.
packages="$packages libeigen3-dev"
# make test checks that no function in Apps/ is over 80 lines (tools/function-size.sh).
packages="$packages clang-tidy"
# For the tests: the HTML report is loaded in a real browser.
packages="$packages chromium"
# The viewer's smoke test runs against a real X server: xvfb (xvfb-run) and xauth.
packages="$packages xvfb xauth"
# make package-check runs lintian on the Debian package.
packages="$packages lintian"
# The check's Dask script (Apps/oxhost/check/cluster) is tested on a LocalCluster: Dask Distributed.
packages="$packages python3-distributed"
[ -n "$OX_EXTRA_PACKAGES" ] && packages="$packages $OX_EXTRA_PACKAGES"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $missing
else
    echo "Missing packages; install them with:"
    echo "  sudo apt-get update && sudo apt-get install -y$missing"
    exit 1
fi
