#!/usr/bin/env bash
# Benchmarks the launcher under 64-bit Wine and measures the shipped 32-bit exe; prints a markdown
# table with the targets' verdicts (also written to build/bench/results.md). Not part of the tests.
#   bench/run.sh [--runs N] [--warmup N] [--seed N]
# Builds in build/bench/ only and uses its own Wine prefix there.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
out=build/bench

# The launcher as the tests run it (x86_64), and the exe that ships (i686), from their presets.
cmake --preset x86_64 -B $out/x86_64 -DQUORVANE_TESTS=OFF >/dev/null
cmake --build $out/x86_64 --target quorvane
cmake --preset i686 -B $out/i686 >/dev/null
cmake --build $out/i686
# The bench's own programs, with the same 64-bit toolchain.
cmake -S bench -B $out/programs -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  --toolchain "$PWD/cmake/toolchains/x86_64-w64-mingw32.cmake" >/dev/null
cmake --build $out/programs

python3 bench/bench.py \
  --wine-run tools/wine-run --prefix $out/wineprefix \
  --launcher $out/x86_64/quorvane.exe --floor $out/programs/floor.exe --floor-com $out/programs/floor_com.exe \
  --standin $out/programs/standin.exe --record-launch $out/programs/record_launch.exe \
  --shipped $out/i686/quorvane.exe --output $out/results.md "$@"
