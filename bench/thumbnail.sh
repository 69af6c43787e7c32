#!/usr/bin/env bash
# A 256-pixel thumbnail, as the file manager asks brindle-cli thumbnail for one, from a plain
# image and from a CHD of a full disc (and of a small one): CPU time per thumbnail (user + system,
# the best of several runs of a batch, process start included) and peak memory, against `cp` of
# the banner's size and `brindle-cli info` (the program's start and the disc's opening alone) in
# the same run. The thumbnails are checked to be the same PNG bytes first.
#   bench/thumbnail.sh BUILD_DIR [FULL_DISC_MB]
# Needs brindle-cli and picture-disc-tool built in BUILD_DIR, and chdman (mame-tools).
set -euo pipefail
build=${1:?usage: bench/thumbnail.sh BUILD_DIR [FULL_DISC_MB]}
full_mb=${2:-640}
cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name picture-disc-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || { echo "build brindle-cli and picture-disc-tool first" >&2; exit 2; }
command -v chdman >/dev/null || { echo "chdman (mame-tools) is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-thumbnail-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
runs=20

echo "== writing a small disc and a full one ($full_mb MB), and their CHDs..."
"$tool" "$work/small.iso" --look 2
"$tool" "$work/full.iso" --look 2 --filler "$full_mb"
chdman createcd -i "$work/small.iso" -o "$work/small.chd" >/dev/null 2>&1
chdman createcd -i "$work/full.iso" -o "$work/full.chd" >/dev/null 2>&1
ls -l "$work"/*.iso "$work"/*.chd | awk '{ printf "   %-12s %12d bytes\n", $NF, $5 }' | sed "s|$work/||"

# Same output from every source first.
for source in small.iso full.iso small.chd full.chd; do
  "$cli" thumbnail -s 256 "$work/$source" "$work/$source.png"
  cmp "$work/small.iso.png" "$work/$source.png" || { echo "thumbnail of $source differs" >&2; exit 1; }
done

# CPU milliseconds per run of a command (best of 3 batches of $runs), and peak memory in KiB.
measure() {
  local best="" batch cpu
  for batch in 1 2 3; do
    cpu=$( { /usr/bin/time -f "%U %S" bash -c "for i in \$(seq $runs); do $* >/dev/null; done" ; } 2>&1 | tail -n1 |
      awk -v n="$runs" '{ printf "%.2f", ($1 + $2) * 1000 / n }')
    if [ -z "$best" ] || awk -v a="$cpu" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$cpu; fi
  done
  local rss; rss=$( { /usr/bin/time -f "%M" "$@" >/dev/null; } 2>&1 | tail -n1)
  printf "   %-34s %8s ms CPU   %8s KiB peak\n" "$label" "$best" "$rss"
}
echo "== 256-pixel thumbnail, CPU per thumbnail (best of 3 x $runs) and peak memory"
head -c 153624 /dev/urandom > "$work/banner-sized"
label="cp of a banner-sized file" measure cp "$work/banner-sized" "$work/copy"
label="info (starting, opening the disc)" measure "$cli" info --image "$work/full.iso"
for source in small.iso full.iso small.chd full.chd; do
  label="thumbnail from $source" measure "$cli" thumbnail -s 256 "$work/$source" "$work/out.png"
done
