#!/usr/bin/env bash
# The installer's whole cycle under Wine, in a prefix that nothing else has touched: a
# silent install; the verb and the uninstall entry in the registry; the installed program
# compressing a file; a silent uninstall, after which the verb, the entry and the install
# folder are gone. Then once more with the verb taken over by another copy, which the
# uninstaller must leave alone.
# Needs WINE (the loader), WINESERVER, WINEPREFIX (fresh), CSSQUEEZE_INSTALLER,
# CSSQUEEZE_VERSION and INVOKE_VERB (the built invoke_verb.exe). Standard input is always
# /dev/null.
set -uo pipefail

: "${WINE:?path of the Wine loader}" "${WINESERVER:?path of wineserver}"
: "${WINEPREFIX:?a fresh Wine prefix}" "${CSSQUEEZE_INSTALLER:?path of the setup program}"
: "${CSSQUEEZE_VERSION:?the version the installer should record}"
: "${INVOKE_VERB:?path of invoke_verb.exe}"

folder='C:\Program Files\cssqueeze'
unix_folder=$WINEPREFIX/drive_c/Program\ Files/cssqueeze
verb_key='HKEY_CLASSES_ROOT\*\shell\Compress (css style)'
uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\cssqueeze'
# shellcheck source=SCRIPTDIR/../check_report.sh
source "$(dirname "${BASH_SOURCE[0]}")/../check_report.sh"

# Runs a Windows program and waits until every process it started has ended too (the
# uninstaller works from a copy of itself in the temporary folder); returns its status.
run_and_wait() {
  timeout 120 "$WINE" "$@" </dev/null >/dev/null 2>&1
  local status=$?
  timeout 120 "$WINESERVER" -w
  return "$status"
}

reg_query() { timeout 60 "$WINE" reg query "$1" </dev/null 2>/dev/null | tr -d '\r'; }
key_exists() { timeout 60 "$WINE" reg query "$1" </dev/null >/dev/null 2>&1; }

# The default value of the verb's command key, or nothing when the key is absent.
verb_command() {
  reg_query "$verb_key\\command" | sed -n 's/^ *(Default) *REG_SZ *//p'
}

# Right-clicks the file site.css of the folder $1 (a Unix path right under drive C) and
# picks the verb, as Explorer does it: through Wine's shell, with invoke_verb.exe.
run_verb() {
  timeout 120 "$WINE" "$INVOKE_VERB" "Compress (css style)" "C:\\$(basename "$1")\\site.css" 60 \
    </dev/null 2>/dev/null | tr -d '\r'
}

echo "installer cycle"
if run_and_wait "$CSSQUEEZE_INSTALLER" /S; then
  pass "the installer runs silently and exits 0"
else
  fail "the installer runs silently and exits 0" "status $?"
fi

expected_command="\"$folder\\cssqueeze.exe\" %1"
command=$(verb_command)
if [[ $command == "$expected_command" ]]; then
  pass "the verb runs the installed program: $command"
else
  fail "the verb runs the installed program" "expected: $expected_command" "got:      $command"
fi

entry=$(reg_query "$uninstall_key")
missing=()
for line in "DisplayName    REG_SZ    cssqueeze" \
  "DisplayVersion    REG_SZ    $CSSQUEEZE_VERSION" \
  "Publisher    REG_SZ    the cssqueeze developers" \
  "InstallLocation    REG_SZ    $folder" \
  "UninstallString    REG_SZ    \"$folder\\uninstall.exe\"" \
  "QuietUninstallString    REG_SZ    \"$folder\\uninstall.exe\" /S"; do
  grep -qF "    $line" <<<"$entry" || missing+=("$line")
done
grep -qE '^ +EstimatedSize +REG_DWORD +0x[0-9a-f]*[1-9a-f]' <<<"$entry" || missing+=("EstimatedSize")
if [[ ${#missing[@]} -eq 0 ]]; then
  pass "the uninstall entry holds every value"
else
  fail "the uninstall entry holds every value" "missing: ${missing[*]}" "$entry"
fi

listing=$(cd "$unix_folder" 2>/dev/null && ls | tr '\n' ' ')
if [[ $listing == "LICENSE.txt README.txt cssqueeze.exe uninstall.exe " ]]; then
  pass "the install folder holds the program, its texts and the uninstaller"
else
  fail "the install folder holds the program, its texts and the uninstaller" "$listing"
fi

work=$(mktemp -d "$WINEPREFIX/drive_c/stylesheets-XXXXXX")
printf 'a {\r\n  color : red ;\r\n}\r\n' >"$work/site.css"
out=$(run_verb "$work")
if [[ $(cat "$work/site.css") == 'a{color:red}' ]] && grep -qxF '42% compressed.' <<<"$out"; then
  pass "the verb, invoked as Explorer does, runs the installed program on a file"
else
  fail "the verb, invoked as Explorer does, runs the installed program on a file" "$(od -An -c "$work/site.css")" "$out"
fi

if run_and_wait "$folder\\uninstall.exe" /S; then
  pass "the uninstaller runs silently and exits 0"
else
  fail "the uninstaller runs silently and exits 0" "status $?"
fi
left=()
key_exists "$verb_key" && left+=("the verb key")
key_exists "$uninstall_key" && left+=("the uninstall entry")
[[ -e $unix_folder ]] && left+=("the install folder: $(ls -A "$unix_folder" | tr '\n' ' ')")
if [[ ${#left[@]} -eq 0 ]]; then
  pass "the uninstaller leaves no verb, no entry and no folder"
else
  fail "the uninstaller leaves no verb, no entry and no folder" "${left[@]}"
fi

# Another copy registered by its own register mode after the install: the verb is now
# that copy's, and removing the installed one must not break it.
other_command='"C:\portable\cssqueeze.exe" %1'
run_and_wait "$CSSQUEEZE_INSTALLER" /S
timeout 60 "$WINE" reg add "$verb_key\\command" /ve /d "$other_command" /f </dev/null >/dev/null 2>&1
run_and_wait "$folder\\uninstall.exe" /S
command=$(verb_command)
if [[ $command == "$other_command" && ! -e $unix_folder ]]; then
  pass "a verb that another copy took over stays"
else
  fail "a verb that another copy took over stays" "verb: $command" \
    "folder left: $([[ -e $unix_folder ]] && echo yes || echo no)"
fi
exit "$failed"
