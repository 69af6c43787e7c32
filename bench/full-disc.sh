#!/usr/bin/env bash
# A whole disc at full scale: a tree of FILES files in FOLDERS folders and about MB megabytes
# (three folders hold 3/20 of the files each, so that their directories run to dozens of
# blocks at full scale), packed by brindle-cli pack into a plain image and turned
# into a CHD by chdman createcd from a CUE sheet. Then, for the image and the CHD, in interleaved
# rounds with their baselines on the tree itself (all warm in the page cache):
#   extract -r                    against cp -r of the tree
#   verify                        against cat of every file of the tree
#   tree                          against find of the tree
#   mount + find + cat every file against find + cat of every file of the tree
# Every output is checked first: the extracted trees equal the tree (diff -r), tree lists the
# same paths as find, cat through the mount gives the same bytes. Peak memory (maximum resident
# set size) of each command is printed beside its time; run at two scales to see whether it
# grows with the number of files.
#   bench/full-disc.sh BUILD_DIR [FILES] [FOLDERS] [MB] [ROUNDS]
# Default: a quarter of a full disc (5,000 files, 500 folders, 160 MB), a few minutes. A full
# disc: bench/full-disc.sh build 20000 2000 650. Needs brindle-cli built in BUILD_DIR, python3,
# chdman (mame-tools) for the CHD rows, /dev/fuse and the right to mount for the mount rows
# (left out with a note otherwise). Works in a scratch folder under $TMPDIR (or /tmp), removed at
# the end; every run's output is kept until then (a full disc with 3 rounds: about 9 GB).
set -euo pipefail
build=${1:?usage: bench/full-disc.sh BUILD_DIR [FILES] [FOLDERS] [MB] [ROUNDS]}
files=${2:-5000}
folders=${3:-500}
mb=${4:-160}
rounds=${5:-3}
cli=$(realpath "$build/cli/brindle-cli")
[ -x "$cli" ] || { echo "build brindle-cli first" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed to write the tree" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-full-disc.XXXXXX")
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && fusermount3 -u "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
# Runs a command under /usr/bin/time; leaves its wall seconds in $wall and its peak memory in KB
# in $rss. A failing command stops the run.
timed() {
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" || { echo "failed: $*" >&2; exit 1; }
  read -r wall rss <"$work/time.txt"
}

echo "== writing a tree of $files files in $folders folders, about $mb MB..."
python3 - "$work/tree" "$files" "$folders" "$mb" <<'EOF'
import os, random, sys
root, files, folders, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(22)
# Three crowded folders of 3/20 of the files each (1,500 at full scale: directories of 50-odd
# blocks); the other folders two levels deep, the files spread over them.
crowded = [f"crowded/many{i}" for i in range(1, 4)]
per_crowded = files * 3 // 20
rest_folders = max(folders - len(crowded) - 1, 1)
tops = max(int(rest_folders ** 0.5), 1)
paths = []
for i in range(rest_folders):
    top = i % tops
    paths.append(f"top{top:03d}" if i < tops else f"top{top:03d}/sub{i:04d}")
places = []
for c in crowded:
    places += [c] * per_crowded
for i in range(files - len(places)):
    places.append(paths[i % len(paths)])
# Sizes: mostly small and uneven (seldom whole blocks), a few large ones holding a third of it.
sizes = [int(rng.expovariate(1.0)  * 1000) + rng.randrange(1, 2048) for _ in places]
large = max(files // 500, 1)
budget = mb * 1000000
small_total = sum(sizes)
scale = (budget * 2 / 3) / small_total
sizes = [max(1, int(s * scale)) for s in sizes]
for i in rng.sample(range(len(sizes)), large):
    sizes[i] = int(budget / 3 / large) + rng.randrange(0, 2048)
# Half of each file random, half repeating text: the CHD compresses the one and not the other.
text = b"The quick brown fox jumps over the lazy dog. 0123456789\n" * 4096
for n, (place, size) in enumerate(zip(places, sizes)):
    folder = os.path.join(root, place)
    os.makedirs(folder, exist_ok=True)
    half = size // 2
    data = rng.randbytes(half)
    while len(data) < size:
        data += text[: size - len(data)]
    with open(os.path.join(folder, f"file{n:05d}.dat"), "wb") as out:
        out.write(data)
for p in paths:
    os.makedirs(os.path.join(root, p), exist_ok=True)
EOF
bytes=$(du -sb "$work/tree" | cut -f1)
nfiles=$(find "$work/tree" -type f | wc -l)
ndirs=$(find "$work/tree" -mindepth 1 -type d | wc -l)
"$cli" pack -q "$work/tree" "$work/disc.iso"
echo "   $nfiles files, $ndirs folders, $((bytes / 1000000)) MB in files;" \
     "image $(($(stat -c %s "$work/disc.iso") / 1000000)) MB"
sources=("$work/disc.iso")
if command -v chdman >/dev/null; then
  printf 'FILE "disc.iso" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' >"$work/disc.cue"
  chdman createcd -i "$work/disc.cue" -o "$work/disc.chd" >/dev/null 2>&1
  echo "   CHD $(($(stat -c %s "$work/disc.chd") / 1000000)) MB (chdman's default codecs)"
  sources+=("$work/disc.chd")
else
  echo "   (chdman is not installed: no CHD rows)"
fi
can_mount=yes
if [ ! -c /dev/fuse ] || ! command -v fusermount3 >/dev/null; then
  can_mount=""
  echo "   (no /dev/fuse or fusermount3: no mount rows)"
fi

# The paths as tree prints them: directories end in /.
(cd "$work/tree" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \) | sort) \
  >"$work/paths.want"
