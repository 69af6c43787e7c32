#!/usr/bin/env bash
# Reading one large file through the mounted disc against cat of the same bytes as a plain file
# and against squashfuse serving the same file from an uncompressed squashfs, in the same run,
# with both images warm in the page cache. Each round mounts afresh, so the
# first read passes every byte through the file system; the second read of the same mount
# shows what the kernel's page cache then gives. Best of ROUNDS rounds by wall time (other work
# on the machine only ever slows a round down), and the median beside it; the mount and
# squashfuse take turns at going first, so neither always meets the machine as the other left it.
#   bench/mount/mount-vs-cat.sh BUILD_DIR [MB] [ALIGN_BLOCKS] [ROUNDS]
# Needs brindle-cli and opera-image-tool built in BUILD_DIR, python3, /dev/fuse and the right to mount;
# the squashfuse row also needs mksquashfs (squashfs-tools) and squashfuse, else it is left out.
# Works in a scratch folder under $TMPDIR (or /tmp), removed at the end.
set -euo pipefail
build=${1:?usage: bench/mount/mount-vs-cat.sh BUILD_DIR [MB] [ALIGN_BLOCKS] [ROUNDS]}
mb=${2:-100}
align=${3:-1}
rounds=${4:-7}
cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || { echo "build brindle-cli and opera-image-tool first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-mount-bench.XXXXXX")
mnt=$work/mnt
sqmnt=$work/sqmnt
mkdir -p "$mnt" "$sqmnt"
cleanup() {
  mountpoint -q "$mnt" && fusermount3 -u "$mnt"
  mountpoint -q "$sqmnt" && fusermount3 -u "$sqmnt"
  wait
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }
best() { awk -v x="$1" -v y="${2:-1e9}" 'BEGIN { print (x < y) ? x : y }'; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }

echo "== writing an image holding one ${mb} MB file (data at a multiple of $align blocks)..."
"$tool" large "$work/disc.iso" --count 1 --size $((mb * 1048576)) --align "$align" --tree "$work/tree"
plain=$work/tree/Large/part0.bin
bytes=$(stat -c %s "$plain")
squash=""
if command -v mksquashfs >/dev/null && command -v squashfuse >/dev/null; then
  # Uncompressed data, inodes, fragments and attributes: squashfuse only copies bytes too.
  mksquashfs "$work/tree/Large" "$work/disc.sqfs" -noI -noD -noF -noX -no-progress -quiet >/dev/null
  squash=$work/disc.sqfs
fi
cat "$work/disc.iso" "$plain" ${squash:+"$squash"} >/dev/null  # warm the cache

