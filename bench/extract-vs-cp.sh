#!/usr/bin/env bash
# Extract-all of a directory of large files from an image with brindle-cli extract, against cp of
# the same bytes, in the same run; then the peak memory of extracting one 200 MB entry.
# brindle-cli extract (without -r) is the window's extract-all: the same session code, down to the
# copy of each entry (reader::ExtractEntry), as the window's "extract all" button.
# Each round writes into new folders (nothing removed until the end: see extract-r-vs-cp.sh) and
# the order of the two alternates.
#   bench/extract-vs-cp.sh BUILD_DIR [FILES] [MB_PER_FILE]
# Needs brindle-cli and opera-image-tool built in BUILD_DIR. Writes its files under a scratch
# folder in $TMPDIR (or /tmp) and removes them at the end.
set -euo pipefail
build=${1:?usage: bench/extract-vs-cp.sh BUILD_DIR [FILES] [MB_PER_FILE]}
files=${2:-4}
mb=${3:-64}
cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || { echo "build brindle-cli and opera-image-tool first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }

# One comparison: the image's files start at multiples of align blocks (1: every file 2 KiB into
# a 4 KiB page, as an Opera disc may well have them; 2: page-aligned).
compare() {
  local align=$1 label=$2
  echo "== $label: writing an image with $files files of $mb MB..."
  "$tool" large "$work/large.iso" --count "$files" --size $((mb * 1048576)) --align "$align" \
    --tree "$work/tree"
  local bytes=$((files * mb * 1048576)) best_cli="" best_cp="" round t0 t1 t2 t3 s_cli s_cp f
  "$cli" extract --image "$work/large.iso" "$work/out-check" Large
  for f in "$work/tree/Large/"*; do
    cmp -s "$f" "$work/out-check/$(basename "$f")" || { echo "extracted bytes differ: $f" >&2; exit 1; }
  done
  sync
  for round in 1 2 3 4 5 6; do
    mkdir -p "$work/out-cp$round"
    if [ $((round % 2)) -eq 1 ]; then
      t0=$(now); "$cli" extract --image "$work/large.iso" "$work/out-cli$round" Large; t1=$(now)
      t2=$(now); cp "$work/tree/Large/"* "$work/out-cp$round/"; t3=$(now)
    else
      t2=$(now); cp "$work/tree/Large/"* "$work/out-cp$round/"; t3=$(now)
      t0=$(now); "$cli" extract --image "$work/large.iso" "$work/out-cli$round" Large; t1=$(now)
    fi
    s_cli=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
    s_cp=$(awk -v a="$t2" -v b="$t3" 'BEGIN { print b - a }')
    echo "round $round: brindle-cli $(rate $bytes $s_cli) MB/s, cp $(rate $bytes $s_cp) MB/s" \
         "(ratio $(awk -v a="$s_cli" -v b="$s_cp" 'BEGIN { printf "%.2f", b / a }')x)"
    best_cli=$(awk -v x="$s_cli" -v y="${best_cli:-1e9}" 'BEGIN { print (x < y) ? x : y }')
    best_cp=$(awk -v x="$s_cp" -v y="${best_cp:-1e9}" 'BEGIN { print (x < y) ? x : y }')
  done
  for f in "$work/tree/Large/"*; do
    cmp -s "$f" "$work/out-cli6/$(basename "$f")" || { echo "extracted bytes differ: $f" >&2; exit 1; }
  done
  echo "$label best: brindle-cli $(rate $bytes $best_cli) MB/s, cp $(rate $bytes $best_cp) MB/s," \
       "ratio $(awk -v a="$best_cli" -v b="$best_cp" 'BEGIN { printf "%.2f", b / a }')x of cp"
  mkdir -p "$work/done"
  mv "$work/tree" "$work/large.iso" "$work"/out-c* "$work/done/"  # removed at the end
  mv "$work/done" "$work/done$align"
}

compare 1 "files at odd blocks"
compare 2 "files page-aligned"

echo "Peak memory extracting one 200 MB entry..."
"$tool" large "$work/one.iso" --count 1 --size $((200 * 1048576))
/usr/bin/time -v "$cli" get --image "$work/one.iso" Large/part0.bin "$work/part0.bin" 2>"$work/time.txt"
grep "Maximum resident set size" "$work/time.txt"
