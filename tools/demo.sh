#!/usr/bin/env bash
# tools/demo.sh [ARGUMENTS...]
# Builds the shipped 32-bit launcher and runs it once under Wine as a player would: as 启动DemoMod.exe
# beside DemoMod.SkuDef, a stand-in RA3.exe registered as the game; then tells what the stand-in got and how
# the launcher ended. ARGUMENTS go to the launcher. With a display its boxes wait for you; where this
# machine runs no 32-bit code, it runs headless in a VM (tools/wine-vm).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source tools/wine-env
claim_build_folder

tools/setup.sh
configure_build i686
cmake_for i686 --build --preset i686 --target quorvane record_launch

demo=$root/build/demo
prefix=$demo/wineprefix
run=$demo/run  # made anew each time
mod=$run/DemoMod
game="$run/Red Alert 3"
record=$run/record.json

fresh_tools_folder "$run" "tools/demo.sh's run"
mkdir -p "$mod" "$game"
cp build/i686/quorvane.exe "$mod/启动DemoMod.exe"
: >"$mod/DemoMod.SkuDef"
cp build/i686/tests/record_launch.exe "$game/RA3.exe"

# Boxes are shown when there is a display to show them on.
export QUORVANE_KEEP_DISPLAY=1
start=$SECONDS
if [[ -n $(wine_kind) ]]; then
  echo "This machine runs no 32-bit code: the launcher runs in a QEMU VM, with no display. Starting the VM" \
    "takes most of a minute under emulation (docs/development.md), each program in it a few seconds."
  trap 'tools/wine-vm stop "$demo"' EXIT
fi
# What Wine's own programs print is in the Windows code page of the desktop (936); the terminal's is UTF-8.
readable() { "$@" 2>&1 | iconv -f GB18030 -t UTF-8 -c; return "${PIPESTATUS[0]}"; }
echo "Registering the stand-in game in the Wine prefix $prefix (the first run sets the prefix up)..."
readable tools/wine-run "$prefix" reg add 'HKLM\Software\Electronic Arts\Electronic Arts\Red Alert 3' \
  /v 'Install Dir' /t REG_SZ /d "$(windows_path "$game")" /reg:32 /f >/dev/null

echo "Running 启动DemoMod.exe in $mod ..."
exit_code=0
(cd "$mod" && QUORVANE_RECORD=$(windows_path "$record") readable "$root/tools/wine-run" "$prefix" 启动DemoMod.exe "$@") ||
  exit_code=$?

# The launcher does not wait for the game: give the stand-in a moment to write what it got.
((exit_code != 0)) || wait_for 60 test -e "$record" || true

echo
if [[ -e $record ]]; then
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1], encoding="ascii"))
print("The stand-in game (RA3.exe) was started.\n  Command line:      %s\n  Arguments:\n%s  Working directory: %s" % (
    r["commandLine"], "".join("    [%d] \"%s\"\n" % a for a in enumerate(r["arguments"])), r["directory"]))' "$record"
else
  echo "The stand-in game was not started."
fi
echo "The launcher exited with code $exit_code ($((SECONDS - start)) s in Wine)."
exit "$exit_code"
