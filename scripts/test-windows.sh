#!/usr/bin/env bash
# Cross-builds cssqueeze.exe and the Windows unit tests with mingw-w64, runs the tests under
# Wine, then checks the real executable end to end (tests/windows/end_to_end.sh), and the
# installer's install and uninstall cycle in a fresh Wine prefix (tests/windows/
# install_cycle.sh). Installs the compiler, Wine and NSIS when missing. Exits non-zero on
# any failure.
#
# Environment: CSSQUEEZE_WINDOWS_BUILD (build folder, default build/windows),
#              CSSQUEEZE_JOBS (parallel compile jobs, default 2).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CSSQUEEZE_WINDOWS_BUILD:-$repo/build/windows}
jobs=${CSSQUEEZE_JOBS:-2}
unit_tests=(shell_menu_tests registry_platform_tests minifier_tests file_system_tests driver_tests)

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

install_missing g++-mingw-w64-x86-64-posix wine64 cmake ninja-build nsis

say "cross-building into $build"
mkdir -p "$build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
failures=()
# Each target on its own, so that one that does not build yet still lets the others run.
for target in cssqueeze invoke_verb installer "${unit_tests[@]}"; do
  if ! ninja -C "$build" -j "$jobs" "$target"; then
    failures+=("build of $target")
  fi
done
[[ -f $build/cssqueeze.exe ]] || { echo "cssqueeze.exe was not built" >&2; exit 1; }

wine=$(find_wine)
wineserver=$(dirname "$wine")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || true)
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko install prompts in a fresh prefix: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
prefixes=()
cleanup() {
  local prefix
  for prefix in "${prefixes[@]}"; do
    [[ -n $wineserver ]] && WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
  done
}
trap cleanup EXIT

# Makes WINEPREFIX a new prefix, removed on exit.
start_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/cssqueeze-wine-XXXXXX")
  prefixes+=("$WINEPREFIX")
  say "starting a Wine prefix in $WINEPREFIX"
  timeout 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
}
start_prefix

# run_under_wine NAME LOG [LINE]: runs the test executable $build/NAME.exe into LOG and
# prints its verdict; fails if it fails, or if its log holds no line matching LINE.
run_under_wine() {
  local log=$2
  if timeout 900 "$wine" "$build/$1.exe" </dev/null >"$log" 2>&1 && grep -q -- "${3:-}" "$log"; then
    grep -E '^\[  (PASSED|FAILED)' "$log" || true
    return 0
  fi
  grep -E '^\[  FAILED|Failure|Expected|Which is|actual' "$log" | head -60 || true
  tail -5 "$log"
  return 1
}

for target in "${unit_tests[@]}"; do
  [[ -f $build/$target.exe ]] || continue
  say "$target.exe under Wine"
  run_under_wine "$target" "$build/$target.wine.log" || failures+=("$target under Wine")
done

# The executable must start and run on a processor without AVX2 or SSSE3: only the AVX2
# copy of the text stages (namespace avx2) may hold VEX-encoded or BMI instructions, and
# only it and the SSSE3 copy (namespace ssse3) the byte shuffle, POPCNT or PCLMUL.
say "newer instructions only in the AVX2 and SSSE3 copies of the text stages"
outside=$(x86_64-w64-mingw32-objdump -d "$build/cssqueeze.exe" | awk -F'\t' '
  /^[0-9a-f]+ <.*>:$/ { function_name = $0 }
  $3 ~ /^(v[a-z0-9]+|andn|blsr|blsi|pext|pdep|shlx|shrx|sarx)( |$)/ &&
    function_name !~ /<_ZN4avx2/ { print function_name }
  $3 ~ /^(pclmul[a-z]*|popcnt|pshufb|palignr|pabs[bwd]|ph(add|sub)[a-z]*|pmaddubsw|pmulhrsw|psign[bwd])( |$)/ &&
    function_name !~ /<_ZN(4avx2|5ssse3)/ { print function_name }' | sort -u)
if [[ -n $outside ]]; then
  echo "$outside"
  failures+=("newer instructions outside the AVX2 and SSSE3 paths")
fi

# The text stages again on the narrower paths: the processor here would choose AVX2, and did.
if [[ -f $build/minifier_tests.exe ]]; then
  if grep -qw avx2 /proc/cpuinfo && ! grep -q '^code path: AVX2' "$build/minifier_tests.wine.log"; then
    failures+=("minifier_tests under Wine did not take the AVX2 path")
  fi
  for forced in sse2:baseline ssse3:SSSE3; do
    path=${forced%%:*}
    say "minifier_tests.exe under Wine, $path path forced"
    CSSQUEEZE_CODE_PATH=$path run_under_wine minifier_tests "$build/minifier_tests.$path.wine.log" \
      "^code path: ${forced#*:}" || failures+=("minifier_tests under Wine on the $path path")
  done
fi

say "end-to-end checks of cssqueeze.exe under Wine"
if ! WINE="$wine" CSSQUEEZE_EXE="$build/cssqueeze.exe" INVOKE_VERB="$build/invoke_verb.exe" \
  bash "$repo/tests/windows/end_to_end.sh"; then
  failures+=("end-to-end checks")
fi

# The installer writes to the registry and Program Files: a prefix of its own, so that
# nothing the checks above registered can hide what it does or fails to undo.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
installer=$build/cssqueeze-$version-setup.exe
if [[ -f $installer ]]; then
  say "install and uninstall cycle of $(basename "$installer") under Wine"
  start_prefix
  if ! WINE="$wine" WINESERVER="$wineserver" CSSQUEEZE_INSTALLER="$installer" \
    CSSQUEEZE_VERSION="$version" INVOKE_VERB="$build/invoke_verb.exe" \
    bash "$repo/tests/windows/install_cycle.sh"; then
    failures+=("install cycle")
  fi
else
  failures+=("installer missing: $installer")
fi

if [[ ${#failures[@]} -gt 0 ]]; then
  printf 'FAILED: %s\n' "${failures[@]}" >&2
  exit 1
fi
say "all Windows checks passed"
