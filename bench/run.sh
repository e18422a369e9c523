#!/usr/bin/env bash
# Benchmarks the launcher under Wine against floors built the same way; prints markdown tables with the
# targets' verdicts, also written to build/bench/results-BUILD.md (and every run's numbers to
# build/bench/results-BUILD.json). Not part of the tests.
#   bench/run.sh [--build i686|x86_64] [--runs N] [--warmup N]
# i686, the shipped exe in Wine's WoW64 mode, is the default where this machine runs 32-bit code; where
# it runs none, x86_64, the same sources built for 64-bit Windows and run natively by 64-bit Wine: a time
# measured under emulation is nobody's. The size target is always the shipped i686 exe's.
# Builds in build/bench/ only and uses its own Wine prefix there.
set -euo pipefail
cd "$(dirname "$0")/.."

native32=yes build=default args=()
[[ -z $(source tools/wine-env && wine_kind) ]] || native32=
while (($#)); do
  if [[ $1 == --build ]]; then build=${2:-}; shift $(($# > 1 ? 2 : 1)); else args+=("$1"); shift; fi
done
[[ $build != default ]] || build=$([[ -n $native32 ]] && echo i686 || echo x86_64)
case $build in
  i686) label="i686 shipped exe, run natively in Wine's WoW64 mode" ;;
  x86_64) label="x86_64 build of the same sources, run natively under 64-bit Wine" ;;
  *) echo "bench: --build takes i686 or x86_64" >&2; exit 2 ;;
esac
if [[ $build == i686 && -z $native32 ]]; then
  echo "bench: this machine runs no 32-bit code, and under emulation a Wine start takes over ten times as long," \
    "so no time measured there is a player's; --build x86_64 (the default here) measures the same sources." >&2
  exit 1
fi
tools/setup.sh
out=build/bench

# The exe that ships, from the release preset in the build root: measured for size everywhere.
(source tools/wine-env && cmake_for release --preset release -B $out/release >/dev/null &&
  cmake_for release --build $out/release --target quorvane)
launcher=$out/release/quorvane.exe
if [[ $build == x86_64 ]]; then  # the same sources and release settings, for 64-bit Windows
  cmake --preset x86_64 -B $out/release-x86_64 -DQUORVANE_TESTS=OFF >/dev/null
  cmake --build $out/release-x86_64 --target quorvane
  launcher=$out/release-x86_64/quorvane.exe
fi
# The bench's own programs (floors and stand-in games), with the measured build's toolchain.
programs=$out/programs-$build
cmake -S bench -B $programs -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  --toolchain "$PWD/cmake/toolchains/$build-w64-mingw32.cmake" >/dev/null
cmake --build $programs

wine_version=$(source tools/wine-env && in_wine_root "$(wine_root)" "$wine_loader" --version)

# Debian's Python, which sees python3-pefile.
/usr/bin/python3 bench/bench.py --build "$build" --label "$label" \
  --wine-run tools/wine-run --prefix $out/wineprefix-$build --wine-version "$wine_version" \
  --launcher $launcher --shipped $out/release/quorvane.exe --floor $programs/floor.exe \
  --floor-com $programs/floor_com.exe --standin $programs/standin.exe --record-launch $programs/record_launch.exe \
  --output $out/results-$build.md "${args[@]}"
