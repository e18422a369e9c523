#!/usr/bin/env bash
# tools/test.sh [CTEST ARGUMENTS...]
# Installs what is missing, builds both targets and runs every test under Wine 10 on a Simplified-
# Chinese desktop: for the shipped 32-bit exe (i686, in Wine's WoW64 mode) its unit tests, its
# end-to-end runs, its UI runs on a display of their own and its PE checks; then the same unit and
# end-to-end tests for the 64-bit build of the same sources. Ends with CTest's summary of each and
# the Wine they ran under; fails when either has a failure.
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

# Debian's archive keeps only trixie's current Wine, so the set-up takes whatever that is; the README
# states the version the tests were last checked with.
wine=$(source tools/wine-env && wine_version_of "$(wine_root)")
documented=$(sed -n "s/.*Debian trixie's Wine 10 (\`\([^\`]*\)\`).*/\1/p" README.md | head -n 1)
echo "== Wine: $wine (Debian trixie's), in WoW64 mode for the 32-bit build"
if [[ $wine != "$documented" ]]; then
  echo "warning: the README states Wine $documented; these tests ran under $wine." >&2
fi
exit $status
