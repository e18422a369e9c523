#!/usr/bin/env bash
# tools/screens.sh
# Pictures of every box the shipped 32-bit exe shows a player, and of its file dialog, on the tests'
# Simplified-Chinese desktop, as PNGs in docs/screens/; made again when a text the player sees or the tests'
# Wine changes: tools/screens.sh && git add docs/screens. On Xvfb, in a prefix of its own (in the VM where
# needed), the UI tests' player helper saves and clicks each window. Not pictured: the last-resort box
# ("Mod 启动器") of an empty command line, which Wine never gives a program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source tools/wine-env
prefix=$root/build/screens/wineprefix
work=$root/build/screens/run  # made anew each time
shots=$work/shots

if [[ ${1:-} != --draw ]]; then
  claim_build_folder
  tools/setup.sh
  configure_build i686
  cmake_for i686 --build --preset i686 --target quorvane record_launch hold_mutex player
  trap 'tools/wine-vm stop build/screens' EXIT  # where there is a VM
  tools/wine-run --command "$prefix" "$root/tools/screens.sh" --draw
  # Only now, and only the pictures made here, replace those of the same name.
  mkdir -p docs/screens
  for picture in "$shots"/*.png; do
    mv "$picture" docs/screens/ && echo "  docs/screens/${picture##*/}"
  done
  exit
fi
[[ -z ${QUORVANE_IN_VM:-} ]] || export QUORVANE_TIME_SCALE=10  # the player waits longer under emulation
# Wine's own messages go to a log, also those of its desktop process, which outlives the display.
wine_run() { "$root/tools/wine-run" "$prefix" "$@" 2>>"$work/wine.log"; }

fresh_tools_folder "$work" "tools/screens.sh's run"
mkdir -p "$work/game" "$shots"
cp build/i686/tests/record_launch.exe "$work/game/RA3.exe"

# A display of its own, on a free number, that ends with this script however it ends.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 & xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
wait_for 30 test -s "$work/display" || { echo "screens: Xvfb did not start" >&2; exit 1; }
display=$(<"$work/display")
export DISPLAY=:$display QUORVANE_KEEP_DISPLAY=1
export QUORVANE_RECORD=$(windows_path "$work/record.json")  # the stand-in game writes what it got there

game_key='HKLM\Software\Electronic Arts\Electronic Arts\Red Alert 3'
register_game() {
  step "Registering the stand-in game in $prefix" "$work/wine.log" \
    wine_run reg add "$game_key" /v 'Install Dir' /t REG_SZ /d "$(windows_path "$work/game")" /reg:32 /f
}
unregister_game() { wine_run reg delete "$game_key" /reg:32 /f >/dev/null 2>&1 || true; }

# play LAUNCHER SKUDEF(yes|no) STEPS...: runs the launcher so named in a fresh mod folder while the player
# takes STEPS ("shot NAME" saves the next window as $shots/NAME.png).
runs=0
play() {
  local launcher=$1 skudef=$2 steps=() player
  shift 2
  while (($#)); do
    if [[ $1 == shot ]]; then steps+=(shot "$(windows_path "$shots/$2.png")"); shift 2; else steps+=("$1"); shift; fi
  done
  local folder=$work/mods/$((++runs))/MyMod
  mkdir -p "$folder"
  [[ $skudef == yes ]] && : >"$folder/MyMod.SkuDef"
  cp build/i686/quorvane.exe "$folder/$launcher"
  wine_run build/i686/tests/player.exe "${steps[@]}" >"$work/player.log" & player=$!
  (cd "$folder" && wine_run "$launcher") || true
  wait "$player" || { echo "screens: the player did not get through ${steps[*]}: $(<"$work/player.log")" >&2; exit 1; }
}

echo "Rendering on display :$display in $prefix ..."
register_game
# The game runs: the launcher says so, then starts it all the same.
ready=$work/mutex-ready
wine_run build/i686/tests/hold_mutex.exe W 41DAF790-16F5-4881-8754-59FD8CF3B8D2 "$(windows_path "$ready")" & holder=$!
wait_for 30 test -e "$ready" || true
play 启动MyMod.exe yes shot notice-game-running box
rm -f "$ready"
wait "$holder"
play 启动MyMod.exe no shot warning-skudef-missing box

unregister_game
# RA3.exe typed in a folder that does not hold it: the dialog's own complaint; then Cancel.
play 启动MyMod.exe yes shot notice-game-not-found box shot dialog-choose-game pick 'C:\RA3.exe' \
  shot dialog-file-not-found box cancel
# The Steam edition without a Steam client in the registry: the generic error box.
play '启动MyMod(Steam版).exe' yes shot error-steam-not-found box
