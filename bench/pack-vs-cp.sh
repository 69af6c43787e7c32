#!/usr/bin/env bash
# pack of a tree of many files in folders against cp -r of the same tree, in the same run (both
# warm). The packed image is first checked byte for byte: extract -r of it must equal the tree.
#   bench/pack-vs-cp.sh BUILD_DIR [FOLDERS] [FILES_PER_FOLDER] [KB_PER_FILE]
set -euo pipefail
build=${1:?usage: bench/pack-vs-cp.sh BUILD_DIR [FOLDERS] [FILES_PER_FOLDER] [KB_PER_FILE]}
folders=${2:-30}
per=${3:-20}
kb=${4:-200}
cli=$build/cli/brindle-cli
[ -x "$cli" ] || { echo "build brindle-cli first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-pack-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

for d in $(seq 1 "$folders"); do
  mkdir -p "$work/tree/folder$d"
  for f in $(seq 1 "$per"); do
    # Sizes around kb, most not a whole number of blocks.
    head -c $((kb * 1024 + (f * 337) % 2048)) /dev/urandom >"$work/tree/folder$d/file$f.dat"
  done
done
files=$((folders * per))
total=$(du -sb "$work/tree" | cut -f1)

"$cli" pack -q "$work/tree" "$work/disc.iso"
"$cli" extract -r -q --image "$work/disc.iso" "$work/check"
diff -r "$work/tree" "$work/check" >/dev/null || { echo "packed tree differs" >&2; exit 1; }
rm -rf "$work/check"

best_pack=1e9 best_cp=1e9
for round in 1 2 3 4 5; do
  rm -rf "$work/disc.iso" "$work/out-cp"
  sync
  t0=$(now); "$cli" pack -q "$work/tree" "$work/disc.iso"; t1=$(now)
  cp -r "$work/tree" "$work/out-cp"; t2=$(now)
  best_pack=$(awk -v a="$t0" -v b="$t1" -v m="$best_pack" 'BEGIN { d = b - a; print (d < m) ? d : m }')
  best_cp=$(awk -v a="$t1" -v b="$t2" -v m="$best_cp" 'BEGIN { d = b - a; print (d < m) ? d : m }')
done
echo "$files files in $folders folders, $((total / 1000000)) MB: pack ${best_pack}s," \
     "cp -r ${best_cp}s, ratio $(awk -v a="$best_pack" -v b="$best_cp" 'BEGIN { printf "%.2f", b / a }')x of cp"
