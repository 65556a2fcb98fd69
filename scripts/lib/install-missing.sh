# Sourced by the scripts in scripts/ and bench/: install_missing PACKAGE... installs, from
# Debian's packages, those of the named packages that are not installed yet, and touches
# nothing (not even the package lists) when all are there. Runs as root, or through sudo.
install_missing() {
  local missing=() package
  for package in "$@"; do
    if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" != "install ok installed" ]]; then
      missing+=("$package")
    fi
  done
  ((${#missing[@]} > 0)) || return 0
  echo "== installing ${missing[*]}"
  local sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}
