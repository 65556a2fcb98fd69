# shellcheck shell=bash disable=SC2034  # failed is read by the script that sources this
# Sourced by the shell checks (tests/windows/*.sh, tests/packaging/*.sh): one line per check,
# "ok" or "FAIL" with the evidence indented below, and `failed` set to 1 by any failure so
# that the script can end with `exit "$failed"`.
failed=0

pass() { printf '  ok   %s\n' "$1"; }

# fail NAME [DETAIL...]
fail() {
  printf '  FAIL %s\n' "$1"
  shift
  [[ $# -gt 0 ]] && printf '       %s\n' "$@"
  failed=1
}
