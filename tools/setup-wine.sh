#!/usr/bin/env bash
# tools/setup-wine.sh [build-root [VERSION]]
# Makes the tests' Wine once per user, Wine version and recipe (tools/wine-env), without root: mmdebstrap
# makes a trixie root with Wine 10 and its 32-bit DLLs, the X11 libraries, a CJK font and the zh_CN.UTF-8
# locale, from this machine's apt sources' archive (or QUORVANE_DEBIAN_MIRROR); the user unpacks it and
# makes in it a Simplified-Chinese prefix to copy, in a VM (tools/wine-vm) where no 32-bit code runs here.
# With build-root: the root that builds the shipped exe, of the Debian release and the compilers that
# VERSION's notes in CHANGELOG.md name (the newest release's by default), with CMake, Ninja and GoogleTest.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
source "$here/wine-env"

kind=$(wine_kind)
what=tools/setup-wine.sh
newest=$(build_root) root=
[[ ${1:-} != build-root ]] || root=$(build_root "${2:-}")
mkdir -p "$quorvane_cache"
open_lock 9 "$quorvane_cache/setup-wine.lock"; flock 9

# A root no run of this checkout uses: of an older recipe, or a build root of other compilers than the newest
# release's (and this run's).
older() { [[ $1 =~ -r([0-9]+)(-vm)?$ ]] && ((BASH_REMATCH[1] < wine_recipe)) ||
  [[ $1 == */build-* && $1 != "$newest" && $1 != "$root" ]]; }
