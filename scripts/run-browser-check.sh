#!/usr/bin/env bash
# Checks in a real browser that minifying leaves a stylesheet meaning the same. For the
# hand-written hazard stylesheet (tests/data/css_hazards.css) and the real framework and
# string-heavy stylesheets of scripts/lib/frameworks.sh, it runs the tool on a copy, loads the original
# and the result into headless Chromium (tests/browser_check.js) and compares them rule by
# rule as the CSSOM reads them: kind, selector, condition, name or descriptors, the
# rule's own text as tokens, every declaration as longhand, value and priority, nested rules
# in order. Prints, per stylesheet and in total, the rules compared and those that differ;
# any differing rule fails the check.
#
# It also shows that it can fail: the hazard stylesheet minified with the old byte rules, and
# with the rules that read every byte at face value (strings running on past line breaks,
# escaped bytes taken for punctuation, '/' and '*' closing up), must differ, or the check
# fails (byte_only_minify, built with the tests).
#
#   bash scripts/run-browser-check.sh [BUILD_FOLDER]   # default build-ci, built when needed
#   BYTE_ONLY_FRAMEWORKS=1 bash scripts/run-browser-check.sh
#       also reports what the old byte rules do to each framework (minutes: the model they
#       run through is slow on purpose); those figures are shown, not judged.
#
# Installs chromium, curl and ca-certificates (and the build tools) when missing; the
# framework tarballs are cached in bench/peers/frameworks (ignored by git).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build-ci}"

source "$repo/scripts/lib/install-missing.sh"
source "$repo/scripts/lib/frameworks.sh"

install_missing cmake ninja-build g++ libgtest-dev libgmock-dev chromium

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  echo "== configuring $build"
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCSSQUEEZE_TESTS=ON >/dev/null
fi
cmake --build "$build" --target cssqueeze byte_only_minify -j 2 >/dev/null

fetch_frameworks "$repo/bench/peers/frameworks"
fetch_frameworks "$repo/bench/peers/frameworks" string_sheets string_files

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# compare ORIGINAL MINIFIED NAME: loads both into Chromium and sets rules and differing;
# writes the page's report to $work/NAME.report. Returns non-zero when Chromium fails or
# the page writes no report.
compare() {
  local original="$1" minified="$2" name="$3" page="$work/$3.html" dump="$work/$3.dom"
  {
    printf '<!doctype html>\n<meta charset="utf-8">\n<title>%s</title>\n' "$name"
    printf '<script type="text/plain" id="original">'
    base64 -w0 "$original"
    printf '</script>\n<script type="text/plain" id="minified">'
    base64 -w0 "$minified"
    printf '</script>\n<pre id="report"></pre>\n<script>\n'
    cat "$repo/tests/browser_check.js"
    printf '</script>\n'
  } >"$page"
  # --no-sandbox: Chromium refuses to start as root with its sandbox, and CI runs as root;
  # the page is our own, from a local file, with the network features turned off. A new
  # empty profile per page, so that nothing carries over from another run.
  local profile
  profile="$(mktemp -d "$work/profile-XXXXXX")"
  if ! timeout 300 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
      --disable-background-networking --disable-component-update --disable-sync \
      --user-data-dir="$profile" --dump-dom "file://$page" \
      </dev/null >"$dump" 2>"$work/$name.chromium.log"; then
    tail -20 "$work/$name.chromium.log" >&2
    echo "Chromium failed on $name" >&2
    return 1
  fi
  rm -rf "$profile"
  # The report is base64, so it holds no '<' and no markup escaping.
  sed -n 's/.*<pre id="report">\([^<]*\)<\/pre>.*/\1/p' "$dump" | base64 -d >"$work/$name.report"
  local first
  first="$(head -1 "$work/$name.report")"
  if [[ ! "$first" =~ ^rules\ ([0-9]+)\ minified\ [0-9]+\ differing\ ([0-9]+)$ ]]; then
    echo "the page found no answer for $name: ${first:-it wrote no report}" >&2
    return 1
  fi
  rules="${BASH_REMATCH[1]}" differing="${BASH_REMATCH[2]}"
}

