#!/usr/bin/env bash
# tools/setup.sh [release]
# Installs what building and testing Quorvane needs, and does nothing when it is all there. With
# "release", only what building the shipped exe needs. The host's packages come from apt-get, the one
# step that needs root (as root, or through sudo); the tests' Wine is no system package: it is Debian
# trixie's Wine 10 in a root of the user's own, made once by tools/setup-wine.sh without root.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env

source /etc/os-release 2>/dev/null || true
if [[ ${ID:-} != debian || ! ${VERSION_ID:-} =~ ^(12|13)$ ]]; then
  echo "setup: this is ${PRETTY_NAME:-a system without /etc/os-release}, and the set-up knows Debian 12" \
    "(bookworm) and 13 (trixie) only. It needs Debian's packages of cmake, Ninja, mingw-w64's i686 and x86_64" \
    "g++ (posix threads), GoogleTest's sources, Python 3 with pefile, mmdebstrap, bubblewrap, newuidmap and" \
    "Xvfb, a merged /usr, user namespaces, and a Debian archive to make the tests' trixie root from." >&2
  exit 1
fi

packages=(cmake ninja-build g++-mingw-w64-i686-posix)
if [[ ${1:-} != release ]]; then
  packages+=(
    g++-mingw-w64-x86-64-posix  # the second compiler's build
    googletest
    python3 python3-pefile
    mmdebstrap bubblewrap uidmap  # the tests' Wine, made and run without root
    xvfb                          # the display of the UI tests and the screenshots
  )
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
  as_root=(env DEBIAN_FRONTEND=noninteractive)
  if ((EUID != 0)) && command -v sudo >/dev/null && { sudo -n true 2>/dev/null || [[ -t 0 ]]; }; then
    as_root=(sudo "${as_root[@]}")  # sudo resets the environment: the proxy settings are handed on
    for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
      [[ -n ${!name:-} ]] && as_root+=("$name=${!name}")
    done
  elif ((EUID != 0)); then
    echo "setup: missing packages: ${missing[*]}. Installing them needs root, once per machine; as root, run" >&2
    echo "    apt-get update && ${install[*]}" >&2
    echo "and then this again as yourself: nothing else needs root." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  log=$(mktemp -t quorvane-setup.XXXXXX.log)
  step "Updating apt's package lists (apt-get update)" "$log" "${as_root[@]}" apt-get update -q
  step "Installing ${missing[*]} (apt-get install)" "$log" "${as_root[@]}" "${install[@]}"
  rm "$log"
fi

if [[ ${1:-} != release ]]; then
  tools/setup-wine.sh
fi
