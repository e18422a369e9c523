#!/usr/bin/env bash
# tools/setup.sh [release [VERSION]]
# Installs what building and testing Quorvane needs ("release": building the shipped exe, of VERSION), if
# missing: packages through apt-get, the one step that needs root (as root, or through sudo); then roots of
# the user's own, made by tools/setup-wine.sh without root: the shipped exe's build root, the tests' Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env

packages=(mmdebstrap bubblewrap uidmap)  # the roots, made and run without root
if [[ ${1:-} != release ]]; then
  packages+=(
    cmake ninja-build g++-mingw-w64-x86-64-posix googletest  # the second compiler's build, CTest
    g++-mingw-w64-i686-posix  # Wine's 32-bit DLLs stripped, the benchmark's programs
    python3 python3-pefile xvfb  # the end-to-end tests, the PE checks; the UI tests' display
  )
fi

source /etc/os-release 2>/dev/null || true
if [[ ${ID:-} != debian || ! ${VERSION_ID:-} =~ ^(12|13)$ ]]; then
  echo "setup: this is ${PRETTY_NAME:-a system without /etc/os-release}; the set-up knows Debian 12 and 13 only." \
    "The tools need: ${packages[*]}; a merged /usr, user namespaces, and a Debian archive for the tests' root." >&2
  exit 1
fi

# Two first set-ups at once would collide on dpkg's lock: the second waits here for the first.
exec 5</var/lib/dpkg && flock 5
missing=()
for package in "${packages[@]}"; do  # a held package is installed too
  [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
  as_root=(env DEBIAN_FRONTEND=noninteractive)
  root_must() {
    echo "setup: missing packages: ${missing[*]}. Installing them needs root, once per machine; as root, run" >&2
    echo "    apt-get update && ${install[*]}" >&2
    echo "and then this again as yourself: nothing else needs root." >&2
    exit 1
  }
  if ((EUID != 0)) && command -v sudo >/dev/null && { sudo -n true 2>/dev/null || [[ -t 0 ]]; }; then
    as_root=(sudo "${as_root[@]}")  # sudo resets the environment: the proxy settings are handed on
    for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
      [[ -n ${!name:-} ]] && as_root+=("$name=${!name}")
    done
  elif ((EUID != 0)); then
    root_must
  fi
  echo "Installing: ${missing[*]}"
  log=$(mktemp -t quorvane-setup.XXXXXX.log)
  step "Updating apt's package lists (apt-get update)" "$log" "${as_root[@]}" apt-get update -q &&
    step "Installing ${missing[*]} (apt-get install)" "$log" "${as_root[@]}" "${install[@]}" ||
    { [[ ${as_root[0]} == sudo ]] && root_must; exit 1; }
  rm "$log"
fi
exec 5<&-

tools/setup-wine.sh build-root ${2:+"$2"}
[[ ${1:-} == release ]] || tools/setup-wine.sh
