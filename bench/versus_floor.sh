#!/usr/bin/env bash
# Times the whole tool against the floor program (bench/floor.cc) and a plain copy of the
# file (cp; on the disk dd with conv=fsync, a copy that fsyncs) on one stylesheet, in the
# same run and in turns, in two places: in memory (a tmpfs, /dev/shm) and on the disk the
# repository is on, where the floor also fsyncs its output, as the tool's safe save does.
# Prints each run and, per place, the medians and the tool's time as a multiple of the
# floor's. "io" is bench/io_only: the tool's own load and save with no text work between,
# what no work on the text stages can take away; the last column is the tool against it.
# The tool works on a fresh copy each run; copies are made before the clock starts.
#
#   bash bench/versus_floor.sh FILE [RUNS]     # RUNS defaults to 5
#   KINDS="typical only_empty_strings" MEGABYTES=100 bash bench/versus_floor.sh
#   REAL="frameworks strings" bash bench/versus_floor.sh 9
#
# With KINDS, the files are generated stylesheets of those kinds (bench/make_stylesheet
# --list) of MEGABYTES MB each, instead of FILE. With REAL, they are the real-world files of
# bench/compare_peers.sh, of MEGABYTES MB (default 100): copies of the pinned framework
# stylesheets (frameworks) or of the string-heavy ones (strings), made once into
# bench/peers/data. With BEFORE set to another cssqueeze
# executable (an older build, say), it is timed in the same turns and gets a column too.
# With LINKED=1 the file the tool works on has a second hard link, so that its save goes the
# way of a copy aside and an overwrite in place instead of a rename.
# With KINDS, each turn also runs the tool on the typical file of the same size in the same
# place ("typical"; its last column is the kind against it): the machine's speed drifts over
# minutes, so only times taken side by side tell how far a kind is from typical CSS.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-bench"
runs="${RUNS:-5}"
if [[ -z "${KINDS:-}${REAL:-}" ]]; then runs="${2:-$runs}"; else runs="${1:-$runs}"; fi

source "$repo/scripts/lib/install-missing.sh"
install_missing cmake ninja-build g++

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=OFF -DCSSQUEEZE_BENCH=ON >/dev/null
cmake --build "$build" --target cssqueeze floor io_only make_stylesheet -j "$(nproc)" >/dev/null

memory="$(mktemp -d /dev/shm/cssqueeze-bench-XXXXXX)"
disk="$(mktemp -d "$build/versus-floor-XXXXXX")"
trap 'rm -rf "$memory" "$disk"' EXIT

inputs=()
if [[ -n "${KINDS:-}" ]]; then
  mkdir "$disk/inputs"
  for kind in $KINDS; do
    "$build/bench/make_stylesheet" "$disk/inputs/$kind.css" "${MEGABYTES:-100}" "$kind" >/dev/null
    inputs+=("$disk/inputs/$kind.css")
  done
  typical="$disk/inputs/typical.css"
  [[ -f "$typical" ]] || "$build/bench/make_stylesheet" "$typical" "${MEGABYTES:-100}" typical >/dev/null
elif [[ -n "${REAL:-}" ]]; then
  source "$repo/scripts/lib/frameworks.sh"
  mkdir -p "$repo/bench/peers/data"
  for kind in $REAL; do
    case "$kind" in
      frameworks) fetch_frameworks "$repo/bench/peers/frameworks" frameworks real_files ;;
      strings) fetch_frameworks "$repo/bench/peers/frameworks" string_sheets real_files ;;
      *) echo "REAL takes frameworks and strings, not $kind" >&2; exit 2 ;;
    esac
    path="$repo/bench/peers/data/$kind-${MEGABYTES:-100}MB.css"
    [[ -s "$path" ]] || make_layered_file "$path" "${MEGABYTES:-100}" "${real_files[@]}"
    inputs+=("$path")
  done
else
  [[ -f "${1:-}" ]] || { echo "usage: bash bench/versus_floor.sh FILE [RUNS]" >&2; exit 2; }
  inputs+=("$1")
