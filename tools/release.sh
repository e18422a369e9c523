#!/usr/bin/env bash
# Builds the shipped 32-bit launcher and puts it into dist/Quorvane.exe. A mod author renames it
# 启动<Mod>.exe (or 启动<Mod>(Steam版).exe for the Steam edition) and puts it beside <Mod>.SkuDef.
# The build is reproducible: the same commit gives the same bytes, so the SHA-256 printed here can be
# compared with that of a published exe; --check VERSION does that for a version in CHANGELOG.md.
set -euo pipefail
cd "$(dirname "$0")/.." && source tools/wine-env

if [[ ${1:-} == --check ]]; then  # builds VERSION's commit in a scratch work tree, deleted afterwards
  notes=$(sed -n "/^## \[${2:?release: --check needs a VERSION}\]/,/^## \[/p" CHANGELOG.md)
  commit=$(grep -oP 'commit `\K[0-9a-f]{40}' <<<"$notes") && published=$(grep -oP 'SHA-256: `\K[0-9a-f]{64}' <<<"$notes") ||
    { echo "release: CHANGELOG.md names no commit and SHA-256 for version $2" >&2; exit 1; }
  released=$(grep -oP '`\K[a-z0-9.+-]+=[^`]+' <<<"$notes" | sort)  # the compilers' packages, as pkg=version
  scratch=$(make_marked_folder "${TMPDIR:-/tmp}/quorvane-release.XXXXXX" tools/release.sh)
  trap 'remove_tools_folder "$scratch" tools/release.sh; git worktree prune' EXIT
  git worktree add --detach "$scratch/tree" "$commit"
  "$scratch/tree/tools/release.sh"
  built=$(sha256sum "$scratch/tree/dist/Quorvane.exe" | cut -d' ' -f1)
  [[ $built != "$published" ]] || { echo "release: $2 ($commit) builds to its published SHA-256, $built"; exit 0; }
  here=$(dpkg-query -W -f='${Package}=${Version}\n' $(cut -d= -f1 <<<"$released") 2>&1 | sort) || true
  [[ $here == "$released" ]] && same="the same as" || same="NOT the same as"
  printf '%s\n' "release: MISMATCH: $2 ($commit) builds to $built here; CHANGELOG.md publishes $published." \
    "release: this machine's compilers (${here//$'\n'/, }) are $same the release's (${released//$'\n'/, })." >&2; exit 1
fi

tools/setup.sh release
cmake --preset release --fresh >/dev/null  # no setting left in the cache from an earlier build
cmake --build --preset release

mkdir -p dist
cp build/release/quorvane.exe dist/Quorvane.exe
echo "dist/Quorvane.exe: $(stat -c %s dist/Quorvane.exe) bytes"
echo "SHA-256: $(sha256sum dist/Quorvane.exe | cut -d' ' -f1)"