want_hash=$(cd "$work/tree" && find . -type f -print0 | sort -z | xargs -0 cat | sha1sum)
cat "$work/disc.iso" ${sources[1]:+"${sources[1]}"} >/dev/null

mount_disc() {  # source: serves it on $mnt in the foreground, under /usr/bin/time, in background
  /usr/bin/time -f "%e %M" -o "$work/mount-time.txt" "$cli" mount -f -q --image "$1" "$mnt" &
  mount_pid=$!
  for _ in $(seq 1 200); do mountpoint -q "$mnt" && return 0; sleep 0.05; done
  echo "the mount did not appear" >&2
  exit 1
}
unmount_disc() {  # leaves the server's peak memory in $rss
  fusermount3 -u "$mnt"
  wait "$mount_pid"
  read -r _ rss <"$work/mount-time.txt"
}

echo "== checking every output first..."
for src in "${sources[@]}"; do
  name=$(basename "$src")
  "$cli" extract -r -q --image "$src" "$work/check-$name"
  diff -r "$work/tree" "$work/check-$name" >/dev/null ||
    { echo "extract -r of $name differs" >&2; exit 1; }
  "$cli" verify -q --image "$src" >/dev/null 2>&1 || { echo "verify of $name failed" >&2; exit 1; }
  "$cli" tree --image "$src" | sort | cmp -s - "$work/paths.want" ||
    { echo "tree of $name lists other paths" >&2; exit 1; }
  if [ -n "$can_mount" ]; then
    mount_disc "$src"
    got=$(cd "$mnt" && find . -type f -print0 | sort -z | xargs -0 cat | sha1sum)
    unmount_disc
    [ "$got" = "$want_hash" ] || { echo "the files through the mount of $name differ" >&2; exit 1; }
  fi
done

declare -A best peak
keep() {  # key seconds [kb]: the best time and the highest peak memory seen
  best[$1]=$(awk -v x="$2" -v y="${best[$1]:-1e9}" 'BEGIN { print (x < y) ? x : y }')
  [ -z "${3:-}" ] || [ "${3}" -le "${peak[$1]:-0}" ] || peak[$1]=$3
}
baselines() {
  sync
  t0=$(now); cp -r "$work/tree" "$work/out-cp$round"; t1=$(now)
  keep cp "$(seconds "$t0" "$t1")"
  t0=$(now); find "$work/tree" -type f -exec cat {} + >/dev/null; t1=$(now)
  keep cat "$(seconds "$t0" "$t1")"
  t0=$(now); find "$work/tree" >/dev/null; t1=$(now)
  keep find "$(seconds "$t0" "$t1")"
}
brindle() {  # source
  local kind=${1##*.}
  sync
  timed "$cli" extract -r -q --image "$1" "$work/out-$kind$round"
  keep "extract $kind" "$wall" "$rss"
  timed "$cli" verify -q --image "$1" >/dev/null 2>&1
  keep "verify $kind" "$wall" "$rss"
  timed "$cli" tree --image "$1" >/dev/null
  keep "tree $kind" "$wall" "$rss"
  if [ -n "$can_mount" ]; then
    mount_disc "$1"
    t0=$(now); find "$mnt" -type f -exec cat {} + >/dev/null; t1=$(now)
    unmount_disc
    keep "mount $kind" "$(seconds "$t0" "$t1")" "$rss"
  fi
}
# Every round writes into new folders, removed only at the end: ext4 without a journal skips
# inodes freed in the last half minute, scanning past each, so files created right after many
# were removed cost far more than their copy. The order of the baselines alternates.
for round in $(seq 1 "$rounds"); do
  [ $((round % 2)) -eq 1 ] && baselines
  for src in "${sources[@]}"; do brindle "$src"; done
  [ $((round % 2)) -eq 0 ] && baselines
  line="round $round (best so far): cp -r ${best[cp]} s, cat ${best[cat]} s, find ${best[find]} s"
  for src in "${sources[@]}"; do
    kind=${src##*.}
    line+="; $kind extract -r ${best["extract $kind"]} s, verify ${best["verify $kind"]} s,"
    line+=" tree ${best["tree $kind"]} s${best["mount $kind"]:+, mount+find+cat ${best["mount $kind"]} s}"
  done
  echo "$line"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }
echo "== $nfiles files, $ndirs folders, $((bytes / 1000000)) MB; best of $rounds rounds," \
     "ratio = baseline time / brindle time (above 1: faster than the baseline)"
printf '%-22s %9s %9s %-26s %12s\n' "command" "seconds" "ratio" "baseline" "peak memory"
for src in "${sources[@]}"; do
  kind=${src##*.}
  for row in "extract:cp:cp -r of the tree" "verify:cat:find + cat of the tree" \
             "tree:find:find of the tree" "mount:cat:find + cat of the tree"; do
    IFS=: read -r cmd base what <<<"$row"
    [ -n "${best["$cmd $kind"]:-}" ] || continue
    label="$cmd $kind"
    [ "$cmd" = extract ] && label="extract -r $kind"
    [ "$cmd" = mount ] && label="mount+find+cat $kind"
    printf '%-22s %9s %8sx %-26s %9s MB\n' "$label" "${best["$cmd $kind"]}" \
      "$(ratio "${best["$cmd $kind"]}" "${best[$base]}")" "$what ${best[$base]} s" \
      "$(awk -v k="${peak["$cmd $kind"]}" 'BEGIN { printf "%.1f", k / 1024 }')"
  done
done
