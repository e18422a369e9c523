#!/usr/bin/env bash
# The tools' own tests, run by tools/test.sh after both builds' tests: what the tools promise about the
# shared Wine root, the folders they may delete, the runs of one clone, and the exe they ship.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env
root=$(wine_root)
work=$(make_marked_folder "${TMPDIR:-/tmp}/quorvane-tools.XXXXXX" "tests/tools.sh")
link=
trap 'WINEPREFIX=$work/prefix in_wine_root "$root" "$wine_server" -k 2>/dev/null || true; [[ -z $link ]] || kill $link
  remove_tools_folder "$work" tests/tools.sh' EXIT
failures=0
# check WHAT COMMAND...: runs COMMAND, its output kept in $work/out, and reports it.
check() {
  if "${@:2}" >"$work/out" 2>&1; then echo "   ok: $1"; else echo "   FAILED: $1" && tail -n 5 "$work/out" && failures=$((failures + 1)); fi
}
fails() { ! "$@"; }
marked() { mkdir -p "$1" && printf '%s\n' "$2" >"$1/$tools_marker" && touch "$1/.quorvane-complete"; }

# Every relative link and picture path in the documents leads to a file (anchors are not followed).
links_resolve() {
  local doc target broken=0
  for doc in *.md docs/*.md; do
    while read -r target; do
      target=${target%%#*}
      [[ -z $target || $target == *:* || -e $(dirname "$doc")/$target ]] ||
        { echo "$doc: $target is missing"; broken=1; }
    done < <(grep -oP '\]\(\K[^)\s]+|<img [^>]*src="\K[^"]+' "$doc")
  done
  return "$broken"
}
check "every relative link and picture in the documents (*.md, docs/) leads to a file" links_resolve

# The exe that the tests run is, byte for byte, the one that tools/release.sh ships, with the licence beside it
# (Windows line ends); both are built in the build root, whose compilers are the newest release's.
shipped_is_tested() {
  tools/release.sh && cmp build/i686/quorvane.exe dist/Quorvane.exe && [[ $(tr -d '\r' <dist/Quorvane-LICENSE.txt) == "$(<LICENSE)" ]] &&
    ! grep -q -v $'\r$' dist/Quorvane-LICENSE.txt
}
check "the tested exe (build/i686) is the one in dist/, beside the licence" shipped_is_tested
notes=$(release_notes) && compilers=$(release_compilers "$notes" | tail -n +2)
built_with() { [[ $(dpkg-query --admindir="$(build_root)/var/lib/dpkg" -W -f='${Package}=${Version}\n' $(cut -d= -f1 <<<"$compilers") | sort) == "$compilers" ]]; }
check "the build root's compilers are those CHANGELOG.md names for the newest release" built_with

# release.sh --check builds the newest release's commit to its published SHA-256, and calls one digit off a MISMATCH.
version=$(sed -n -E '1s/^## \[([^]]+)\].*/\1/p' <<<"$notes") published=$(grep -oP 'SHA-256: `\K[0-9a-f]{64}' <<<"$notes")
sed "s/$published/$(tr 0-9a-f 1-9a-f0 <<<"${published:0:1}")${published:1}/" CHANGELOG.md >"$work/CHANGELOG.md"
release_checked() {
  tools/release.sh --check "$version" && ! QUORVANE_CHANGELOG=$work/CHANGELOG.md tools/release.sh --check "$version" 2>"$work/off" &&
    grep MISMATCH "$work/off"
}
if git cat-file -e "$(grep -oP 'commit `\K[0-9a-f]{40}' <<<"$notes")^{commit}" 2>/dev/null; then
  check "release.sh --check $version matches, and one digit off does not" release_checked
else
  echo "   skipped: release.sh --check $version (this clone lacks the release's commit)"
fi

# The time limits follow each run's kind of machine: a folder configured natively gets those of emulation.
limit() { QUORVANE_32BIT=$1 configure_build i686 && ctest --preset i686 --show-only=json-v1 |
  python3 -c 'import json, sys; print(*(int(p["value"]) for t in json.load(sys.stdin)["tests"] if t["name"] == "e2e.start"
    for p in t["properties"] if p["name"] == "TIMEOUT"))'; }
limits() { [[ $(limit native) == 300 && $(limit emulated) == 3000 ]]; }
check "a build folder configured natively gets the time limits of emulation when a run emulates" limits
configure_build i686

# A run that writes in the profile and over a system DLL; the root's prefix has no newer file after it.
touch "$work/before"
tools/wine-run --64-bit "$work/prefix" cmd.exe /c 'mkdir %USERPROFILE%\Desktop\x & echo x>C:\windows\system32\kernel32.dll' \
  >/dev/null 2>&1 || true
untouched() { [[ -d $work/prefix/drive_c/users/$(id -un)/Desktop/x && -z $(find "$root" -newer "$work/before") ]]; }
check "a run changes nothing of the root's, though it writes in the profile and over a system DLL" untouched
held() {  # a shared lock on the root, and the prefix's server holds it
  ! flock -n -x "$root/.quorvane-complete" true && grep -q -x -z "WINEPREFIX=$work/prefix" \
    $(find /proc/[0-9]*/fd -lname "$(realpath "$root")/.quorvane-complete" -printf '%h/../environ\n' 2>/dev/null) </dev/null
}
check "wine-run's server holds the root it runs from" held
mkdir -p "$work/copy/drive_c" && touch "$work/copy/.quorvane-ready" && ln -s "$work/target" "$work/link.lock"
refused() { ! tools/wine-run --64-bit "$work/$1" cmd.exe /c exit && [[ ! -e $work/copy/drive_c/windows && ! -e $work/target ]]; }
check "wine-run refuses a prefix that it did not make" refused copy
check "wine-run refuses a lock that is a link" refused link

