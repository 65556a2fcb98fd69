#!/usr/bin/env bash
# Cross-builds cssqueeze.exe and the Windows unit tests with mingw-w64, runs the tests under
# Wine, then checks the real executable end to end (tests/windows/end_to_end.sh). Installs
# the compiler and Wine when missing. Exits non-zero on any failure.
#
# Environment: CSSQUEEZE_WINDOWS_BUILD (build folder, default build/windows),
#              CSSQUEEZE_JOBS (parallel compile jobs, default 2).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CSSQUEEZE_WINDOWS_BUILD:-$repo/build/windows}
jobs=${CSSQUEEZE_JOBS:-2}
unit_tests=(shell_menu_tests registry_platform_tests minifier_tests driver_tests)

say() { printf '== %s\n' "$*"; }

source "$repo/scripts/lib/install-missing.sh"

find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [[ -n $candidate && -x $candidate ]]; then
      printf '%s\n' "$candidate"
      return
    fi
  done
  echo "no Wine loader found" >&2
  exit 1
}

install_missing g++-mingw-w64-x86-64-posix wine64 cmake ninja-build

say "cross-building into $build"
mkdir -p "$build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
failures=()
# Each target on its own, so that one that does not build yet still lets the others run.
for target in cssqueeze invoke_verb "${unit_tests[@]}"; do
  if ! ninja -C "$build" -j "$jobs" "$target"; then
    failures+=("build of $target")
  fi
done
[[ -f $build/cssqueeze.exe ]] || { echo "cssqueeze.exe was not built" >&2; exit 1; }

wine=$(find_wine)
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/cssqueeze-wine-XXXXXX")
export WINEDEBUG=-all
# No Mono or Gecko install prompts in a fresh prefix: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
cleanup() {
  local server
  server=$(dirname "$wine")/wineserver
  [[ -x $server ]] || server=$(command -v wineserver || true)
  [[ -n $server ]] && "$server" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

say "starting a Wine prefix in $WINEPREFIX"
timeout 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }

for target in "${unit_tests[@]}"; do
  [[ -f $build/$target.exe ]] || continue
  say "$target.exe under Wine"
  log=$build/$target.wine.log
  if timeout 900 "$wine" "$build/$target.exe" </dev/null >"$log" 2>&1; then
    grep -E '^\[  (PASSED|FAILED)' "$log" || true
  else
    grep -E '^\[  FAILED|Failure|Expected|Which is|actual' "$log" | head -60 || true
    tail -5 "$log"
    failures+=("$target under Wine")
  fi
done

say "end-to-end checks of cssqueeze.exe under Wine"
if ! WINE="$wine" CSSQUEEZE_EXE="$build/cssqueeze.exe" INVOKE_VERB="$build/invoke_verb.exe" \
  bash "$repo/tests/windows/end_to_end.sh"; then
  failures+=("end-to-end checks")
fi

if [[ ${#failures[@]} -gt 0 ]]; then
  printf 'FAILED: %s\n' "${failures[@]}" >&2
  exit 1
fi
say "all Windows checks passed"