# Under the lock no other set-up is at work: a folder of the set-up's not marked complete was left by an
# interrupted one. An older root goes once no run holds it (wine-run's and the builds' shared lock on it).
for folder in "$quorvane_cache"/*/; do
  folder=${folder%/}
  tools_made "$folder" "$what" || continue
  if [[ ! -e $folder/.quorvane-complete ]]; then
    echo "Removing what an interrupted set-up left: $folder"
  elif ! older "$folder"; then
    continue
  elif exec 6<"$folder/.quorvane-complete" && flock -n -x 6; then
    echo "Removing an older root: $folder ($(du -sh --one-file-system "$folder" | cut -f1) freed)"
  else
    echo "Keeping the older root $folder: a run of another checkout uses it."
    continue
  fi
  rm -rf --one-file-system -- "$folder" || echo "setup-wine: could not remove all of $folder" >&2
done
exec 6<&-
if [[ -n $root ]]; then [[ ! -e $root/.quorvane-complete ]] || exit 0; else [[ -z $(wine_root) ]] || exit 0; fi

# The first Debian release archive (not the security one) of this machine's apt sources, as apt reads
# them (one-line and deb822 alike; a mirror list's first archive).
debian_archive() {
  apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
    while read -r uri release; do
      uri=${uri%/}
      [[ $uri != mirror+file:* ]] || uri=$(grep -m 1 -o -E '^https?://[^[:space:]]+' "${uri#mirror+file:}") || continue
      printf '%s %s\n' "${uri%/}/" "$release"
    done | awk '$1 ~ /^https?:\/\// && $1 !~ /debian-security/ &&
      $2 ~ /^(bullseye|bookworm|trixie|forky|sid|oldstable|stable|testing|unstable)(-updates|-backports)?$/ { print $1; exit }'
}

mirror=${QUORVANE_DEBIAN_MIRROR:-$(debian_archive)}
if [[ -z $mirror ]]; then
  echo "setup-wine: found no Debian archive in this machine's apt sources (/etc/apt/sources.list," \
    "/etc/apt/sources.list.d/); set QUORVANE_DEBIAN_MIRROR to the URL of one." >&2
  exit 1
fi
sandbox_works || exit 1

build=$(make_marked_folder "$quorvane_cache/setup-wine.XXXXXX" "$what")
trap 'remove_tools_folder "$build" "$what"' EXIT
log=$quorvane_cache/setup-wine.log
: >"$log"
# Built on disk, not in Debian 13's /tmp in memory, through apt's proxy, with none of the callers' locks
# open (its own descriptors stay single digits for its hooks' sh).
proxies=$(apt-config dump | grep -i -E '^Acquire::(https?|ftp)::Proxy ' || true)
mode=()
[[ -z $proxies ]] || mode+=(--aptopt="$proxies")
((EUID == 0)) || mode+=(--mode=unshare)
# bootstrap WHAT SUITE PACKAGES [OPTIONS...]: makes a root of SUITE in $build: its tarball, unpacked by the
# user (every file theirs, no set-id bit kept; /dev is the host's own).
bootstrap() {
  step "Making the $2 root ($1)" "$log" detached env TMPDIR=/var/tmp mmdebstrap "${mode[@]}" --variant=minbase \
    --include="$3" "${@:4}" "$2" "$build/root.tar" "deb $mirror $2 main" &&
    step "Unpacking the $2 root" "$log" \
      tar -x -C "$build" -f "$build/root.tar" --exclude='./dev/*' --no-same-owner --no-same-permissions
}
# finish TARGET: the root made, marked complete and put in its place.
finish() { rm "$build/root.tar" && touch "$build/.quorvane-complete" && mv -T "$build" "$1" &&
  echo "Ready: $1 ($(du -sh --one-file-system "$1" | cut -f1))."; }

if [[ -n $root ]]; then
  compilers=$(release_compilers "$(release_notes "${2:-}")")
  suite=${compilers%%$'\n'*} compilers=${compilers#*$'\n'}
  echo "Making the build root of the shipped exe in $root: Debian $suite's packages, with the compilers" \
    "CHANGELOG.md names for ${2:-the newest release} (once per user, about a minute)..."
  bootstrap "the release's compilers; apt names any version the archive no longer has" "$suite" \
    "cmake,ninja-build,googletest,${compilers//$'\n'/,}"
  finish "$root"; exit
fi
echo "Setting up Debian trixie's Wine for the tests in $quorvane_cache from $mirror" \
  "(once per user, about two minutes; five where a VM must make its prefix)..."

# Wine, with the X11 libraries and fonts it only recommends, and libwine:i386's 32-bit Windows DLLs only (no
# i386 Linux code); all stripped of 1.3 GiB of debug information.
wine_dlls=/usr/lib/x86_64-linux-gnu/wine
packages=wine,wine64,libwine,fonts-wine,fonts-wqy-microhei,locales,ca-certificates,libxrender1,libxrandr2,libxi6,libxcursor1
packages+=,libxcomposite1,libxfixes3,libxinerama1
# For the VM: QEMU, a kernel, virtme-ng, busybox, the disk image's tools, and Xvfb for the UI tests.
[[ -z $kind ]] || packages+=,qemu-system-x86,linux-image-amd64,virtme-ng,busybox-static,e2fsprogs,libarchive13t64,xvfb
bootstrap "Wine; stripping its DLLs of their debug information" trixie "$packages" --architectures=amd64,i386 \
  --customize-hook='chroot "$1" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8' \
  --customize-hook="chroot \"\$1\" sh -ec 'cd /tmp && apt-get download -q libwine:i386 &&
    dpkg-deb --fsys-tarfile libwine_*_i386.deb | tar -x ./usr/lib/i386-linux-gnu/wine/i386-windows &&
    cp -a usr/lib/i386-linux-gnu/wine/i386-windows/. $wine_dlls/i386-windows/'" \
  --customize-hook="find \"\$1$wine_dlls/x86_64-windows\" -type f -exec x86_64-w64-mingw32-strip --strip-debug {} +" \
  --customize-hook="find \"\$1$wine_dlls/i386-windows\" -type f -exec i686-w64-mingw32-strip --strip-debug {} +"
version=$(awk '/^Package: wine64$/ { found = 1 } found && /^Version:/ { print $2; exit }' "$build/var/lib/dpkg/status")

if [[ -z $kind ]]; then
  step "Making the Wine prefix to copy" "$log" make_prefix "$build" "$build/prefix"
else
  # The prefix is made in a VM, on the disk image later VMs read, then copied out for the 64-bit runs here.
  size=$(($(stat -c %s "$build/root.tar") / 1048576 + 1024))
  step "Making the disk image of the Wine root (mke2fs)" "$log" \
    in_wine_root "$build" /usr/sbin/mke2fs -q -t ext4 -L quorvane-wine -d "$build/root.tar" "$build/wine.img" "${size}M"
  # Two such VMs at once starve each other (Wine's first start in each fails): set-ups of every user take
  # turns, through a lock file in /tmp that anyone may open.
  turn=/tmp/quorvane-setup-vm.lock
  [[ -L $turn ]] || (umask 0 && : >>"$turn") 2>/dev/null || true
  [[ ! -L $turn ]] && exec 6<"$turn" || { echo "setup-wine: $turn is a link or unreadable; remove it." >&2; exit 1; }
  flock -n 6 || { echo "Another set-up on this machine is making its Wine prefix in a VM; waiting for it" \
    "(two at once starve each other)..."; flock 6; }
  step "Making the Wine prefix to copy, in a VM under emulation (a few minutes)" "$log" \
    "$here/wine-vm" make-prefix "$build"
  exec 6<&-
  step "Copying the prefix out of the disk image (debugfs)" "$log" \
    in_wine_root "$build" /usr/sbin/debugfs -R "rdump /prefix $build" "$build/wine.img"
fi
finish "$quorvane_cache/wine-$version-r$wine_recipe$kind"
