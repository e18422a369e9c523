#!/usr/bin/env bash
# tools/setup.sh [release]
# Installs what building and testing Quorvane needs, and does nothing when it is all there. With
# "release", only what building the shipped exe needs. The tests' Wine is no system package: it is
# Debian trixie's Wine 10 in a root of its own, made once per machine by tools/setup-wine.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++-mingw-w64-i686-posix)
if [[ ${1:-} != release ]]; then
  packages+=(
    g++-mingw-w64-x86-64-posix  # the second compiler's build
    googletest
    python3 python3-pefile
    debootstrap  # the tests' Wine
    xvfb         # the display of the UI tests and the screenshots
  )
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  source tools/wine-env
  what="Installing ${missing[*]}"
  as_root "$what" DEBIAN_FRONTEND=noninteractive apt-get update -qq
  as_root "$what" DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ ${1:-} != release ]]; then
  tools/setup-wine.sh
fi
