#!/bin/sh
# package-check.sh BUILD_DIR: checks the Debian package that make package built with lintian (errors
# fail, warnings are shown), installs it, runs the installed oxhost from a fresh folder outside the
# checkout with a clean environment, and removes the package.
set -eu
build=${1:-build}
deb=$(ls -t "$build"/oxhost_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    echo "no oxhost package in $build: run make package first" >&2
    exit 1
fi
if [ "$(id -u)" != 0 ]; then
    echo "make package-check installs $deb with apt-get and so needs root" >&2
    exit 1
fi
deb=$(realpath "$deb")
if ! command -v lintian >/dev/null; then
    echo "lintian is not installed: make deps installs it" >&2
    exit 1
fi
echo "== lintian $deb"
# Root is what apt-get needs below; lintian only says that it would rather not run as root.
status=0
report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
printf '%s\n' "$report" | grep -v '^running with root privileges is not recommended!$' || true
if [ "$status" != 0 ]; then
    echo "lintian finds errors in $deb" >&2
    exit 1
fi
# ld.so never searches our private library folder, so there is nothing to tell ldconfig.
for script in postinst postrm triggers; do
    if dpkg-deb --info "$deb" "$script" 2>/dev/null | grep -q ldconfig; then
        echo "$deb runs ldconfig from its $script" >&2
        exit 1
    fi
done
export DEBIAN_FRONTEND=noninteractive
apt="apt-get -y -qq -o DPkg::Lock::Timeout=300"
installed() { dpkg -s oxhost 2>/dev/null | grep -q 'install ok installed'; }
work=$(mktemp -d)
trap 'if installed; then $apt remove --purge oxhost >/dev/null; fi; rm -rf "$work"' EXIT

# A package of the same version left by an earlier run would not be replaced.
if installed; then
    $apt remove --purge oxhost >/dev/null
fi
echo "== apt-get install $deb"
$apt install "$deb" >/dev/null || { $apt update && $apt install "$deb" >/dev/null; }
echo "Depends: $(dpkg-query -W -f='${Depends}' oxhost)"

# No DISPLAY either: oxhost falls back to Qt's offscreen platform by itself.
run() { env -i PATH=/usr/bin:/bin HOME="$work" "$@"; }
cd "$work"
echo "== $(command -v oxhost) --version"
run oxhost --version
sample=/usr/share/oxhost/samples/joins.step
echo "== oxhost --mesh $sample --render part.png (in $work)"
run oxhost --mesh "$sample" --size 320x200 --samples 1 --render part.png
if [ ! -s part.png ]; then
    echo "the installed oxhost wrote no image of $sample" >&2
    exit 1
fi
echo "== apt-get remove --purge oxhost"
$apt remove --purge oxhost >/dev/null
echo "the package installs, runs and uninstalls"
