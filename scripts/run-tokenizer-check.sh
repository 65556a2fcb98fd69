#!/usr/bin/env bash
# Checks with a real CSS tokenizer that minifying keeps every token: each input of a public
# tokenizer test corpus (@rmenke/css-tokenizer-tests, pinned in scripts/lib/frameworks.sh;
# its escapes, comments, bad strings, bad urls and fuzzed oddities are where a byte-level
# minifier goes wrong) is minified by the tool, and tests/tokenizer_check.py compares the
# tokens of the original and the result as tinycss2 reads them, whitespace and the ';' the
# tool removes on purpose aside. No input may differ.
#
# It also shows that it can fail: the same inputs minified with the rules that read every
# byte at face value (byte_only_minify, built with the tests) must differ, or the check fails.
#
#   bash scripts/run-tokenizer-check.sh [BUILD_FOLDER]   # default build-ci, built when needed
#
# Installs python3-tinycss2, curl and ca-certificates (and the build tools) when missing; the
# corpus's tarball is cached in bench/peers/tokenizer-tests (ignored by git).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build-ci}"

source "$repo/scripts/lib/install-missing.sh"
source "$repo/scripts/lib/frameworks.sh"

install_missing cmake ninja-build g++ libgtest-dev libgmock-dev python3 python3-tinycss2

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  echo "== configuring $build"
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCSSQUEEZE_TESTS=ON >/dev/null
fi
cmake --build "$build" --target cssqueeze byte_only_minify -j 2 >/dev/null

fetch_tokenizer_corpus "$repo/bench/peers/tokenizer-tests"

# Debian's interpreter, where python3-tinycss2 lives: a python3 found first on PATH (a
# virtual environment, pyenv) may not have it.
python=/usr/bin/python3

echo "== comparing the tokens of each corpus input with those of its minified copy"
"$python" "$repo/tests/tokenizer_check.py" --expect same "$tokenizer_corpus" "$build/cssqueeze"

echo "== the same check on the inputs minified with bytes read at face value"
if ! "$python" "$repo/tests/tokenizer_check.py" --expect different "$tokenizer_corpus" \
    "$build/byte_only_minify" face_value >"$build/tokenizer_check.face_value.log"; then
  cat "$build/tokenizer_check.face_value.log"
  echo "the tokenizer check failed on the inputs minified with bytes read at face value" >&2
  exit 1
fi
echo "   $(tail -1 "$build/tokenizer_check.face_value.log")" \
  "(each listed in $build/tokenizer_check.face_value.log)"
echo "== the tokenizer check passed"
