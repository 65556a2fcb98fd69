#!/usr/bin/env bash
# End-to-end checks of the real cssqueeze.exe under Wine, in the Wine prefix the caller set
# up (WINEPREFIX): register mode against Wine's registry, from folders whose paths hold
# spaces, non-ASCII characters or more than 260 characters; minify mode on CR LF files,
# a file holding 0x1A, a non-ASCII file name, a read-only file and a folder; and the
# registered verb run through the shell as a right-click runs it, on paths with spaces and
# on files that are no stylesheet.
# Needs WINE (the loader), CSSQUEEZE_EXE (the built executable) and INVOKE_VERB (the built
# invoke_verb.exe). Standard input is always /dev/null, so every run's wait for Enter
# returns at once.
set -uo pipefail

: "${WINE:?path of the Wine loader}" "${CSSQUEEZE_EXE:?path of cssqueeze.exe}"
: "${INVOKE_VERB:?path of invoke_verb.exe}"
: "${WINEPREFIX:?a Wine prefix made for these checks}"

key='HKEY_CLASSES_ROOT\*\shell\Compress (css style)\command'
from_now='From now, you can use right click context-menu to access this tool.'
# shellcheck source=SCRIPTDIR/../check_report.sh
source "$(dirname "${BASH_SOURCE[0]}")/../check_report.sh"

# Runs cssqueeze.exe (the Windows path $1) with the remaining arguments, in the Unix folder
# $run_in; prints its console output with the CR of each line end removed.
# The tool prints its banner before anything else, so a run that printed nothing never got
# as far as the tool: Wine failed to start it (seen once in hundreds of runs, under load).
# Such a run is tried once more, and Wine's own words are kept for the record.
run_exe() {
  local exe=$1
  shift
  local out attempt
  for attempt in 1 2; do
    out=$( (cd "${run_in:-.}" && timeout 120 "$WINE" "$exe" "$@" </dev/null 2>"$WINEPREFIX/wine.err") | tr -d '\r')
    [[ -n $out ]] && break
    printf '  (Wine printed nothing for %s; it said: %s)\n' "$*" "$(head -c 300 "$WINEPREFIX/wine.err")" >&2
  done
  printf '%s\n' "$out"
}

# The default value of the command key, as regedit exports it (UTF-16), unescaped.
exported_command() {
  local export_file=$WINEPREFIX/drive_c/command.reg
  rm -f "$export_file"
  timeout 60 "$WINE" regedit /E 'C:\command.reg' "$key" </dev/null >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$export_file" 2>/dev/null | tr -d '\r' | sed -n 's/^@="\(.*\)"$/\1/p' \
    | sed 's/\\\\/\\/g; s/\\"/"/g'
}

