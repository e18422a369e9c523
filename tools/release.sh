#!/usr/bin/env bash
# Builds the shipped 32-bit launcher and puts it into dist/Quorvane.exe. A mod author renames it
# 启动<Mod>.exe (or 启动<Mod>(Steam版).exe for the Steam edition) and puts it beside <Mod>.SkuDef.
# The build is reproducible: the same commit gives the same bytes, so the SHA-256 printed here can be
# compared with that of a published exe.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh release
cmake --preset release >/dev/null
cmake --build --preset release

mkdir -p dist
cp build/release/quorvane.exe dist/Quorvane.exe
echo "dist/Quorvane.exe: $(stat -c %s dist/Quorvane.exe) bytes"
echo "SHA-256: $(sha256sum dist/Quorvane.exe | cut -d' ' -f1)"
