#!/usr/bin/env bash
# Makes the Wine that the tests run under, once per machine, Wine version and recipe (tools/wine-env),
# from Debian's packages only: a minimal Debian trixie root (debootstrap) holding trixie's Wine 10 with
# the 32-bit Windows DLLs added, so that it runs the shipped 32-bit exe in WoW64 mode; the X11 client
# libraries that Wine's display driver loads, a CJK font and the zh_CN.UTF-8 locale, so that it can be
# a Simplified-Chinese desktop; and a fresh Wine prefix of that desktop to copy.
# Does nothing when a complete one is in the cache. Needs root (through sudo otherwise), debootstrap
# and the mingw-w64 binutils; touches neither the system's apt configuration nor its mounts. Takes the
# Debian archive from this machine's apt sources, or from QUORVANE_DEBIAN_MIRROR.
# About a minute and 300 MB of downloads; about 0.7 GiB in the cache, and 0.5 GiB for the prefix.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
source "$here/wine-env"

[[ -n $(wine_root) ]] && exit 0

# The Debian archive that this machine's apt uses, from its one-line (sources.list) and deb822
# (*.sources) entries, or from the FILES given; the security archive and other vendors' archives are
# skipped.
debian_archive() {
  local file files=("$@")
  if ((${#files[@]} == 0)); then
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
      [[ -f $file ]] && files+=("$file")
    done
  fi
  ((${#files[@]} > 0)) || return 0
  awk '
    function debian(suites,   n, i, list) {
      n = split(suites, list, /[ \t]+/)
      for (i = 1; i <= n; i++)
        if (list[i] ~ /^(bullseye|bookworm|trixie|forky|sid|oldstable|stable|testing|unstable)(-updates|-backports)?$/)
          return 1
      return 0
    }
    function offer(uri, suites) {
      if (!found && uri ~ /^https?:\/\// && uri !~ /debian-security/ && debian(suites)) found = uri
    }
    function stanza(   n, i, u) {  # one deb822 entry, at its end
      if (types ~ /(^| )deb( |$)/ && enabled) { n = split(uris, u, /[ \t]+/); for (i = 1; i <= n; i++) offer(u[i], suites) }
      types = ""; uris = ""; suites = ""; enabled = 1
    }
    FNR == 1 { stanza() }
    FILENAME !~ /\.sources$/ {
      sub(/#.*/, "")
      if ($1 != "deb") next
      line = $0; sub(/^deb[ \t]+(\[[^]]*\][ \t]+)?/, "", line)
      split(line, field, /[ \t]+/)
      offer(field[1], field[2])
      next
    }
    /^[ \t]*$/ { stanza(); next }
    /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
    /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
    /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
    /^Enabled:[ \t]*[Nn]o/ { enabled = 0 }
    END { stanza(); if (found) print found }
  ' "${files[@]}" 2>/dev/null
}

mirror=${QUORVANE_DEBIAN_MIRROR:-$(debian_archive)}
if [[ -z $mirror ]]; then
  echo "setup-wine: found no Debian archive in this machine's apt sources (/etc/apt/sources.list," \
    "/etc/apt/sources.list.d/); set QUORVANE_DEBIAN_MIRROR to the URL of one." >&2
  exit 1
fi

# debootstrap and chroot need root. The cache folder and its lock are made as the calling user first,
# and what root makes in them is handed back to that user at the end.
if ((EUID != 0)); then
  mkdir -p "$quorvane_cache"
  : >>"$quorvane_cache/setup.lock"
  : >>"$quorvane_cache/debootstrap.log"
  as_root "Making the tests' Wine (once per machine)" \
    QUORVANE_CACHE="$quorvane_cache" QUORVANE_DEBIAN_MIRROR="$mirror" "$0" "$@"
  exit
fi

mkdir -p "$quorvane_cache"
exec 9>>"$quorvane_cache/setup.lock"
flock 9
[[ -n $(wine_root) ]] && exit 0

# Under the lock no other set-up is at work: whatever an interrupted one left is removed. Its mounts
# were in a namespace of their own and ended with it.
for leftover in "$quorvane_cache"/.build-* "$quorvane_cache"/wine-*; do
  if [[ -d $leftover && ! -e $leftover/.quorvane-complete ]]; then
    echo "Removing what an interrupted set-up left: $leftover"
    rm -rf --one-file-system "$leftover"
  fi
done

# debootstrap and the chroot below mount /proc and /dev inside the new root. In a mount namespace of
# their own, those mounts end with it. Where a mount namespace is refused (root in a container without
# CAP_SYS_ADMIN, such as Docker's default), no mount can be made at all, so the steps run as they are:
# a user namespace would not do, since debootstrap must create device nodes, which only real root may.
root_mounts() {
  if unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private "$@"
  else
    "$@"
  fi
}

build=$quorvane_cache/.build-$$
trap 'rm -rf --one-file-system "$build"' EXIT
echo "Setting up Debian trixie's Wine for the tests in $quorvane_cache from $mirror (once per machine, about a minute)..."

# What Wine's Unix side loads (X11 client libraries for its display driver), the fonts it draws with
# (WenQuanYi Micro Hei for Chinese) and the locales package; Wine's own packages are unpacked below
# rather than installed, which leaves out their long list of optional libraries.
x11=libx11-6,libxext6,libxrender1,libxrandr2,libxi6,libxcursor1,libxcomposite1,libxfixes3,libxinerama1
root_mounts debootstrap --variant=minbase \
  --include=libunwind8,libz-mingw-w64,libfreetype6,libfontconfig1,fonts-wine,fonts-wqy-microhei,locales,$x11 \
  trixie "$build" "$mirror" >"$quorvane_cache/debootstrap.log" 2>&1 ||
  { tail -n 20 "$quorvane_cache/debootstrap.log" >&2; exit 1; }

# Wine's four packages, fetched (and checked) by the root's own apt. i386 is added to the root's dpkg
# only, for the 32-bit Windows DLLs of libwine:i386; no i386 Linux code is ever installed.
root_mounts /bin/bash -c '
  mount -t proc proc "$0/proc" 2>/dev/null; mount --rbind /dev "$0/dev" 2>/dev/null
  exec chroot "$0" /bin/sh -c "localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 && dpkg --add-architecture i386 &&
    apt-get update -qq && mkdir -p /tmp/debs && cd /tmp/debs && { chown _apt . || true; } &&
    apt-get download -qq wine wine64 libwine libwine:i386"
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
rm -rf "$debs" "$i386" "$build"/var/lib/apt/lists/* "$build"/var/cache/apt/*.bin "$build"/var/cache/apt/archives/*.deb

# The prefix that each build's own prefix starts as a copy of: making one takes Wine seconds. Made in
# the zh_CN locale, it is a Simplified-Chinese Windows. Wine already maps the dialog font to SimSun
# there, as Chinese Windows does; SimSun itself is not free, so WenQuanYi Micro Hei stands in for it
# and is linked behind Tahoma for the CJK characters, as SimSun is on Windows. With no window manager
# on the tests' display, Wine draws the windows' frames and captions itself (Managed = N).
(
  use_wine_prefix "$build/prefix"
  run() { in_wine_root "$build" "$wine_loader" "$@" >/dev/null 2>&1 </dev/null; }
  run wineboot --init
  fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
  for face in SimSun NSimSun 宋体 新宋体 "Microsoft YaHei" "Microsoft YaHei UI" 微软雅黑; do
    run reg add "$fonts\\FontSubstitutes" /v "$face" /d "WenQuanYi Micro Hei" /f
  done
  for face in Tahoma "Microsoft Sans Serif" "Lucida Sans Unicode"; do
    run reg add "$fonts\\FontLink\\SystemLink" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f
  done
  run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  in_wine_root "$build" "$wine_server" --wait
)
[[ -e $build/prefix/system.reg ]] || { echo "setup-wine: Wine could not make a prefix" >&2; exit 1; }
# The server's own lock file is no part of a prefix to copy; everything else is readable to every user.
rm -f "$build/prefix/wineserver"
chmod -R a+rX "$build"

target=$quorvane_cache/wine-$version-r$wine_recipe
touch "$build/.quorvane-complete"
rm -rf --one-file-system "$target"  # an incomplete one; mv would put the new root inside it
mv -T "$build" "$target"
# Roots of an older recipe are no longer used by this checkout or a newer one: 1.1 GiB each. (Build
# trees that still link into their prefixes keep those files until they are removed themselves.)
for older in "$quorvane_cache"/wine-*/; do
  older=${older%/}
  recipe=1
  [[ $older =~ -r([0-9]+)$ ]] && recipe=${BASH_REMATCH[1]}
  if ((recipe < wine_recipe)); then
    echo "Removing the Wine root of an older recipe: $older"
    rm -rf --one-file-system "$older"
  fi
done
if [[ -n ${SUDO_UID:-} && ${SUDO_UID:-0} != 0 ]]; then
  chown -R "$SUDO_UID:$SUDO_GID" "$target"
fi
echo "Wine $version is ready in $target ($(du -sh --one-file-system "$target" | cut -f1))."
