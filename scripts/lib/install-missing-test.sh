#!/usr/bin/env bash
# Who install_missing asks to install what: apt-get itself as root, sudo apt-get for anyone
# else, and with no sudo one line naming the packages and a non-zero end. Stand-ins for id,
# dpkg-query, sudo and apt-get, alone on PATH, log each call.
set -uo pipefail
library="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/install-missing.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
ln -s "$(command -v env)" "$scratch/bin/env"
fake() { printf '#!/bin/bash\n%s\n' "$2" >"$scratch/bin/$1" && chmod +x "$scratch/bin/$1"; }
fake id 'echo "$FAKE_UID"'
fake dpkg-query '[[ " $INSTALLED " == *" ${*: -1} "* ]] && echo -n "install ok installed"; true'
fake apt-get 'echo "apt-get[${DEBIAN_FRONTEND:-}] $*" >>"$LOG"'
# Like the real one, the stand-in passes on none of the caller's environment.
sudo_body='echo sudo >>"$LOG"; exec env -i PATH="$PATH" LOG="$LOG" "$@"'

failed=0
# uid, whether sudo is there, the installed packages, then what must be logged, the status
# and the lines of standard error, for install_missing a b c.
check() {
  local uid="$1" has_sudo="$2" installed="$3" log="$4" status="$5" error_lines="$6" got=0
  if [[ $has_sudo == yes ]]; then fake sudo "$sudo_body"; else rm -f "$scratch/bin/sudo"; fi
  : >"$scratch/log"
  env -i PATH="$scratch/bin" LOG="$scratch/log" FAKE_UID="$uid" INSTALLED="$installed" \
    /bin/bash -c 'source "$0"; install_missing a b c' "$library" >/dev/null 2>"$scratch/err" || got=$?
  local row="uid $uid, sudo $has_sudo, installed '$installed'"
  [[ $(<"$scratch/log") == "$log" ]] || { echo "FAIL $row: ran"; cat "$scratch/log"; failed=1; }
  ((got == status)) || { echo "FAIL $row: status $got"; failed=1; }
  [[ $(grep -c . "$scratch/err") == "$error_lines" ]] || { echo "FAIL $row:"; cat "$scratch/err"; failed=1; }
}
install='apt-get[noninteractive] install -y -q --no-install-recommends'
check 0 no "a b c" "" 0 0
check 0 no "b" $'apt-get[noninteractive] update -q\n'"$install a c" 0 0
check 1000 yes "a" $'sudo\napt-get[noninteractive] update -q\nsudo\n'"$install b c" 0 0
check 1000 no "c" "" 1 1
grep -q "a b" "$scratch/err" && grep -q "apt-get install --no-install-recommends a b" "$scratch/err" ||
  { echo "FAIL the line names neither the packages nor the command"; failed=1; }
check 1000 no "a b c" "" 0 0
exit "$failed"
