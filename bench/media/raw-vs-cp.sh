#!/usr/bin/env bash
# Every block of a raw 2352-byte BIN read through the block device (checked, unpacked and
# written out as a 2048-byte image) against cp of the same BIN, in the same run, warm cache.
#   bench/media/raw-vs-cp.sh BUILD_DIR [MB]
# Needs media-bench and opera-image-tool built in BUILD_DIR. Works in a scratch folder under
# $TMPDIR (or /tmp), removed at the end.
set -euo pipefail
build=${1:?usage: bench/media/raw-vs-cp.sh BUILD_DIR [MB]}
mb=${2:-300}
bench=$(find "$build" -type f -name media-bench -perm -u+x | head -n1)
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -n "$bench" ] && [ -n "$tool" ] || { echo "build media-bench and opera-image-tool first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-raw-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }

echo "== writing a ${mb} MB volume as raw 2352-byte sectors..."
"$tool" large "$work/vol.iso" --count 2 --size $((mb * 1048576 / 2))
"$bench" make-raw "$work/vol.iso" "$work/vol.bin"
bytes=$(stat -c %s "$work/vol.bin")
cat "$work/vol.bin" >/dev/null  # warm the cache
# Wall time, and CPU time (user + system) which a machine busy with other work disturbs less.
timed() { /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@"; awk '{ print $1, $2 + $3 }' "$work/time.txt"; }
best() { awk -v x="$1" -v y="${2:-1e9}" 'BEGIN { print (x < y) ? x : y }'; }
wall_dev="" wall_cp="" cpu_dev="" cpu_cp=""
for round in 1 2 3 4 5; do
  rm -f "$work/out.iso" "$work/copy.bin"
  read -r w_dev c_dev < <(timed "$bench" convert "$work/vol.bin" "$work/out.iso")
  read -r w_cp c_cp < <(timed cp "$work/vol.bin" "$work/copy.bin")
  echo "round $round: device $(rate "$bytes" "$w_dev") MB/s of BIN (CPU ${c_dev} s)," \
       "cp $(rate "$bytes" "$w_cp") MB/s (CPU ${c_cp} s)"
  wall_dev=$(best "$w_dev" "$wall_dev"); wall_cp=$(best "$w_cp" "$wall_cp")
  cpu_dev=$(best "$c_dev" "$cpu_dev"); cpu_cp=$(best "$c_cp" "$cpu_cp")
done
cmp -s "$work/vol.iso" "$work/out.iso" || { echo "converted image differs from the volume" >&2; exit 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }
echo "best wall: device $(rate "$bytes" "$wall_dev") MB/s, cp $(rate "$bytes" "$wall_cp") MB/s," \
     "ratio $(ratio "$wall_dev" "$wall_cp")x of cp"
echo "best CPU: device ${cpu_dev} s, cp ${cpu_cp} s, ratio $(ratio "$cpu_dev" "$cpu_cp")x of cp"
