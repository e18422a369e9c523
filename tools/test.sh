#!/usr/bin/env bash
# tools/test.sh [CTEST ARGUMENTS...]
# Installs what is missing, builds both targets and runs every test under Wine 10 on a Simplified-Chinese
# desktop: the shipped 32-bit exe's (in a VM where this machine runs no 32-bit code), then the 64-bit
# build's; says what ran natively and in the VM, and under which Wine. CTEST ARGUMENTS (a filter) go to both
# builds: it fails when they select nothing in either. Without them, the tools' own tests run too.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env
claim_build_folder

tools/setup.sh
kind=$(wine_kind) booting=
trap '[[ -z $kind ]] || { wait $booting || true; tools/wine-vm stop build/i686; }' EXIT
# A whole run under emulation boots the 32-bit tests' VM while both builds compile.
[[ -z $kind || $# -gt 0 ]] ||
  { mkdir -p build/i686 && tools/wine-run --command build/i686/wineprefix true & booting=$!; }
for preset in i686 x86_64; do
  configure_build $preset
  cmake_for $preset --build --preset $preset
done
status=0 found=0
for preset in i686 x86_64; do
  echo "== Tests of the $preset build"
  if ctest --preset $preset -j "$(nproc)" "$@" 2>&1 | tee "build/$preset-tests.log"; then
    found=$((found + 1))
  elif ! grep -q '^No tests were found' "build/$preset-tests.log"; then
    status=1 found=$((found + 1))
  fi
  [[ $preset != i686 || -z $kind ]] || tools/wine-vm stop build/i686  # idle, it would slow the next run
done
((found > 0)) || { echo "test: no test of either build matches: $*" >&2; exit 1; }

# What passed natively or in the VM (every i686 test there but those labelled native), and what did not run.
outcomes() { sed -n -E "s/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*($1).*/\1/p" "build/$2-tests.log"; }
native=$(ctest --preset i686 -N -L native | sed -n -E 's/^ *Test +#[0-9]+: //p')
where=("this machine runs it; every test ran natively" "it runs under emulation (a QEMU VM); the 64-bit build's tests ran natively")
echo "== 32-bit code: ${where[${#kind} > 0]}"
for preset in i686 x86_64; do
  emulated=0
  [[ $preset == x86_64 || -z $kind ]] || emulated=$(outcomes Passed $preset | grep -c -v -x -F "$native" || true)
  echo "   $preset: $(($(outcomes Passed $preset | wc -l) - emulated)) passed natively, $emulated under emulation," \
    "$(outcomes Skipped $preset | wc -l) not run"
done

# The set-up takes trixie's current Wine, the only one Debian keeps; the README names the one last tested.
wine=$(wine_root | sed -E 's/.*\/wine-(.*)-r[0-9]+(-vm)?$/\1/')
documented=$(sed -n "s/.*Debian trixie's Wine 10 (\`\([^\`]*\)\`).*/\1/p" README.md | head -n 1)
echo "== Wine: $wine (Debian trixie's), in WoW64 mode for the 32-bit build"
[[ $wine == "$documented" ]] || echo "warning: the README states Wine $documented; these tests ran under $wine." >&2
if (($# == 0)); then
  echo "== Tests of the tools"
  exec 7<&-  # they run this script again
  tests/tools.sh || status=1
fi
exit $status
