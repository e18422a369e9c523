#!/usr/bin/env bash
# Installs what building and testing Quorvane needs, and does nothing when it is all there.
# 64-bit Wine only: the 32-bit exe is built, checked from its PE file, and its sources tested as 64-bit.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine64
  googletest
  python3 python3-pefile
  llvm
  time  # GNU time: peak memory in the benchmark
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
# No recommends: they would bring wine32 and the i386 architecture's packages, which this kernel cannot run.
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
