#!/usr/bin/env bash
# extract -r of a whole image of many files against cp -r of the same tree, in the same run
# (both warm): files at odd blocks (2 KiB into a page) and page-aligned.
#   bench/extract-r-vs-cp.sh BUILD_DIR [FILES] [KB_PER_FILE]
set -euo pipefail
build=${1:?usage: bench/extract-r-vs-cp.sh BUILD_DIR [FILES] [KB_PER_FILE]}
files=${2:-300}
kb=${3:-512}
cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || { echo "build brindle-cli and opera-image-tool first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-extract-r-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

for align in 1 2; do
  "$tool" large "$work/disc.iso" --count "$files" --size $((kb * 1024)) --align "$align" \
    --tree "$work/tree" >/dev/null
  cat "$work/disc.iso" >/dev/null
  best_cli=1e9 best_cp=1e9
  for round in 1 2 3 4 5; do
    rm -rf "$work/out-cli" "$work/out-cp"
    t0=$(now); "$cli" extract -r -q --image "$work/disc.iso" "$work/out-cli"; t1=$(now)
    cp -r "$work/tree" "$work/out-cp"; t2=$(now)
    best_cli=$(awk -v a="$t0" -v b="$t1" -v m="$best_cli" 'BEGIN { d = b - a; print (d < m) ? d : m }')
    best_cp=$(awk -v a="$t1" -v b="$t2" -v m="$best_cp" 'BEGIN { d = b - a; print (d < m) ? d : m }')
  done
  diff -r "$work/tree" "$work/out-cli" >/dev/null || { echo "extracted tree differs" >&2; exit 1; }
  echo "$files files of $kb KB, align $align: extract -r ${best_cli}s, cp -r ${best_cp}s," \
       "ratio $(awk -v a="$best_cli" -v b="$best_cp" 'BEGIN { printf "%.2f", b / a }')x of cp"
  rm -rf "$work/tree" "$work/disc.iso" "$work/out-cli" "$work/out-cp"
done
