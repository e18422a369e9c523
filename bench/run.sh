#!/usr/bin/env bash
# Benchmarks the shipped 32-bit exe under Wine (in its WoW64 mode) against 32-bit floors built the same
# way; prints markdown tables with the targets' verdicts, also written to build/bench/results.md (and
# every run's numbers to build/bench/results.json). Not part of the tests.
#   bench/run.sh [--runs N] [--warmup N]
# Builds in build/bench/ only and uses its own Wine prefix there.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -n $(source tools/wine-env && wine_kind) ]]; then
  echo "bench: this machine runs no 32-bit code, and under emulation a Wine start takes fifty times as long," \
    "so no time measured there is a player's; run bench/run.sh on a machine that runs 32-bit code." >&2
  exit 1
fi
tools/setup.sh
out=build/bench

# The exe that ships, from the release preset.
cmake --preset release -B $out/release >/dev/null
cmake --build $out/release --target quorvane
# The bench's own programs (floors and stand-in games), with the same 32-bit toolchain.
cmake -S bench -B $out/programs-i686 -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  --toolchain "$PWD/cmake/toolchains/i686-w64-mingw32.cmake" >/dev/null
cmake --build $out/programs-i686

wine_version=$(source tools/wine-env && in_wine_root "$(wine_root)" "$wine_loader" --version)

# Debian's Python, which sees python3-pefile.
programs=$out/programs-i686
/usr/bin/python3 bench/bench.py \
  --wine-run tools/wine-run --prefix $out/wineprefix --wine-version "$wine_version" \
  --launcher $out/release/quorvane.exe --floor $programs/floor.exe --floor-com $programs/floor_com.exe \
  --standin $programs/standin.exe --record-launch $programs/record_launch.exe \
  --output $out/results.md "$@"
