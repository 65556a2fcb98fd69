#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer (the
# "asan" preset, in build-asan/) and runs it. Every sanitizer report fails the script, also
# one from a copy of the tool that a test starts as another user or whose output it
# discards: reports go to files in a folder every user may write to, checked after ctest.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-asan"

source "$repo/scripts/lib/install-missing.sh"

install_missing cmake ninja-build g++ libgtest-dev libgmock-dev

echo "== configuring $build"
(cd "$repo" && cmake --preset asan >/dev/null)
echo "== building with the sanitizers"
cmake --build "$build" -j 2

# Started as root, the tests run some copies of the tool as nobody, so the report folder
# must be writable by every user; the sticky bit keeps them apart.
reports="$(mktemp -d "${TMPDIR:-/tmp}/cssqueeze-sanitizer-reports-XXXXXX")"
trap 'rm -rf "$reports"' EXIT
chmod 1777 "$reports"

# halt_on_error: the first report ends the process (with -fno-sanitize-recover=all it
# would anyway); detect_leaks stays on, also in the children the tests start.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="log_path=$reports/lsan"

echo "== running the tests with the sanitizers"
status=0
(cd "$build" && ctest -j 2 --output-on-failure </dev/null) || status=$?

shopt -s nullglob
found=("$reports"/*)
shopt -u nullglob
for report in "${found[@]}"; do
  echo "!! sanitizer report $(basename "$report"):" >&2
  cat "$report" >&2
done
if ((${#found[@]} > 0)); then
  echo "the sanitizers reported ${#found[@]} fault(s)" >&2
  exit 1
fi
if ((status != 0)); then
  echo "a test failed under the sanitizers" >&2
  exit 1
fi
echo "== every test passed with no sanitizer report"
