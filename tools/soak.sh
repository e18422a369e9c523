#!/usr/bin/env bash
# The long robustness run, on the shipped 32-bit build (in the VM where this machine runs no 32-bit code):
# the generated quoting round trip (through the real CommandLineToArgvW) and the launcher identity's
# file-name fuzz, each with QUORVANE_SOAK_ROUNDS rounds (default 1000000).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env
claim_build_folder

tools/setup.sh
configure_build i686
cmake_for i686 --build --preset i686
export QUORVANE_SOAK_ROUNDS=${QUORVANE_SOAK_ROUNDS:-1000000}
echo "Soak: $QUORVANE_SOAK_ROUNDS rounds each"
tools/wine-run "$PWD/build/i686/wineprefix" build/i686/tests/quorvane_tests.exe \
  --gtest_filter='CommandLineTest.RandomArgumentListsRoundTripThroughTheSystemSplit:LauncherIdentityTest.RandomFileNamesGiveAPieceOfTheName'
