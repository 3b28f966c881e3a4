#!/usr/bin/env bash
# Makes a musicdisk of your own from a content pack: a folder with ten songs,
# their titles, the disk's name and scroll text, and any art of its own, named
# in its musicdisk.txt (resources/musicdisk.txt is the shipped disk's).
#
#   scripts/make_musicdisk.sh PACK [-o OUTDIR]
#
# checks the pack first, reporting every problem as FILE[:LINE]: what is wrong
# and ending with status 2 before anything is built; then builds the Windows
# program OUTDIR/<name>.exe and the web page OUTDIR/web/ (OUTDIR is
# out/<name> unless given). scripts/run.sh --pack PACK runs it.
set -euo pipefail

usage() { sed -n '2,11s/^# \{0,1\}//p' "$0"; }
pack=""
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    -o) [ $# -ge 2 ] || { usage >&2; exit 1; }; out="$2"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "make_musicdisk: unknown option $1" >&2; usage >&2; exit 1 ;;
    *) [ -z "$pack" ] || { usage >&2; exit 1; }; pack="$1"; shift ;;
  esac
done
[ -n "$pack" ] || { usage >&2; exit 1; }
[ -e "$pack" ] || { echo "make_musicdisk: $pack: no such pack" >&2; exit 1; }
pack=$(realpath "$pack")
[ -z "$out" ] || out=$(realpath -m "$out")
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null

# Every pack is built in a tree of its own, so that making one disk never
# rebuilds another.
stage="$PWD/build/packs/$(printf '%s' "$pack" | md5sum | cut -c1-12)"
mkdir -p "$stage"

# The songs are checked with the program's own loader, in the native tool.
step() { echo "make_musicdisk: $*"; }
# Runs a build step with its output in a log, shown only when it fails.
quietly() {
  local log="$stage/last-step.log"
  "$@" >"$log" 2>&1 || { tail -40 "$log" >&2; echo "make_musicdisk: failed: $*" >&2; exit 1; }
}
step "building the ahx tool"
quietly cmake --preset native-release
quietly cmake --build --preset native-release --target ahx

step "checking $pack"
/usr/bin/python3 scripts/musicdisk_pack.py check "$pack" --ahx build/native-release/tools/ahx --stage "$stage/pack"
name=$(cat "$stage/pack/file-name")
out="${out:-$PWD/out/$name}"

step "building $out/$name.exe"
quietly cmake --preset windows -B "$stage/windows" -D VELTRANE_PACK="$stage/pack" \
  -D VELTRANE_TESTS=OFF -D VELTRANE_BENCHMARKS=OFF
quietly cmake --build "$stage/windows" --target veltrane-music
mkdir -p "$out"
cp "$stage/windows/veltrane-music.exe" "$out/$name.exe"

step "building $out/web/"
quietly cmake --preset web -B "$stage/web" -D VELTRANE_PACK="$stage/pack" -D VELTRANE_TESTS=OFF
EMSDK_PYTHON=/usr/bin/python3 NODE_PATH=/usr/share/nodejs quietly cmake --build "$stage/web" --target veltrane-music
mkdir -p "$out/web"
cp "$stage/web/index.html" "$stage/web/veltrane-music.js" "$stage/web/veltrane-music.wasm" "$out/web/"
step "done: $out/$name.exe and $out/web/index.html"