# The VM's link, its server run here with a maker that makes nothing: a stranger is refused before its
# request is read, a request is capped, the cap on connections at once is no cap on connections in all, all
# that a killed caller's program started ends, and a program's own exit status is told from the link's failure (125).
vm=$work/vm/.quorvane-vm && mkdir -p "$vm" && exec 6>"$vm/live" && flock 6
printf '%032d' 7 >"$vm/token"
python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' >"$vm/port"
python3 tools/wine-vm-link serve "$vm" 127.0.0.1 "$(<"$vm/port")" true & link=$!
wait_for 30 test -e "$vm/ready"
call() { python3 tools/wine-vm-link call "$vm" "$work/vm" "$@"; }
# stranger KEY SIZE [TIMES]: the answers, a line each, to TIMES requests (1) to start a program, sent with KEY
# and said to be SIZE bytes long; up to 1 MiB a request is sent padded to SIZE, past that only announced.
stranger() {
  python3 -c 'import json, socket, struct, sys
port, key, size, times, started = sys.argv[1:]
request = json.dumps({"prefix": "/", "cwd": "/", "env": {}, "argv": ["touch", started]}).encode()
size = int(size) or len(request)
for _ in range(int(times)):
    sock = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
    sock.sendall(bytes(16)), sock.recv(32)
    sock.sendall(key.encode() + struct.pack("<I", size) + request.ljust(size if size <= 1 << 20 else 0))
    print(sock.recv(200)[5:].decode())' "$(<"$vm/port")" "$1" "$2" "${3:-1}" "$work/started"
}
refused() { [[ $(stranger "$(tr 0-9a-f 1-9a-f0 <"$vm/token")" 0) == *"refused the caller's key" && ! -e $work/started ]]; }
check "the VM's link refuses a wrong key and starts nothing" refused
capped() {
  [[ $(stranger "$(<"$vm/token")" 2147483647) == *"refused a request of 2147483647 bytes"* ]] &&
    (($(awk '/^VmHWM/ {print $2}' "/proc/$link/status") < 100000)) &&
    [[ $(stranger "$(<"$vm/token")" 1048577) == *"refused a request of 1048577 bytes"* && ! -e $work/started ]] &&
    [[ $(stranger "$(<"$vm/token")" 1000000) == 0 && -e $work/started ]]
}
check "the VM's link refuses a request of 2 GiB without taking the memory, and of 1 MiB and a byte; runs one of 1,000,000" capped
served() { [[ $(stranger "$(<"$vm/token")" 0 33 | grep -cx 0) == 33 ]]; }
check "the VM's link runs 33 requests one after another, more than the 32 it serves at once" served
gone() { local pid; for pid; do [[ $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) =~ ^Z?$ ]] || return 1; done; }
all_ended() {  # PROGRAM: what the caller's program does once it has started a child
  rm -f "$work/program"
  python3 tools/wine-vm-link call "$vm" "$work/vm" sh -c 'setsid sleep 600 & echo $! >"$1.grandchild"; echo $$ >"$1"
    '"$1" sh "$work/program" >/dev/null & local caller=$!
  wait_for 30 test -s "$work/program" || return
  kill -STOP $caller && sleep 1 && kill -9 $caller  # the program's output fills what the caller no longer reads
  wait_for 5 gone "$(<"$work/program")" "$(<"$work/program.grandchild")"
}
check "a program of the VM's link and its child end when the caller is killed" all_ended 'while :; do echo output; done'
check "a program of the VM's link that writes nothing and its child end when the caller is killed" all_ended 'sleep 600'
statuses() {
  local own=0 ended=0 failed=0
  call sh -c 'exit 2' || own=$?
  call sh -c 'echo $$ >"$1"; exec sleep 600' sh "$work/waiting" 2>"$work/said" & local caller=$!
  wait_for 30 test -s "$work/waiting" || return
  kill $link && wait $link; link=
  wait $caller || ended=$?
  kill "$(<"$work/waiting")"
  call true || failed=$?
  cat "$work/said" && ((own == 2 && ended == 125 && failed == 125)) && [[ $(wc -l <"$work/said") == 1 &&
    $(<"$work/said") == "wine-vm: the VM ended before the program did ("*")"* ]]
}
check "a program's own exit status 2 is told from a VM that ends during it or before a call (125, one line)" statuses
alive() { tools/wine-vm alive "$work/vm"; }
liveness() { [[ -e $vm/ready ]] && alive && exec 6>&- && fails alive; }
check "a session counts as alive while its lock is held, and not once it is free though \"ready\" is left" liveness

# The set-up removes only what it made, and an older root only once no run holds it.
cache=$work/cache
marked "$cache/wine-1-r1" tools/setup-wine.sh
marked "$cache/wine-1-r$wine_recipe$(wine_kind)" tools/setup-wine.sh
marked "$cache/wine-0-r2" someone
set_up() { QUORVANE_CACHE=$cache tools/setup-wine.sh && [ -e "$cache/wine-0-r2" ] && [ "$@" "$cache/wine-1-r1" ]; }
exec 6<"$cache/wine-1-r1/.quorvane-complete" && flock -s 6
check "the set-up keeps an older root that a run holds" set_up -e
exec 6<&-
check "the set-up removes an older root that no run holds, and nothing that it did not make" set_up ! -e

# A filter that selects tests of one build passes, and one that selects none fails. One run per clone.
check "a filter that selects tests of the 32-bit build only" tools/test.sh -L native
check "a filter that selects nothing" fails tools/test.sh -R '^no such test$'
exec 7<build && flock 7
check "a second run in one clone stops" fails tools/test.sh -L native
exec 7<&-
((failures == 0))
