#!/usr/bin/env bash
# Builds cssqueeze with its tests and benchmarks in build-ci/, runs every test, starts each
# benchmark once on small inputs so that they keep building and running (no timing is
# judged here), then the browser check, the tokenizer check, the text stages' tests without
# SSE2, the release artifacts, the sanitizer build, the fuzz targets and the Windows build
# under Wine.
# Installs the Debian packages it needs when they are missing (through sudo when not run
# as root), so it runs on a fresh Debian 12 machine with no standard input. Any failure
# stops it non-zero.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-ci"

source "$repo/scripts/lib/install-missing.sh"

install_missing cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev acl attr

echo "== configuring $build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=ON -DCSSQUEEZE_BENCH=ON
echo "== building"
cmake --build "$build" -j "$(nproc)"

echo "== running the tests"
(cd "$build" && ctest --output-on-failure </dev/null)
# ctest does not show why a test skipped (some need root, for one): its log does.
awk '/^\[ RUN      \]/ { name = $4 } /: Skipped$/ { getline reason; print "-- " name " skipped: " reason }' \
  "$build/Testing/Temporary/LastTest.log"

# One short run of each benchmark: --smoke makes the inputs small and times each once.
echo "== starting each benchmark once"
shopt -s nullglob
benches=("$build"/bench/*_bench)
if ((${#benches[@]} == 0)); then
  echo "no benchmark executable was built" >&2
  exit 1
fi
for bench in "${benches[@]}"; do
  log="$build/$(basename "$bench").smoke.log"
  if ! "$bench" --smoke </dev/null >"$log" 2>&1; then
    cat "$log"
    echo "$(basename "$bench") failed" >&2
    exit 1
  fi
  echo "-- $(basename "$bench") ran"
done

# The tool's results loaded into headless Chromium beside the originals, compared rule by
# rule: the hazard stylesheet and the framework stylesheets must mean the same after it.
echo "== the browser check"
bash "$repo/scripts/run-browser-check.sh" "$build" </dev/null

# Every input of a public CSS tokenizer test corpus minified and read by tinycss2 beside its
# original: the tokens must be the same, but for the ';' the tool removes on purpose.
echo "== the tokenizer check"
bash "$repo/scripts/run-tokenizer-check.sh" "$build" </dev/null

# The text stages again with the sixteen-byte searches compiled out, as on a processor
# without SSE2: the plain loops that stand in for them must give the same bytes.
echo "== the text stages without SSE2"
cmake -S "$repo" -B "$repo/build-portable" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCSSQUEEZE_TESTS=ON -DCMAKE_CXX_FLAGS="-U__SSE2__" >/dev/null
cmake --build "$repo/build-portable" --target minifier_tests -j "$(nproc)"
"$repo/build-portable/minifier_tests" </dev/null >"$repo/build-portable/minifier_tests.log" 2>&1 ||
  { cat "$repo/build-portable/minifier_tests.log"; exit 1; }
tail -1 "$repo/build-portable/minifier_tests.log"

# The release artifacts as a user gets them: scripts/package.sh builds them into dist/, then
# lintian, the unpacked Debian package and its manual page are checked.
echo "== release artifacts"
install_missing lintian man-db unzip
bash "$repo/scripts/package.sh" </dev/null
bash "$repo/tests/packaging/release_checks.sh" "$repo/dist" \
  "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" </dev/null

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz
# target for about a minute, and half a minute more on each of the SSE2 and SSSE3 paths;
# each script fails on any report, crash or model mismatch.
echo "== tests under the sanitizers"
bash "$repo/scripts/run-sanitizers.sh" </dev/null
echo "== fuzzing"
bash "$repo/scripts/run-fuzz.sh" </dev/null
echo "== fuzzing on the SSE2 path"
CSSQUEEZE_CODE_PATH=sse2 CSSQUEEZE_FUZZ_SECONDS=30 bash "$repo/scripts/run-fuzz.sh" </dev/null
echo "== fuzzing on the SSSE3 path"
CSSQUEEZE_CODE_PATH=ssse3 CSSQUEEZE_FUZZ_SECONDS=30 bash "$repo/scripts/run-fuzz.sh" </dev/null

# The Windows build: its unit tests and the real executable, under Wine.
echo "== Windows build and tests"
bash "$repo/scripts/test-windows.sh" </dev/null

echo "== all tests passed"
