#!/usr/bin/env bash
# tools/test.sh [CTEST ARGUMENTS...]
# Installs what is missing, builds both targets and runs every test under Wine 10: for the shipped
# 32-bit exe (i686, in Wine's WoW64 mode) its unit tests, its end-to-end runs and its PE checks; then
# the same unit and end-to-end tests for the 64-bit build of the same sources. Ends with CTest's
# summary of each; fails when either has a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
for preset in i686 x86_64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done
status=0
for preset in i686 x86_64; do
  echo "== Tests of the $preset build"
  ctest --preset $preset "$@" || status=1
done
exit $status
