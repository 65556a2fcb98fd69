#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang-14 (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in build-fuzz/ and runs each for a bounded time from a
# copy of its seed corpus plus the sample stylesheets, so the repository stays clean. Any
# crash, sanitizer report, model mismatch, timeout or memory blow-up fails the script,
# which then prints the input that did it (escaped, and a minimized one).
#
# Usage: scripts/run-fuzz.sh [target...]     (default: every target)
#   CSSQUEEZE_FUZZ_SECONDS   seconds per target (default 60)
#   CSSQUEEZE_FUZZ_CORPUS    a folder that keeps each target's grown corpus between local
#                            runs (default: a temporary copy, thrown away)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-fuzz"
seconds="${CSSQUEEZE_FUZZ_SECONDS:-60}"

source "$repo/scripts/lib/install-missing.sh"

# Prints a file's bytes as one C string literal: printable ASCII as is, the rest as \xNN.
escape_bytes() {
  printf '"'
  od -An -v -tu1 "$1" | awk '{
    for (i = 1; i <= NF; i++) {
      b = $i + 0
      if (b >= 32 && b < 127 && b != 34 && b != 92) printf "%c", b
      else printf "\\x%02X", b
    }
  }'
  printf '"\n'
}

# libGTest is only there because the fuzz build configures the tests (for the model).
install_missing cmake ninja-build clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev

echo "== configuring $build"
(cd "$repo" && cmake --preset fuzz >/dev/null)
echo "== building the fuzz targets"
cmake --build "$build" --target fuzz_targets -j 2

targets=("$@")
if ((${#targets[@]} == 0)); then targets=(pipeline_diff_fuzz stage_properties_fuzz); fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/cssqueeze-fuzz-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

failed=0
for target in "${targets[@]}"; do
  binary="$build/fuzz/$target"
  seeds="$repo/fuzz/corpus/$target"
  if [[ ! -x "$binary" || ! -d "$seeds" ]]; then
    echo "no fuzz target or seed corpus named $target" >&2
    exit 1
  fi
  # The model in the differential target is quadratic: keep its inputs short.
  max_len=8192
  if [[ "$target" == pipeline_diff_fuzz ]]; then max_len=4096; fi

  work="$scratch/$target"
  mkdir -p "$work/artifacts"
  if [[ -n "${CSSQUEEZE_FUZZ_CORPUS:-}" ]]; then
    corpus="$CSSQUEEZE_FUZZ_CORPUS/$target"
    mkdir -p "$corpus"
  else
    corpus="$work/corpus"
    mkdir -p "$corpus"
  fi
  cp "$seeds"/* "$corpus"/
  cp "$repo"/tests/data/*.css "$corpus"/ 2>/dev/null || true
  cp "$repo"/examples/*.css "$corpus"/ 2>/dev/null || true

  echo "== fuzzing $target for ${seconds}s"
  status=0
  "$binary" "$corpus" -dict="$repo/fuzz/css.dict" -max_len="$max_len" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" </dev/null >"$work/log" 2>&1 || status=$?

  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)"
  echo "-- $target: ${runs:-?} executions, ${rate:-?} per second, exit status $status"

  shopt -s nullglob
  artifacts=("$work"/artifacts/*)
  shopt -u nullglob
  if ((status == 0 && ${#artifacts[@]} == 0)); then continue; fi

  failed=1
  echo "!! $target failed; the fuzzer's report:" >&2
  grep -v '^#[0-9]' "$work/log" | tail -n 60 >&2
  kept="$build/fuzz-failures/$target"
  mkdir -p "$kept"
  for artifact in "${artifacts[@]}"; do
    cp "$artifact" "$kept"/
    echo "!! input $(basename "$artifact") ($(stat -c %s "$artifact") bytes, kept in $kept):" >&2
    escape_bytes "$artifact" >&2
    # A smaller input showing the same fault, when libFuzzer can find one quickly.
    small="$kept/$(basename "$artifact").min"
    if "$binary" "$artifact" -minimize_crash=1 -max_total_time=30 -timeout=10 \
         -rss_limit_mb=2048 -exact_artifact_path="$small" </dev/null >/dev/null 2>&1 ||
       [[ -s "$small" ]]; then
      if [[ -s "$small" ]]; then
        echo "!! minimized ($(stat -c %s "$small") bytes):" >&2
        escape_bytes "$small" >&2
      fi
    fi
    echo "!! reproduce with: $binary $kept/$(basename "$artifact")" >&2
  done
done

if ((failed)); then
  echo "fuzzing found a fault" >&2
  exit 1
fi
echo "== fuzzing found no fault"
