#!/usr/bin/env bash
# extract -r of a whole image of many files against cp -r of the same tree, in the same run
# (both warm): files packed block after block and page-aligned. The default is a disc of 600 files
# and 120 MB; its files of 198 KB are 99 blocks each, so packed one after another every other
# file starts at an odd block (2 KiB into a page).
#   bench/extract-r-vs-cp.sh BUILD_DIR [FILES] [KB_PER_FILE] [ROUNDS]
# Each round writes into new folders and the order of the two alternates: on a file system
# without a journal (ext4 without one skips inodes freed in the last half minute, scanning past
# each of them), creating files right after removing many costs far more than the copy itself,
# so nothing is removed until the end (about 3 GB at the default size).
set -euo pipefail
build=${1:?usage: bench/extract-r-vs-cp.sh BUILD_DIR [FILES] [KB_PER_FILE] [ROUNDS]}
files=${2:-600}
kb=${3:-198}
rounds=${4:-6}
cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || { echo "build brindle-cli and opera-image-tool first" >&2; exit 2; }
top=$(mktemp -d "${TMPDIR:-/tmp}/brindle-extract-r-bench.XXXXXX")
trap 'rm -rf "$top"' EXIT
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }

for align in 1 2; do
  work=$top/align$align
  mkdir -p "$work"
  "$tool" large "$work/disc.iso" --count "$files" --size $((kb * 1024)) --align "$align" \
    --tree "$work/tree" >/dev/null
  "$cli" extract -r -q --image "$work/disc.iso" "$work/check"
  diff -r "$work/tree" "$work/check" >/dev/null || { echo "extracted tree differs" >&2; exit 1; }
  cat "$work/disc.iso" >/dev/null
  best_cli=1e9 best_cp=1e9 ratios=""
  for round in $(seq 1 "$rounds"); do
    sync
    if [ $((round % 2)) -eq 1 ]; then
      t0=$(now); "$cli" extract -r -q --image "$work/disc.iso" "$work/out-cli$round"; t1=$(now)
      cp -r "$work/tree" "$work/out-cp$round"; t2=$(now)
      s_cli=$(seconds "$t0" "$t1") s_cp=$(seconds "$t1" "$t2")
    else
      t0=$(now); cp -r "$work/tree" "$work/out-cp$round"; t1=$(now)
      "$cli" extract -r -q --image "$work/disc.iso" "$work/out-cli$round"; t2=$(now)
      s_cp=$(seconds "$t0" "$t1") s_cli=$(seconds "$t1" "$t2")
    fi
    ratios+=" $(ratio "$s_cli" "$s_cp")"
    best_cli=$(awk -v d="$s_cli" -v m="$best_cli" 'BEGIN { print (d < m) ? d : m }')
    best_cp=$(awk -v d="$s_cp" -v m="$best_cp" 'BEGIN { print (d < m) ? d : m }')
  done
  diff -r "$work/tree" "$work/out-cli$rounds" >/dev/null || { echo "extracted tree differs" >&2; exit 1; }
  echo "$files files of $kb KB, align $align: extract -r ${best_cli}s, cp -r ${best_cp}s," \
       "ratio $(ratio "$best_cli" "$best_cp")x of cp (best of each); per round:$ratios"
done
