#!/usr/bin/env bash
# brindle-cli convert --drive against dd bs=64k of the same drive, in the drive guest (a real
# Linux SCSI stack under QEMU, the emulated drive holding an Opera image of MB megabytes).
#   bench/drive-vs-dd.sh BUILD_DIR [MB] [ROUNDS] [BUS]
# MB is 256 unless given: convert's start-up (about 0.3 s in the guest, where dd needs none)
# would outweigh the copy on a small disc. BUS is virtio (virtio-scsi, the default) or ide. dd and
# convert run ROUNDS (3) times in one boot, in turns, each from a cold guest page cache. Each
# copy must equal the image byte for byte (and convert must exit 0 and say nothing) before the
# best and median times and their ratios (dd's time / convert's) are printed.
# BRINDLE_DRIVE_CPUS=N gives the guest N processors (1, as the drive test's guest has).
# BRINDLE_BENCH_OTHERS="NAME=PATH ..." times other brindle-cli builds (e.g. main's) the same way,
# in the same boot, each checked and printed as NAME.
# The guest is the one scripts/test-drive boots (scripts/drive-guest.sh); its kernel is kept in
# BUILD_DIR/drive-test/kernel, this run's files in BUILD_DIR/drive-test/bench.
set -euo pipefail
usage="usage: bench/drive-vs-dd.sh BUILD_DIR [MB] [ROUNDS] [virtio|ide]"
build=$(cd "${1:?$usage}" && pwd)
mb=${2:-256}
rounds=${3:-3}
bus=${4:-virtio}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/drive-test
run=$work/bench
say() { echo "drive-vs-dd: $*"; }
die() {
  echo "drive-vs-dd: $*" >&2
  exit 1
}
# shellcheck source=scripts/drive-guest.sh
source "$root/scripts/drive-guest.sh"

cli=$build/cli/brindle-cli
tool=$(find "$build" -type f -name opera-image-tool -perm -u+x | head -n1)
[ -x "$cli" ] && [ -n "$tool" ] || die "build brindle-cli and opera-image-tool first"
install_missing
mkdir -p "$work"
fetch_kernel
rm -rf "$run"
mkdir -p "$run"

# Files of 1 MiB: the volume ends where the image does, so convert writes the whole image.
"$tool" large "$run/disc.iso" --count "$mb" --size $((1024 * 1024)) >/dev/null
"$cli" convert -q --image "$run/disc.iso" "$run/host.iso"
cmp -s "$run/disc.iso" "$run/host.iso" || die "the image is not its own volume's plain image"
want="$(sha256sum <"$run/disc.iso" | cut -d' ' -f1) $(stat -c %s "$run/disc.iso")"
rm -f "$run/host.iso"

rootfs=$run/rootfs
guest_rootfs "$rootfs"
install -m 0755 "$root/bench/drive-guest-bench.sh" "$rootfs/test/run-plan.sh"
echo "$rounds" >"$rootfs/test/plan-bench"
copy_with_libraries "$rootfs" "$cli" /opt/brindle/brindle-cli
strip --strip-debug "$rootfs/opt/brindle/brindle-cli"  # a smaller initramfs boots sooner
kinds=(dd convert)
for other in ${BRINDLE_BENCH_OTHERS:-}; do
  name=${other%%=*}
  [ -x "${other#*=}" ] && [ "$name" != dd ] && [ "$name" != convert ] || die "BRINDLE_BENCH_OTHERS: $other"
  copy_with_libraries "$rootfs" "${other#*=}" "/opt/others/$name"
  strip --strip-debug "$rootfs/opt/others/$name"
  echo "$name /opt/others/$name" >>"$rootfs/test/plan-bench"
  kinds+=("$name")
done
pack_initramfs "$rootfs" "$run/initrd.gz"

case $bus in
  virtio) drive=(-device virtio-scsi-pci -device scsi-cd,drive=cd) ;;
  ide) drive=(-device ide-cd,drive=cd,bus=ide.1,unit=0) ;;
  *) die "$usage" ;;
esac
kernel=$(ls "$kernel_dir"/root/boot/vmlinuz-* | head -n1)
say "$mb MB disc on $bus, $rounds rounds"
timeout "${BRINDLE_DRIVE_TIMEOUT:-900}" qemu-system-x86_64 -accel tcg -nodefaults -no-reboot \
  -display none -m 1024 -smp "${BRINDLE_DRIVE_CPUS:-1}" -kernel "$kernel" -initrd "$run/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 scsi_mod.scan=sync brindle_modules=$(modules_for "$bus") brindle_drives=1 brindle_plan=bench brindle_copy=0" \
  -serial "file:$run/console.log" -serial "file:$run/results.log" \
  -drive "file=$run/disc.iso,format=raw,readonly=on,if=none,id=cd,media=cdrom" "${drive[@]}" \
  </dev/null >"$run/qemu.out" 2>&1 || true
tr -d '\r' <"$run/results.log" >"$run/results.txt"
grep -q '^@@ END' "$run/results.txt" ||
  die "the guest did not finish: $(head -c 300 "$run/qemu.out"; tail -n 15 "$run/console.log")"
[ "$(grep -c '^@@ BENCH ' "$run/results.txt")" -eq $((${#kinds[@]} * rounds)) ] ||
  die "the guest reported $(grep -c '^@@ BENCH ' "$run/results.txt") timings, not $((${#kinds[@]} * rounds))"

sed -n 's/^@@ QUEUE /drive-vs-dd: /p' "$run/results.txt"
sed -n 's/^@@ START \([a-z]*\) \([0-9]*\)/drive-vs-dd: brindle-cli --\1 alone (best of 3): \2 ms/p' \
  "$run/results.txt" | sed 's/--drives/drives/'
# Every copy byte-exact and every run clean before any time counts.
while read -r _ _ round what ms sum bytes status errors; do
  [ "$sum $bytes" = "$want" ] || die "round $round: $what's copy differs from the image"
  [ "$status" = 0 ] || die "round $round: $what exited with status $status"
  [ "${errors:-0}" = 0 ] || die "round $round: $what wrote to standard error"
  say "round $round: $what ${ms} ms"
done < <(grep '^@@ BENCH ' "$run/results.txt")
# Best and median of each; the median ratio weighs less on one lucky round of a busy host.
for what in "${kinds[@]}"; do
  awk -v w="$what" '$2 == "BENCH" && $4 == w { print $5 }' "$run/results.txt" | sort -n |
    awk -v w="$what" '{ t[NR] = $1; all = all " " $1 }
      END { print w, t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, all }'
done | awk -v mb="$mb" '
  {
    name[NR] = $1
    best[$1] = $2
    median[$1] = $3
    for (i = 4; i <= NF; i++) all[$1] = all[$1] " " $i
  }
  END {
    for (n = 1; n <= NR; n++) {
      k = name[n]
      printf "%s: best %d ms (%.1f MB/s), median %d ms; all:%s\n", k == "dd" ? "dd bs=64k" : k,
        best[k], mb * 1000 / best[k], median[k], all[k]
      if (k != "dd")
        printf "  %s: ratio %.2fx of dd (best), %.2fx (median)\n", k, best["dd"] / best[k],
          median["dd"] / median[k]
    }
  }'