first="" again="" plaincat="" sqfirst=""
all_first="" all_again="" all_cat="" all_sq="" all_cmount="" all_csq=""
# Reads the file through the mount twice; sets s_first and s_again.
# The server runs in the foreground under a small timer: the processor time it spent serving the
# mount (almost all of it the first read) does not depend on how long it waited for a processor,
# so it compares the two servers where wall times on a busy machine scatter.
serve() {  # serve CPU_FILE MOUNT_POINT COMMAND...
  local cpu=$1 point=$2
  shift 2
  python3 -c '
import os, sys
pid = os.fork()
if pid == 0:
    os.execvp(sys.argv[2], sys.argv[2:])
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as out:
    out.write("%.4f\n" % (usage.ru_utime + usage.ru_stime))
' "$cpu" "$@" &
  server=$!
  for _ in $(seq 500); do mountpoint -q "$point" && return 0; sleep 0.01; done
  echo "the mount on $point did not appear" >&2
  exit 1
}
unserve() {  # unserve MOUNT_POINT CPU_FILE; sets cpu_seconds
  fusermount3 -u "$1"
  wait "$server" || true
  cpu_seconds=$(cat "$2")
}
through_mount() {
  serve "$work/mount.cpu" "$mnt" "$cli" mount -f --image "$work/disc.iso" "$mnt"
  t0=$(now); cat "$mnt/Large/part0.bin" >/dev/null; t1=$(now)
  t2=$(now); cat "$mnt/Large/part0.bin" >/dev/null; t3=$(now)
  cmp -s "$plain" "$mnt/Large/part0.bin" || { echo "bytes through the mount differ" >&2; exit 1; }
  unserve "$mnt" "$work/mount.cpu"
  s_first=$(seconds "$t0" "$t1") s_again=$(seconds "$t2" "$t3") c_mount=$cpu_seconds
}
# Reads the file through squashfuse once; sets s_sq and c_sq.
through_squashfuse() {
  serve "$work/sq.cpu" "$sqmnt" squashfuse -f "$squash" "$sqmnt"
  t6=$(now); cat "$sqmnt/part0.bin" >/dev/null; t7=$(now)
  cmp -s "$plain" "$sqmnt/part0.bin" || { echo "bytes through squashfuse differ" >&2; exit 1; }
  unserve "$sqmnt" "$work/sq.cpu"
  s_sq=$(seconds "$t6" "$t7") c_sq=$cpu_seconds
}
for round in $(seq "$rounds"); do
  sqline=""
  if [ -n "$squash" ] && [ $((round % 2)) -eq 0 ]; then through_squashfuse; fi
  through_mount
  t4=$(now); cat "$plain" >/dev/null; t5=$(now)
  s_cat=$(seconds "$t4" "$t5")
  if [ -n "$squash" ] && [ $((round % 2)) -eq 1 ]; then through_squashfuse; fi
  if [ -n "$squash" ]; then
    sqfirst=$(best "$s_sq" "$sqfirst") all_sq="$all_sq $s_sq" all_csq="$all_csq $c_sq"
    sqline=", squashfuse first read $(rate "$bytes" "$s_sq") MB/s (server CPU ${c_sq} s)"
  fi
  echo "round $round: mount first read $(rate "$bytes" "$s_first") MB/s," \
       "again $(rate "$bytes" "$s_again") MB/s, cat $(rate "$bytes" "$s_cat") MB/s" \
       "(server CPU ${c_mount} s)$sqline"
  first=$(best "$s_first" "$first") again=$(best "$s_again" "$again") plaincat=$(best "$s_cat" "$plaincat")
  all_first="$all_first $s_first" all_again="$all_again $s_again" all_cat="$all_cat $s_cat"
  all_cmount="$all_cmount $c_mount"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }
m_first=$(echo "$all_first" | median) m_again=$(echo "$all_again" | median)
m_cat=$(echo "$all_cat" | median)
echo "best: mount first read $(rate "$bytes" "$first") MB/s, ratio $(ratio "$first" "$plaincat")x" \
     "of cat; read again $(rate "$bytes" "$again") MB/s, ratio $(ratio "$again" "$plaincat")x;" \
     "cat $(rate "$bytes" "$plaincat") MB/s"
echo "median: mount first read $(rate "$bytes" "$m_first") MB/s, ratio $(ratio "$m_first" "$m_cat")x" \
     "of cat; read again $(rate "$bytes" "$m_again") MB/s, ratio $(ratio "$m_again" "$m_cat")x;" \
     "cat $(rate "$bytes" "$m_cat") MB/s"
if [ -n "$squash" ]; then
  m_sq=$(echo "$all_sq" | median)
  echo "best: squashfuse first read $(rate "$bytes" "$sqfirst") MB/s;" \
       "mount first read ratio $(ratio "$first" "$sqfirst")x of squashfuse"
  echo "median: squashfuse first read $(rate "$bytes" "$m_sq") MB/s;" \
       "mount first read ratio $(ratio "$m_first" "$m_sq")x of squashfuse"
  m_cmount=$(echo "$all_cmount" | median) m_csq=$(echo "$all_csq" | median)
  echo "median server CPU for the mount: $m_cmount s, squashfuse: $m_csq s;" \
       "squashfuse takes $(ratio "$m_cmount" "$m_csq")x the mount's"
fi
