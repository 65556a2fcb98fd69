#!/usr/bin/env bash
# Times the whole tool, disk included, on a generated stylesheet (100 MB unless another
# size in MB is given): builds in build-bench/, writes the stylesheet to a temporary folder,
# and runs the tool three times, each on a fresh copy, with standard input from /dev/null
# so the closing wait returns at once. Prints MB/s and peak memory per run, and the time
# of a plain cp of the same file as a reference for what the disk alone costs.
#   bash bench/run_whole_tool.sh [MEGABYTES]
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-bench"
megabytes="${1:-100}"

source "$repo/scripts/lib/install-missing.sh"
install_missing cmake ninja-build g++ time

echo "== building cssqueeze and make_stylesheet in $build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=OFF -DCSSQUEEZE_BENCH=ON >/dev/null
cmake --build "$build" --target cssqueeze make_stylesheet -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bench/make_stylesheet" "$work/original.css" "$megabytes"
bytes=$(stat -c %s "$work/original.css")

now() { date +%s.%N; }
# Prints "SECONDS s, RATE MB/s" for bytes handled between two times from now().
rate() {
  awk -v start="$1" -v end="$2" -v bytes="$bytes" \
    'BEGIN { s = end - start; printf "%.3f s, %.1f MB/s", s, bytes / 1e6 / s }'
}

have_time=0
[[ -x /usr/bin/time ]] && have_time=1

for run in 1 2 3; do
  rm -f "$work/copy.css"
  sync
  start=$(now)
  cp "$work/original.css" "$work/copy.css"
  end=$(now)
  echo "run $run: cp of the file:  $(rate "$start" "$end")"

  start=$(now)
  if ((have_time)); then
    /usr/bin/time -v -o "$work/time.txt" "$build/cssqueeze" "$work/copy.css" \
      </dev/null >"$work/console.txt"
  else
    "$build/cssqueeze" "$work/copy.css" </dev/null >"$work/console.txt"
  fi
  end=$(now)
  peak="unknown (install Debian's 'time' package)"
  if ((have_time)); then
    peak="$(awk -F': ' '/Maximum resident set size/ { printf "%.1f MB", $2 / 1024 }' "$work/time.txt")"
  fi
  echo "run $run: cssqueeze:       $(rate "$start" "$end"), peak memory $peak," \
    "$(stat -c %s "$work/copy.css") bytes left"
done

echo "== input: $bytes bytes; the tool's report on the last run:"
cat "$work/console.txt"