fi

# seconds COMMAND...: the wall time of one run, in seconds, standard input from /dev/null.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }

# timed_on_copy COMMAND [SOURCE]: the seconds COMMAND takes on a fresh work.css copied from
# SOURCE (default original.css) in $folder (with its second link under LINKED, and on the
# disk synced first, so that no earlier write is timed).
timed_on_copy() {
  cp "$folder/${2:-original.css}" "$folder/work.css"
  [[ -n "${LINKED:-}" ]] && ln -f "$folder/work.css" "$folder/link.css"
  [[ $place == disk ]] && sync
  seconds "$1" "$folder/work.css"
}

printf '%-28s %-7s %9s %9s %7s %9s %7s %9s %7s' file place tool floor ratio copy ratio io ratio
if [[ -n "${BEFORE:-}" ]]; then printf ' %9s %7s' before ratio; fi
if [[ -n "${typical:-}" ]]; then printf ' %9s %7s' typical ratio; fi
printf '\n'
for input in "${inputs[@]}"; do
  name="$(basename "$input" .css)"
  for place in memory disk; do
    folder="$memory"
    [[ $place == disk ]] && folder="$disk"
    cp "$input" "$folder/original.css"
    [[ -n "${typical:-}" ]] && cp "$typical" "$folder/typical.css"
    sync_flag=()
    [[ $place == disk ]] && sync_flag=(--fsync)
    tool_times=() floor_times=() copy_times=() io_times=() before_times=() typical_times=()
    for ((run = 1; run <= runs; run++)); do
      tool_times+=("$(timed_on_copy "$build/cssqueeze")")
      rm -f "$folder/floor.css"
      [[ $place == disk ]] && sync
      floor_times+=("$(seconds "$build/bench/floor" "${sync_flag[@]}" "$folder/original.css" "$folder/floor.css")")
      rm -f "$folder/copy.css"
      if [[ $place == disk ]]; then
        sync
        copy_times+=("$(seconds dd if="$folder/original.css" of="$folder/copy.css" bs=4M conv=fsync status=none)")
      else
        copy_times+=("$(seconds cp "$folder/original.css" "$folder/copy.css")")
      fi
      io_times+=("$(timed_on_copy "$build/bench/io_only")")
      before_note=""
      if [[ -n "${BEFORE:-}" ]]; then
        before_times+=("$(timed_on_copy "$BEFORE")")
        before_note=", before ${before_times[-1]} s"
      fi
      typical_note=""
      if [[ -n "${typical:-}" ]]; then
        typical_times+=("$(timed_on_copy "$build/cssqueeze" typical.css)")
        typical_note=", typical ${typical_times[-1]} s"
      fi
      echo "  $name $place run $run: tool ${tool_times[-1]} s, floor ${floor_times[-1]} s, copy ${copy_times[-1]} s, io ${io_times[-1]} s$before_note$typical_note" >&2
    done
    tool=$(printf '%s\n' "${tool_times[@]}" | median)
    floor=$(printf '%s\n' "${floor_times[@]}" | median)
    copy=$(printf '%s\n' "${copy_times[@]}" | median)
    io=$(printf '%s\n' "${io_times[@]}" | median)
    printf '%-28s %-7s %9s %9s %7.2f %9s %7.2f %9s %7.2f' "$name" "$place" "$tool" "$floor" \
      "$(ratio "$tool" "$floor")" "$copy" "$(ratio "$tool" "$copy")" "$io" "$(ratio "$tool" "$io")"
    if [[ -n "${BEFORE:-}" ]]; then
      before=$(printf '%s\n' "${before_times[@]}" | median)
      printf ' %9s %7.2f' "$before" "$(ratio "$before" "$floor")"
    fi
    if [[ -n "${typical:-}" ]]; then
      typical_median=$(printf '%s\n' "${typical_times[@]}" | median)
      printf ' %9s %7.2f' "$typical_median" "$(ratio "$tool" "$typical_median")"
    fi
    printf '\n'
    rm -f "$folder"/*.css
  done
done
