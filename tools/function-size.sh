#!/bin/sh
# Fails when a function in Apps/ is longer than 80 lines, naming its file, line, name and length.
# Uses clang-tidy's readability-function-size on the build's compile_commands.json, one file per
# job on every core. Usage: tools/function-size.sh [build directory], from the checkout.
set -eu
build=${1:-build}
limit=80
if [ ! -f "$build/compile_commands.json" ]; then
    echo "function-size: no $build/compile_commands.json; configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
    exit 2
fi
tidy=$(command -v clang-tidy || true)
if [ -z "$tidy" ]; then
    echo "function-size: clang-tidy is not installed (Debian package clang-tidy)" >&2
    exit 2
fi
root=$(pwd)
out=$(mktemp)
trap 'rm -f "$out" "$out.list"' EXIT
# Sources of Apps/ that the build compiles; moc output and other generated files are not ours.
python3 -c 'import json, sys
root = sys.argv[2] + "/Apps/"
for f in sorted({e["file"] for e in json.load(open(sys.argv[1]))}):
    if f.startswith(root):
        print(f)' "$build/compile_commands.json" "$root" |
    xargs -P "$(nproc)" -n 1 "$tidy" -p "$build" --quiet --checks='-*,readability-function-size' \
        --config="{CheckOptions: [{key: readability-function-size.LineThreshold, value: $limit}]}" \
        --header-filter="^$root/Apps/" >"$out" 2>/dev/null || true
# A file clang-tidy could not parse would pass unseen.
if grep -q ': error: ' "$out"; then
    echo "function-size: clang-tidy could not parse every file (build first, for the generated headers):" >&2
    grep ': error: ' "$out" | sort -u >&2
    exit 2
fi
# A warning names the function; the note after it says how long it is.
awk -v root="$root/" '
    /warning: function .* exceeds recommended size/ {
        split($0, p, ":"); file = p[1]; line = p[2]; sub(root, "", file)
        name = $0; sub(/^[^'\'']*'\''/, "", name); sub(/'\''.*$/, "", name)
        next
    }
    /note: [0-9]+ lines including/ && name != "" {
        n = $0; sub(/^.*note: /, "", n); sub(/ .*$/, "", n)
        printf "%s:%s: function %s is %s lines long\n", file, line, name, n
        name = ""
    }' "$out" | sort -u >"$out.list"
if [ -s "$out.list" ]; then
    echo "Functions over $limit lines (split them into named steps):"
    cat "$out.list"
    exit 1
fi
echo "function-size: no function in Apps/ is over $limit lines"
