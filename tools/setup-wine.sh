#!/usr/bin/env bash
# Makes the Wine that the tests run under, once per machine and Wine version, from Debian's packages
# only: a minimal Debian trixie root (debootstrap) holding trixie's Wine 10 with the 32-bit Windows
# DLLs added, so that it runs the shipped 32-bit exe in WoW64 mode, and a fresh Wine prefix to copy.
# Does nothing when a complete one is in the cache. Runs as root (through sudo otherwise); needs debootstrap and
# the mingw-w64 binutils; touches neither the system's apt configuration nor its mounts.
# About a minute and 270 MB of downloads; about 0.6 GiB in the cache, and 0.5 GiB for the prefix.
set -euo pipefail
source "$(dirname "$0")/wine-env"

[[ -n $(wine_root) ]] && exit 0
# debootstrap and chroot need root. The result is readable to all; tools/wine-run itself needs no root.
if ((EUID != 0)); then
  exec sudo QUORVANE_CACHE="$quorvane_cache" "$0" "$@"
fi

mkdir -p "$quorvane_cache"
exec 9>"$quorvane_cache/setup.lock"
flock 9
[[ -n $(wine_root) ]] && exit 0

mirror=${QUORVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
build=$quorvane_cache/.build-$$
trap 'rm -rf --one-file-system "$build"' EXIT
echo "Setting up Debian trixie's Wine for the tests in $quorvane_cache (once per machine, about a minute)..."

# What Wine's Unix side loads, and the fonts it draws with; Wine's own packages are unpacked below
# rather than installed, which leaves out their long list of optional libraries. debootstrap mounts
# /proc and /sys inside the root while it works: in a namespace of its own they cannot outlive it.
unshare --mount --propagation private debootstrap --variant=minbase \
  --include=libunwind8,libz-mingw-w64,libfreetype6,libfontconfig1,fonts-wine \
  trixie "$build" "$mirror" >"$quorvane_cache/debootstrap.log" 2>&1 ||
  { tail -n 20 "$quorvane_cache/debootstrap.log" >&2; exit 1; }

# Wine's four packages, fetched (and checked) by the root's own apt. i386 is added to the root's dpkg
# only, for the 32-bit Windows DLLs of libwine:i386; no i386 Linux code is ever installed.
unshare --mount --propagation private /bin/bash -c '
  mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" &&
  exec chroot "$0" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
    mkdir -p /tmp/debs && cd /tmp/debs && chown _apt . && apt-get download -qq wine wine64 libwine libwine:i386"
' "$build"

debs=$build/tmp/debs
for deb in "$debs"/wine_*.deb "$debs"/wine64_*.deb "$debs"/libwine_*_amd64.deb; do
  dpkg-deb -x "$deb" "$build"
done
wine_dlls=$build/usr/lib/x86_64-linux-gnu/wine
i386=$build/tmp/i386
dpkg-deb -x "$debs"/libwine_*_i386.deb "$i386"
cp -a "$i386/usr/lib/i386-linux-gnu/wine/i386-windows" "$wine_dlls/"
# libwine's own set-up step: makes zlib1.dll (which user32 needs) for both architectures.
dpkg-deb --ctrl-tarfile "$debs"/libwine_*_amd64.deb | tar -xO ./postinst >"$build/tmp/libwine.postinst"
chroot "$build" /bin/sh /tmp/libwine.postinst configure
version=$(dpkg-deb -f "$debs"/wine64_*.deb Version)

# Debian ships the Windows DLLs with their debug information: 1.3 GiB that no test reads.
find "$wine_dlls/x86_64-windows" -type f -print0 | xargs -0 -n 64 x86_64-w64-mingw32-strip --strip-debug 2>/dev/null || true
find "$wine_dlls/i386-windows" -type f -print0 | xargs -0 -n 64 i686-w64-mingw32-strip --strip-debug 2>/dev/null || true
rm -rf "$debs" "$i386" "$build"/var/lib/apt/lists/* "$build"/var/cache/apt/*.bin

# The prefix that each build's own prefix starts as a copy of: making one takes Wine seconds.
(
  use_wine_prefix "$build/prefix"
  in_wine_root "$build" "$wine_loader" wineboot --init >/dev/null 2>&1 </dev/null
  in_wine_root "$build" "$wine_server" --wait
)
[[ -e $build/prefix/system.reg ]] || { echo "setup-wine: Wine could not make a prefix" >&2; exit 1; }
# The server's own lock file is no part of a prefix to copy; everything else is readable to every user.
rm -f "$build/prefix/wineserver"
chmod -R a+rX "$build"

touch "$build/.quorvane-complete"
mv "$build" "$quorvane_cache/wine-$version"
echo "Wine $version is ready in $quorvane_cache/wine-$version ($(du -sh --one-file-system "$quorvane_cache/wine-$version" | cut -f1))."
