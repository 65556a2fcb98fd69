# Sourced by the scripts in scripts/ and bench/: install_missing PACKAGE... installs, from
# Debian's packages, those of the named packages that are not installed yet, and touches
# nothing (not even the package lists) when all are there. Only this step needs root: as
# root it runs apt-get itself, otherwise through sudo; with neither, it prints one line
# naming the packages and the command that installs them, and ends the calling script.
install_missing() {
  local missing=() package
  for package in "$@"; do
    if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" != "install ok installed" ]]; then
      missing+=("$package")
    fi
  done
  ((${#missing[@]} > 0)) || return 0
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
      echo "missing Debian packages: ${missing[*]}; install them as root with" \
        "'apt-get update && apt-get install --no-install-recommends ${missing[*]}'," \
        "then run this again" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "== installing ${missing[*]}${sudo:+ (through sudo)}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}
