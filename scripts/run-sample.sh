#!/usr/bin/env bash
# Builds cssqueeze in build-sample/ and runs it on a copy of examples/sample.css in a
# temporary folder, then shows the size before and after and the compressed text. The
# sample itself and the rest of the tree stay as they were. Installs the Debian packages
# it needs when they are missing (through sudo when not run as root).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-sample"

source "$repo/scripts/lib/install-missing.sh"

install_missing cmake ninja-build g++

echo "== building cssqueeze"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=OFF -DCSSQUEEZE_BENCH=OFF >/dev/null
cmake --build "$build" --target cssqueeze -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$repo/examples/sample.css" "$work/sample.css"
before=$(stat -c %s "$work/sample.css")

# Standard input from /dev/null: the tool's closing wait for Enter returns at once.
echo "== cssqueeze $work/sample.css"
"$build/cssqueeze" "$work/sample.css" </dev/null

after=$(stat -c %s "$work/sample.css")
echo
echo "== size: $before bytes before, $after bytes after"
echo "== the compressed stylesheet:"
cat "$work/sample.css"
echo
