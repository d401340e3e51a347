#!/bin/sh
# tst_install.sh CMAKE BUILD_DIR: installs the build into a temporary prefix and checks the result.
set -eu
cmake=$1
build=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Nothing of the caller's: no LD_LIBRARY_PATH, no OXHOST_PLUGIN_DIR, no DISPLAY (oxhost goes offscreen).
run() { env -i PATH=/usr/bin:/bin HOME="$work" "$@"; }

env -u DESTDIR "$cmake" --install "$build" --prefix "$prefix" >/dev/null

# Only oxhost in bin/; no test or benchmark program anywhere.
[ "$(ls "$prefix/bin")" = oxhost ] || fail "bin/ holds more than oxhost: $(ls "$prefix/bin" | tr '\n' ' ')"
stray=$(find "$prefix" -name 'tst_*' -o -name 'bench_*' -o -name 'fuzz_*')
[ -z "$stray" ] || fail "test or benchmark programs were installed: $stray"
for plugin in liboxSurfaceAnalysis.so liboxhostSurfaceAnalysisPanel.so; do
    [ -f "$prefix/lib/oxhost/$plugin" ] || fail "the plug-in $plugin is not in lib/oxhost"
done
# oxhost reads files through its reader, found beside the libraries.
[ -x "$prefix/lib/oxhost/oxreader" ] || fail "the file reader oxreader is not in lib/oxhost"

# Every library of ours resolves inside the prefix, not in the build tree.
for f in "$prefix/bin/oxhost" "$prefix/lib/oxhost/oxreader" "$prefix"/lib/oxhost/*.so; do
    libraries=$(run ldd "$f")
    if echo "$libraries" | grep 'not found'; then
        fail "$f has unresolved libraries"
    fi
    if echo "$libraries" | grep -F "$build"; then
        fail "$f loads libraries from the build tree $build"
    fi
done

version=$(cd "$work" && run "$prefix/bin/oxhost" --version) || fail "the installed oxhost --version failed"
case $version in oxhost\ [0-9]*) ;; *) fail "oxhost --version printed \"$version\"" ;; esac

sample="$prefix/share/oxhost/samples/joins.step"
[ -s "$sample" ] || fail "the CAD sample $sample is missing or empty"
[ -f "$prefix/share/oxhost/examples/tour.py" ] || fail "the examples are not in share/oxhost/examples"
for script in oxhost-check-dask.py oxhost-check.sbatch; do
    [ -x "$prefix/share/oxhost/cluster/$script" ] || fail "$script is not an executable in share/oxhost/cluster"
done
(cd "$work" && run "$prefix/bin/oxhost" --mesh "$sample" --size 160x100 --samples 1 --render part.png) ||
    fail "the installed oxhost could not render $sample"
[ -s "$work/part.png" ] || fail "the render of $sample wrote no image"

desktop="$prefix/share/applications/oxhost.desktop"
grep -qx 'Exec=oxhost --gui %f' "$desktop" || fail "$desktop does not start oxhost on a file"
grep -q '^MimeType=.*model/step;' "$desktop" || fail "$desktop does not claim STEP files"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "$desktop is not a valid desktop entry"
fi

mime="$prefix/share/mime/packages/oxhost.xml"
globs=$(python3 -c '
import sys, xml.etree.ElementTree as et
ns = "{http://www.freedesktop.org/standards/shared-mime-info}"
for t in et.parse(sys.argv[1]).getroot().iter(ns + "mime-type"):
    for g in t.iter(ns + "glob"):
        print(t.get("type"), g.get("pattern"))
' "$mime") || fail "$mime is not well-formed XML"
expected='model/step *.step
model/step *.stp
model/iges *.iges
model/iges *.igs
model/x-brep *.brep'
[ "$globs" = "$expected" ] || fail "$mime has the globs \"$globs\""

svg="$prefix/share/icons/hicolor/scalable/apps/oxhost.svg"
python3 -c 'import sys, xml.dom.minidom as m; assert m.parse(sys.argv[1]).documentElement.tagName == "svg"' "$svg" ||
    fail "$svg is not an SVG image"

man="$prefix/share/man/man1/oxhost.1.gz"
gzip -dc "$man" | grep -q '^\.TH OXHOST' || fail "$man is not a man page"
gzip -dc "$man" | grep -qF 'show\-continuity' || fail "$man lacks the options of oxhost --help"

copyright="$prefix/share/doc/oxhost/copyright"
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$copyright is missing or not in Debian's machine-readable format"
grep -q '^Files: \*$' "$copyright" || fail "$copyright covers no files"

[ "$failures" = 0 ] || exit 1
echo "the install tree under a fresh prefix runs"
