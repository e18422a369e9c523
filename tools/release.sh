#!/usr/bin/env bash
# Builds the shipped 32-bit launcher and puts it into dist/Quorvane.exe. A mod author renames it
# 启动<Mod>.exe (or 启动<Mod>(Steam版).exe for the Steam edition) and puts it beside <Mod>.SkuDef.
# Built in the build root of the newest release's compilers (tools/setup-wine.sh), whatever this machine's
# are, so the same commit gives the same bytes anywhere: --check VERSION builds a version in CHANGELOG.md
# and compares with its published SHA-256. The licence goes beside the exe, as Quorvane-LICENSE.txt.
set -euo pipefail
cd "$(dirname "$0")/.." && source tools/wine-env

if [[ ${1:-} == --check ]]; then  # builds VERSION's commit in the build root of its compilers, in a scratch work tree
  notes=$(release_notes "${2:?release: --check needs a VERSION}")
  commit=$(grep -oP 'commit `\K[0-9a-f]{40}' <<<"$notes") && published=$(grep -oP 'SHA-256: `\K[0-9a-f]{64}' <<<"$notes") ||
    { echo "release: CHANGELOG.md names no commit and SHA-256 for version $2" >&2; exit 1; }
  git cat-file -e "$commit^{commit}" 2>/dev/null || { echo "release: this clone lacks $commit (shallow?)" >&2; exit 2; }
  tools/setup.sh release "$2"
  root=$(build_root "$2") && packages=$(release_compilers "$notes" | tail -n +2 | cut -d= -f1)
  compilers=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Package}=${Version}, ' $packages)
  scratch=$(make_marked_folder "${TMPDIR:-/tmp}/quorvane-release.XXXXXX" tools/release.sh)
  trap 'remove_tools_folder "$scratch" tools/release.sh; git worktree prune' EXIT
  git worktree add --quiet --detach "$scratch/tree" "$commit"
  (cd "$scratch/tree" && in_build_root "$root" cmake --preset release >/dev/null &&
    in_build_root "$root" cmake --build --preset release >/dev/null)
  built=$(sha256sum "$scratch/tree/build/release/quorvane.exe" | cut -d' ' -f1)
  echo "release: $2 ($commit), built with its notes' compilers in $root: ${compilers%, }"
  [[ $built != "$published" ]] || { echo "release: it builds to its published SHA-256, $built"; exit 0; }
  echo "release: MISMATCH: it builds to $built; CHANGELOG.md publishes $published." >&2; exit 1
fi

tools/setup.sh release
cmake_for release --preset release --fresh >/dev/null  # no setting left in the cache from an earlier build
cmake_for release --build --preset release

mkdir -p dist
cp build/release/quorvane.exe dist/Quorvane.exe
sed 's/$/\r/' LICENSE >dist/Quorvane-LICENSE.txt  # shipped beside the exe; Windows line ends for Notepad
echo "dist/Quorvane.exe: $(stat -c %s dist/Quorvane.exe) bytes"
echo "SHA-256: $(sha256sum dist/Quorvane.exe | cut -d' ' -f1)"
