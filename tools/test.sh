#!/usr/bin/env bash
# Builds both targets and runs every test: the unit tests and the launcher's end-to-end runs under
# 64-bit Wine, and the checks of the shipped 32-bit exe. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset i686 >/dev/null
cmake --build --preset i686
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64
ctest --preset x86_64 "$@"
