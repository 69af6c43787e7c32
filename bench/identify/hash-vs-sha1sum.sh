#!/usr/bin/env bash
# brindle-cli hash of a single-track disc, against the tools a collector would otherwise use, in
# the same run, warm cache: from the raw BIN and from the 2048-byte image (sync, header, EDC and
# ECC rebuilt) against sha1sum of the BIN; from the CHD against chdman extractcd + sha1sum.
# Every result is first checked to be the BIN's own SHA-1.
#   bench/identify/hash-vs-sha1sum.sh BUILD_DIR [MB]
# Needs brindle-cli and chd-bench built in BUILD_DIR (-DBRINDLE_BENCH=ON) and chdman (mame-tools).
# Works in a scratch folder under $TMPDIR (or /tmp), removed at the end.
set -euo pipefail
build=${1:?usage: bench/identify/hash-vs-sha1sum.sh BUILD_DIR [MB]}
mb=${2:-650}
cli=$build/cli/brindle-cli
bench=$(find "$build" -type f -name chd-bench -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$bench" ] || { echo "build brindle-cli and chd-bench first" >&2; exit 2; }
command -v chdman >/dev/null || { echo "chdman (mame-tools) is not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-hash-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== writing a $mb MB disc, its raw BIN and its CHD..."
"$bench" make "$work" "$mb" >/dev/null
chdman createcd -i "$work/disc.cue" -o "$work/disc.chd" >/dev/null 2>&1
ls -l "$work/disc.iso" "$work/disc.bin" "$work/disc.chd" | awk '{ print $5, $9 }'
cat "$work/disc.iso" "$work/disc.bin" "$work/disc.chd" >/dev/null  # warm the cache

want=$(sha1sum "$work/disc.bin" | cut -d' ' -f1)
sha_of() { "$cli" hash --image "$1" | awk '$1 == "sha1" { print $2; exit }'; }
for source in disc.bin disc.iso disc.chd; do
  got=$(sha_of "$work/$source")
  [ "$got" = "$want" ] || { echo "hash of $source is $got, the BIN's SHA-1 is $want" >&2; exit 1; }
done
echo "every source hashes to the BIN's SHA-1 $want"

# Wall seconds of a command, then its CPU seconds (user + system), which a machine busy with
# other work disturbs less (but which cannot show the gain of a second core).
timed() {
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" >/dev/null 2>&1
  awk '{ print $1, $2 + $3 }' "$work/time.txt"
}
best() { awk -v x="$1" -v y="${2:-1e9}" 'BEGIN { print (x < y) ? x : y }'; }
names=(sha bin iso chd chdman)
declare -A wall cpu
for round in 1 2 3; do
  line="round $round:"
  for name in "${names[@]}"; do
    case $name in
      sha) read -r w c < <(timed sha1sum "$work/disc.bin") ;;
      bin) read -r w c < <(timed "$cli" hash --image "$work/disc.bin") ;;
      iso) read -r w c < <(timed "$cli" hash --image "$work/disc.iso") ;;
      chd) read -r w c < <(timed "$cli" hash --image "$work/disc.chd") ;;
      chdman)
        rm -f "$work/out.bin" "$work/out.cue"
        read -r w c < <(timed bash -c "chdman extractcd -i '$work/disc.chd' -o '$work/out.cue' \
          -ob '$work/out.bin' && sha1sum '$work/out.bin'") ;;
    esac
    line+=" $name ${w}s (CPU ${c}s)"
    wall[$name]=$(best "$w" "${wall[$name]:-}")
    cpu[$name]=$(best "$c" "${cpu[$name]:-}")
  done
  echo "$line"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }
for kind in wall cpu; do
  declare -n t=$kind
  echo "best $kind: BIN $(ratio "${t[bin]}" "${t[sha]}")x of sha1sum (aim 0.9)," \
       "ISO $(ratio "${t[iso]}" "${t[sha]}")x of sha1sum (aim 0.6)," \
       "CHD $(ratio "${t[chd]}" "${t[chdman]}")x of extractcd + sha1sum (aim 1.5)"
done