# minify_copy PROGRAM INPUT NAME [ARGUMENT]: prints the path of a copy of INPUT minified in
# place by PROGRAM (given the copy and ARGUMENT), which must change it (every input has
# space to remove).
minify_copy() {
  local program="$1" input="$2" copy="$work/$3.css"
  cp "$input" "$copy"
  if ! "$program" "$copy" "${@:4}" </dev/null >"$work/$3.log" 2>&1; then
    cat "$work/$3.log" >&2
    echo "$(basename "$program") failed on $input" >&2
    return 1
  fi
  if cmp -s "$input" "$copy"; then
    cat "$work/$3.log" >&2
    echo "$(basename "$program") left $input as it was" >&2
    return 1
  fi
  echo "$copy"
}

# show_differences NAME: the report's examples of rules one side lacks ('-' the original's,
# '+' the minified copy's), cut to a readable width.
show_differences() {
  tail -n +2 "$work/$1.report" | cut -c1-400 | sed 's/^/     /'
}

inputs=("$repo/tests/data/css_hazards.css" "${framework_files[@]}" "${string_files[@]}")
total_rules=0 total_differing=0
echo "== comparing each stylesheet with its minified copy in Chromium"
for input in "${inputs[@]}"; do
  name="$(basename "$input" .css)"
  minified="$(minify_copy "$build/cssqueeze" "$input" "$name.cssqueeze")"
  compare "$input" "$minified" "$name"
  printf '   %-40s %6d rules, %d differ\n' "$name" "$rules" "$differing"
  ((differing == 0)) || show_differences "$name"
  total_rules=$((total_rules + rules)) total_differing=$((total_differing + differing))
done
echo "   total: $total_rules rules compared, $total_differing differ"

# The check must notice what the old byte rules break on the hazard stylesheet.
echo "== the same check on the hazard stylesheet minified with the old byte rules"
byte_only_inputs=("$repo/tests/data/css_hazards.css")
[[ -n "${BYTE_ONLY_FRAMEWORKS:-}" ]] && byte_only_inputs+=("${framework_files[@]}")
byte_only_rules=0 byte_only_differing=0 hazards_caught=0
for input in "${byte_only_inputs[@]}"; do
  name="$(basename "$input" .css).byte_only"
  minified="$(minify_copy "$build/byte_only_minify" "$input" "$name")"
  compare "$input" "$minified" "$name"
  printf '   %-40s %6d rules, %d differ\n' "$name" "$rules" "$differing"
  [[ "$input" == */css_hazards.css ]] && { hazards_caught="$differing"; show_differences "$name"; }
  byte_only_rules=$((byte_only_rules + rules)) byte_only_differing=$((byte_only_differing + differing))
done
((${#byte_only_inputs[@]} == 1)) ||
  echo "   total with the old byte rules: $byte_only_rules rules compared, $byte_only_differing differ"

# ... and what reading every byte at face value breaks there.
echo "== the same check on the hazard stylesheet minified with bytes read at face value"
name="css_hazards.face_value"
minified="$(minify_copy "$build/byte_only_minify" "$repo/tests/data/css_hazards.css" "$name" face_value)"
compare "$repo/tests/data/css_hazards.css" "$minified" "$name"
printf '   %-40s %6d rules, %d differ\n' "$name" "$rules" "$differing"
show_differences "$name"
face_value_caught="$differing"

if ((total_differing > 0)); then
  echo "the browser check failed: $total_differing rules mean something else after minifying" >&2
  exit 1
fi
if ((hazards_caught == 0)); then
  echo "the browser check failed: it found no difference on the hazard stylesheet minified" \
    "with the old byte rules, so it would not notice them either" >&2
  exit 1
fi
if ((face_value_caught == 0)); then
  echo "the browser check failed: it found no difference on the hazard stylesheet minified" \
    "with bytes read at face value, so it would not notice that either" >&2
  exit 1
fi
echo "== the browser check passed"