# The Unix path of the Windows path $1 (under drive C of the prefix).
unix_path_of() {
  local unix_path=$WINEPREFIX/drive_c/${1#C:\\}
  printf '%s\n' "${unix_path//\\//}"
}

# Installs the executable at the Windows path $1.
install_exe() {
  local unix_path
  unix_path=$(unix_path_of "$1")
  mkdir -p "$(dirname "$unix_path")"
  cp "$CSSQUEEZE_EXE" "$unix_path"
}

echo "register mode"
exe='C:\Program Files\cssqueeze\cssqueeze.exe'
install_exe "$exe"
out=$(run_exe "$exe")
if grep -qxF 'Success: Key created.' <<<"$out" && grep -qxF "$from_now" <<<"$out" \
  && [[ $(grep -cvE '^$' <<<"$out") -eq 4 ]]; then
  pass "first run creates the key"
else
  fail "first run creates the key" "$out"
fi

query=$(timeout 60 "$WINE" reg query "$key" </dev/null 2>/dev/null | tr -d '\r')
expected_value="\"$exe\" %1"
if grep -qF "(Default)    REG_SZ    $expected_value" <<<"$query"; then
  pass "reg query shows \"<exe path>\" %1"
else
  fail "reg query shows \"<exe path>\" %1" "expected: $expected_value" "$query"
fi

out=$(run_exe "$exe")
if ! grep -qF 'Success: Key created.' <<<"$out" && grep -qxF "$from_now" <<<"$out"; then
  pass "second run finds the key"
else
  fail "second run finds the key" "$out"
fi

exe='C:\Program Files\Outils CSS ☃\日本語\cssqueeze.exe'
install_exe "$exe"
run_exe "$exe" >/dev/null
value=$(exported_command)
if [[ $value == "\"$exe\" %1" ]]; then
  pass "a non-ASCII program path is registered whole"
else
  fail "a non-ASCII program path is registered whole" "expected: \"$exe\" %1" "got:      $value"
fi

segment=$(printf 'd%.0s' {1..60})
exe="C:\\long\\$segment\\$segment\\$segment\\$segment\\$segment\\cssqueeze.exe"
install_exe "$exe"
run_exe "$exe" >/dev/null
value=$(exported_command)
if [[ $value == "\"$exe\" %1" ]]; then
  pass "a program path of ${#exe} characters is registered whole"
else
  fail "a program path of ${#exe} characters is registered whole" "got: $value"
fi

echo "minify mode"
run_in=$(mktemp -d "$WINEPREFIX/drive_c/stylesheets-XXXXXX")
exe='C:\Program Files\cssqueeze\cssqueeze.exe'

# check_minify NAME FILE INPUT EXPECTED [CONSOLE_LINE]: writes INPUT (printf format) to FILE,
# runs the tool on it and compares the file's bytes with EXPECTED (printf format).
check_minify() {
  local name=$1 file=$2 input=$3 expected=$4 line=${5:-}
  # shellcheck disable=SC2059
  printf "$input" >"$run_in/$file"
  # shellcheck disable=SC2059
  printf "$expected" >"$run_in/expected"
  local out
  out=$(run_exe "$exe" "$file")
  if ! cmp -s "$run_in/$file" "$run_in/expected"; then
    fail "$name" "expected: $(od -An -c "$run_in/expected" | tr -s ' ')" \
      "got:      $(od -An -c "$run_in/$file" | tr -s ' ')" "$out"
  elif [[ -n $line ]] && ! grep -qxF "$line" <<<"$out"; then
    fail "$name" "missing console line: $line" "$out"
  else
    pass "$name"
  fi
}

# A string goes on over a line break only behind a backslash; CR LF is read as one LF.
check_minify "CR LF stylesheet is written back with CR LF" crlf.css \
  'a {\r\n  content : "x\\\r\n y" ;\r\n  color : red ;\r\n}\r\n' \
  'a{content:"x\\\r\n y";color:red}' 'total: 15 useless charachters removed.'
check_minify "0x1A passes through" ctrl-z.css \
  'a {\r\n  content : "\x1a" ;\r\n}\r\n\x1a\r\nb {\r\n  x : y ;\r\n}\r\n' \
  'a{content:"\x1a"}\x1a\r\nb{x:y}'
check_minify "a lone CR stays a byte of its own" lone-cr.css \
  'a {\r\n  content : "x\\\ry" ;\r\n}\r\n' 'a{content:"x\\\ry"}'
check_minify "a non-ASCII file name" '日本語 ☃.css' \
  'a {\r\n  color : red ;\r\n}\r\n' 'a{color:red}' '42% compressed.'
check_minify "a file that needs no change keeps its bytes" tight.css \
  'a{b:c}\r\n' 'a{b:c}\r\n' 'there is nothing to change.'

printf 'a {\r\n  b : c ;\r\n}\r\n' >"$run_in/read-only.css"
cp "$run_in/read-only.css" "$run_in/expected"
chmod a-w "$run_in/read-only.css"
out=$(run_exe "$exe" read-only.css)
if cmp -s "$run_in/read-only.css" "$run_in/expected" \
  && grep -qxF "we couldn't access the file again." <<<"$out"; then
  pass "a read-only file is left as it was"
else
  fail "a read-only file is left as it was" "$out"
fi

# A save by full path puts a new file in the place of the old one through ReplaceFileW (Wine
# carries over no attributes, times or ACLs there, so only the new file itself shows); a
# file with a second hard link is overwritten in place, so that both names show the new text.
printf 'a {\r\n  color : red ;\r\n}\r\n' >"$run_in/full path.css"
inode_before=$(stat -c %i "$run_in/full path.css")
out=$(run_exe "$exe" "C:\\${run_in#"$WINEPREFIX/drive_c/"}\\full path.css")
if [[ $(cat "$run_in/full path.css") == 'a{color:red}' ]] \
  && [[ $(stat -c %i "$run_in/full path.css") != "$inode_before" ]]; then
  pass "a full path is saved through a new file put in its place"
else
  fail "a full path is saved through a new file put in its place" "$out"
fi
printf 'a {\r\n  color : red ;\r\n}\r\n' >"$run_in/linked.css"
ln -f "$run_in/linked.css" "$run_in/second name.css"
inode_before=$(stat -c %i "$run_in/linked.css")
out=$(run_exe "$exe" linked.css)
if [[ $(cat "$run_in/linked.css") == 'a{color:red}' ]] \
  && [[ $(cat "$run_in/second name.css") == 'a{color:red}' ]] \
  && [[ $(stat -c %i "$run_in/linked.css") == "$inode_before" ]] \
  && [[ -z $(find "$run_in" -name '*cssqueeze*') ]]; then
  pass "a hard-linked file is overwritten in place under both names"
else
  fail "a hard-linked file is overwritten in place under both names" "$out" \
    "$(ls -lai "$run_in")"
fi

mkdir -p "$run_in/folder.css"
out=$(run_exe "$exe" folder.css)
if grep -qxF "We don't access to that file." <<<"$out"; then
  pass "a folder is refused"
else
  fail "a folder is refused" "$out"
fi

if [[ -n $(find "$run_in" -name '*.tmp') ]]; then
  fail "no temporary file is left behind" "$(find "$run_in" -name '*.tmp')"
fi

echo "typed with two arguments"
printf 'a {\r\n  color : red ;\r\n}\r\n' >"$run_in/a.css"
printf 'b {\r\n  color : red ;\r\n}\r\n' >"$run_in/b.css"
out=$(run_exe "$exe" a.css b.css)
if [[ $(cat "$run_in/a.css") == 'a{color:red}' ]] \
  && cmp -s "$run_in/b.css" <(printf 'b {\r\n  color : red ;\r\n}\r\n'); then
  pass "cssqueeze.exe a.css b.css compresses a.css alone"
else
  fail "cssqueeze.exe a.css b.css compresses a.css alone" "$out"
fi

# The verb as a right-click runs it: the shell reads the command registered above, puts the
# file's path in place of its unquoted %1 and starts the tool; invoke_verb.exe waits for it
# and hands back its console. Each invocation is shown in full, as a transcript.
echo "right-click verb"
verb='Compress (css style)'
run_exe "$exe" >/dev/null  # the verb now starts C:\Program Files\cssqueeze\cssqueeze.exe
not_text='That file is not a text stylesheet (it holds a NUL byte); it was left untouched.'
stylesheet='a {\r\n  color : red ;\r\n}\r\n'

# check_verb NAME WINDOWS_PATH INPUT EXPECTED LINE [read-only]: writes INPUT (printf format)
# to the file, invokes the verb on it, and compares the file's bytes with EXPECTED (printf
# format); the run must end by itself with status 0 and print LINE. A file that must stay
# as it was also keeps its modification time.
check_verb() {
  local name=$1 path=$2 input=$3 expected=$4 line=$5 mode=${6:-}
  local file
  file=$(unix_path_of "$path")
  mkdir -p "$(dirname "$file")"
  rm -f "$file"
  # shellcheck disable=SC2059
  printf "$input" >"$file"
  [[ $mode == read-only ]] && chmod a-w "$file"
  # shellcheck disable=SC2059
  printf "$expected" >"$run_in/expected"
  touch -d '2001-01-01 00:00:00' "$file"
  local before out status
  before=$(stat -c %y "$file")
  out=$(timeout 120 "$WINE" "$INVOKE_VERB" "$verb" "$path" 60 </dev/null 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  printf '  > invoke_verb "%s" "%s"\n' "$verb" "$path"
  printf '    | %s\n' "${out//$'\n'/$'\n'    | }"
  printf '    status %s\n' "$status"
  if [[ $status -ne 0 ]]; then
    fail "$name" "invoke_verb ended with status $status"
  elif ! cmp -s "$file" "$run_in/expected"; then
    fail "$name" "expected: $(od -An -c "$run_in/expected" | tr -s ' ')" \
      "got:      $(od -An -c "$file" | tr -s ' ')"
  elif ! grep -qxF "$line" <<<"$out"; then
    fail "$name" "missing console line: $line"
  elif [[ $input == "$expected" && $(stat -c %y "$file") != "$before" ]]; then
    fail "$name" "the modification time changed"
  else
    pass "$name"
  fi
}

check_verb "a folder and a name with spaces" 'C:\verb\my styles\site one.css' \
  "$stylesheet" 'a{color:red}' '42% compressed.'
check_verb "two spaces in a row" 'C:\verb\two  spaces.css' \
  "$stylesheet" 'a{color:red}' '42% compressed.'
check_verb "a non-ASCII name with spaces" 'C:\verb\my styles\feuille ☃ 日本語.css' \
  "$stylesheet" 'a{color:red}' '42% compressed.'
check_verb "a path without spaces" 'C:\verb\plain.css' \
  "$stylesheet" 'a{color:red}' '42% compressed.'

decoy=$(unix_path_of 'C:\verb\x')
mkdir -p "$(dirname "$decoy")"
printf %b "$stylesheet" >"$decoy"
check_verb "x y.css beside a file x" 'C:\verb\x y.css' \
  "$stylesheet" 'a{color:red}' '42% compressed.'
if cmp -s "$decoy" <(printf %b "$stylesheet"); then
  pass "the file x is left as it was"
else
  fail "the file x is left as it was" "got: $(od -An -c "$decoy" | tr -s ' ')"
fi

png='\x89PNG\r\n\x1a\n\000\000\000\rIHDR  ;  \n\t;;}\000\000 \r\n'
check_verb "a PNG-like binary is refused" 'C:\verb\my styles\picture one.png' \
  "$png" "$png" "$not_text"
utf16='\xff\xfea\000 \000{\000\r\000\n\000 \000 \000c\000 \000:\000 \000d\000 \000;\000\r\000\n\000}\000'
check_verb "a UTF-16LE stylesheet is refused" 'C:\verb\my styles\utf16 sheet.css' \
  "$utf16" "$utf16" "$not_text"

check_verb "a read-only file with a space in its path" 'C:\verb\my styles\read only.css' \
  "$stylesheet" "$stylesheet" "we couldn't access the file again." read-only

if [[ -n $(find "$(unix_path_of 'C:\verb')" -name '*.tmp') ]]; then
  fail "no temporary file is left behind by the verb" "$(find "$(unix_path_of 'C:\verb')" -name '*.tmp')"
fi
exit "$failed"
