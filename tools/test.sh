#!/usr/bin/env bash
# tools/test.sh [CTEST ARGUMENTS...]
# Installs what is missing, builds both targets and runs every test under Wine 10 on a Simplified-
# Chinese desktop: for the shipped 32-bit exe (i686, in Wine's WoW64 mode) its unit tests, its
# end-to-end runs, its UI runs on a display of their own and its PE checks; then the same unit and
# end-to-end tests for the 64-bit build of the same sources. Where this machine runs no 32-bit code,
# the 32-bit exe's Wine runs in a VM under emulation (tools/wine-vm), which runs its unit tests and the
# end-to-end groups that only it can show; the rest is reported as not run. Ends with CTest's summary of
# each, what ran natively and under emulation, and the Wine they ran under; fails when either has a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
for preset in i686 x86_64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done
source tools/wine-env
kind=$(wine_kind)
trap '[[ -z $kind ]] || tools/wine-vm stop build/i686' EXIT
status=0
mkdir -p build
for preset in i686 x86_64; do
  echo "== Tests of the $preset build"
  ctest --preset $preset -j "$(nproc)" "$@" | tee "build/$preset-tests.log" || status=1
done

# What passed, ran natively or under emulation, and what did not run.
outcomes() {
  sed -n -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*(Passed|Skipped).*/\2 \1/p' "build/$1-tests.log"
}
native=$(ctest --preset i686 -N -L native | sed -n -E 's/^ *Test +#[0-9]+: //p')
if [[ -z $kind ]]; then
  echo "== 32-bit code: this machine runs 32-bit code; every test ran natively"
else
  echo "== 32-bit code: 32-bit code runs under emulation (a QEMU VM); the 64-bit build's tests ran natively"
fi
for preset in i686 x86_64; do
  passed=$(outcomes $preset | grep -c '^Passed' || true)
  skipped=$(outcomes $preset | grep -c '^Skipped' || true)
  if [[ $preset == i686 && -n $kind ]]; then
    here=$(outcomes $preset | grep '^Passed' | cut -d' ' -f2 | grep -c -x -F "$native" || true)
    echo "   $preset: $here passed natively, $((passed - here)) passed under emulation, $skipped not run"
  else
    echo "   $preset: $passed passed natively, $skipped not run"
  fi
done

# Debian's archive keeps only trixie's current Wine, so the set-up takes whatever that is; the README
# states the version the tests were last checked with.
wine=$(wine_version_of "$(wine_root)")
documented=$(sed -n "s/.*Debian trixie's Wine 10 (\`\([^\`]*\)\`).*/\1/p" README.md | head -n 1)
echo "== Wine: $wine (Debian trixie's), in WoW64 mode for the 32-bit build"
if [[ $wine != "$documented" ]]; then
  echo "warning: the README states Wine $documented; these tests ran under $wine." >&2
fi
exit $status
