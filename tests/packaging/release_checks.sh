#!/usr/bin/env bash
# Checks what scripts/package.sh left in dist/: the four artifacts and their checksums, the
# zip's contents, lintian on the Debian package, and the package's own files unpacked into a
# temporary folder: the program compresses a file and reports the project's version, and
# its manual page renders without a warning. Needs lintian, man-db and unzip.
# Usage: release_checks.sh DIST_FOLDER VERSION
set -uo pipefail

dist=${1:?folder that package.sh filled} version=${2:?the version in project()}
deb=$dist/cssqueeze_${version}_amd64.deb
# shellcheck source=SCRIPTDIR/../check_report.sh
source "$(dirname "${BASH_SOURCE[0]}")/../check_report.sh"

echo "release artifacts"
sums=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1)
if [[ $? -eq 0 && $(grep -c ': OK$' <<<"$sums") -eq 3 ]] \
  && [[ -f $deb && -f $dist/cssqueeze-$version-win64.zip && -f $dist/cssqueeze-$version-setup.exe ]]; then
  pass "the package, the zip and the installer match SHA256SUMS"
else
  fail "the package, the zip and the installer match SHA256SUMS" "$sums" "$(ls "$dist")"
fi

listing=$(unzip -Z1 "$dist/cssqueeze-$version-win64.zip" 2>&1 | sort | tr '\n' ' ')
top=cssqueeze-$version-win64
if [[ $listing == "$top/LICENSE.txt $top/README.txt $top/cssqueeze.exe " ]]; then
  pass "the zip holds cssqueeze.exe, README.txt and LICENSE.txt"
else
  fail "the zip holds cssqueeze.exe, README.txt and LICENSE.txt" "$listing"
fi

# Warnings fail too; root's "not recommended" notice is not about the package.
report=$(lintian --fail-on error,warning "$deb" 2>&1)
status=$?
report=$(grep -v '^running with root privileges' <<<"$report")
if [[ $status -eq 0 ]]; then
  pass "lintian reports no error or warning${report:+: $report}"
else
  fail "lintian reports no error or warning" "$report"
fi

unpacked=$(mktemp -d "${TMPDIR:-/tmp}/cssqueeze-deb-XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
program=$unpacked/usr/bin/cssqueeze

printf 'a {\n  color : red ;\n}\n' >"$unpacked/site.css"
out=$("$program" "$unpacked/site.css" </dev/null 2>&1)
if [[ $(cat "$unpacked/site.css") == 'a{color:red}' ]] && grep -qxF '42% compressed.' <<<"$out"; then
  pass "the packaged program compresses a file"
else
  fail "the packaged program compresses a file" "$out"
fi

out=$("$program" --version </dev/null 2>&1)
if [[ $out == "cssqueeze $version" ]]; then
  pass "--version prints: $out"
else
  fail "--version prints cssqueeze $version" "got: $out"
fi

page=$unpacked/usr/share/man/man1/cssqueeze.1.gz
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$unpacked/page.txt")
if [[ -z $warnings ]] && grep -q '^NAME' "$unpacked/page.txt" \
  && grep -q '^EXIT STATUS' "$unpacked/page.txt"; then
  pass "the manual page renders without a warning"
else
  fail "the manual page renders without a warning" "$warnings"
fi

for file in copyright changelog.gz README.md; do
  [[ -f $unpacked/usr/share/doc/cssqueeze/$file ]] || fail "/usr/share/doc/cssqueeze/$file is in the package"
done
exit "$failed"
