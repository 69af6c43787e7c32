#!/usr/bin/env bash
# Reading every block of a CHD through the CHD reader, against chdman extractcd of the same CHD,
# in the same run; then extract -r of the CHD's files against the same (when brindle-cli is built
# in BUILD_DIR), checked against the files extracted from the plain image; then the reader's peak
# memory.
#   bench/media/chd-vs-chdman.sh BUILD_DIR [MB]
# Needs chd-bench built in BUILD_DIR (configure with -DBRINDLE_BENCH=ON) and chdman (mame-tools).
# Writes its files under a scratch folder in $TMPDIR (or /tmp) and removes them at the end.
set -euo pipefail
build=${1:?usage: bench/media/chd-vs-chdman.sh BUILD_DIR [MB]}
mb=${2:-200}
bench=$(find "$build" -type f -name chd-bench -perm -u+x | head -n1)
[ -n "$bench" ] || { echo "build chd-bench first (-DBRINDLE_BENCH=ON)" >&2; exit 2; }
command -v chdman >/dev/null || { echo "chdman (mame-tools) is not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-chd-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

echo "== writing a $mb MB disc and its CHD (chdman's default codecs)..."
"$bench" make "$work" "$mb"
chdman createcd -i "$work/disc.cue" -o "$work/disc.chd" >/dev/null 2>&1
ls -l "$work/disc.bin" "$work/disc.chd" | awk '{ print $5, $9 }'
want=$("$bench" hash "$work/disc.iso" | sed 's/.*hash //')
cli=$build/cli/brindle-cli
[ -x "$cli" ] && "$cli" extract -r -q --image "$work/disc.iso" "$work/want"

for round in 1 2 3; do
  t=$(now); got=$("$bench" read "$work/disc.chd"); s_reader=$(since "$t")
  rm -f "$work/out.bin" "$work/out.cue"
  t=$(now); chdman extractcd -i "$work/disc.chd" -o "$work/out.cue" -ob "$work/out.bin" >/dev/null 2>&1
  s_chdman=$(since "$t")
  [ "${got##*hash }" = "$want" ] || { echo "the reader's blocks differ from the image" >&2; exit 1; }
  echo "round $round: reader ${s_reader} s, chdman extractcd ${s_chdman} s" \
    "(ratio $(awk -v a="$s_chdman" -v b="$s_reader" 'BEGIN { printf "%.2f", a / b }')x)"
  if [ -x "$cli" ]; then
    rm -rf "$work/got"
    t=$(now); "$cli" extract -r -q --image "$work/disc.chd" "$work/got"; s_extract=$(since "$t")
    diff -r "$work/want" "$work/got" >/dev/null || { echo "extract -r of the CHD differs" >&2; exit 1; }
    echo "round $round: extract -r ${s_extract} s, chdman extractcd ${s_chdman} s" \
      "(ratio $(awk -v a="$s_chdman" -v b="$s_extract" 'BEGIN { printf "%.2f", a / b }')x)"
  fi
done
echo "== peak memory of the reader:"
/usr/bin/time -v "$bench" read "$work/disc.chd" 2>&1 | grep -E "blocks|Maximum resident"
