#!/usr/bin/env bash
# Builds the shipped 32-bit launcher and puts it into dist/Quorvane.exe. A mod author renames it
# 启动<Mod>.exe (or 启动<Mod>(Steam版).exe for the Steam edition) and puts it beside <Mod>.SkuDef.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset i686 >/dev/null
cmake --build --preset i686 --target quorvane

mkdir -p dist
cp build/i686/quorvane.exe dist/Quorvane.exe
echo "dist/Quorvane.exe: $(stat -c %s dist/Quorvane.exe) bytes"
