#!/bin/sh
# The guest half of bench/drive-vs-dd.sh: in the drive guest, in place of the test's plan runner
# (same arguments), times dd bs=64k of the drive against brindle-cli convert --drive of it.
#
#   drive-guest-bench.sh CLI drives PLAN OUTROOT
#
# PLAN's first line is the number of rounds; each further line names another brindle-cli to
# time the same way ("NAME PATH", e.g. an older build). Each round runs dd and every brindle-cli,
# in an order that turns from round to round, each after the guest's page cache is dropped, and
# reports on stdout:
#   @@ QUEUE ...   the drive's request sizes, as the block layer has them
#   @@ BENCH ROUND dd MILLISECONDS SHA256 BYTES STATUS
#   @@ BENCH ROUND convert MILLISECONDS SHA256 BYTES STATUS STDERR-LINES   (CLI; NAME for others)
# and then, for convert's fixed cost, the best of three runs of CLI doing no more than starting
# (--version: loading the program and its libraries) and listing the drives:
#   @@ START version MILLISECONDS
#   @@ START drives MILLISECONDS
set -u
cli=$1 plan=$3 outRoot=$4
rounds=$(head -n1 "$plan")

now_ms() {
  read -r up _ </proc/uptime
  hundredths=${up#*.}
  echo $((${up%.*} * 1000 + 10 * ${hundredths#0}))
}

report() {
  echo "@@ BENCH $1 $2 $3 $(sha256sum <"$4" | cut -d' ' -f1) $(wc -c <"$4") $5${6:+ $6}"
  rm -f "$4"
}

cold() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
}

# run ROUND NAME: dd, or the brindle-cli of that name.
run() {
  cold
  started=$(now_ms)
  if [ "$2" = dd ]; then
    dd if=/dev/sr0 of="$outRoot/dd.iso" bs=64k 2>/dev/null
    status=$?
    report "$1" dd $(($(now_ms) - started)) "$outRoot/dd.iso" $status
    return
  fi
  program=$cli
  [ "$2" = convert ] || program=$(awk -v n="$2" 'NR > 1 && $1 == n { print $2 }' "$plan")
  "$program" convert -q --drive D "$outRoot/convert.iso" </dev/null 2>"$outRoot/convert.err"
  status=$?
  report "$1" "$2" $(($(now_ms) - started)) "$outRoot/convert.iso" $status \
    "$(wc -l <"$outRoot/convert.err")"
}

mkdir -p "$outRoot"
queue=/sys/block/sr0/queue
echo "@@ QUEUE largest request $(cat $queue/max_sectors_kb) KiB (hardware $(cat $queue/max_hw_sectors_kb) KiB), read-ahead $(cat $queue/read_ahead_kb) KiB"
names="dd convert $(awk 'NR > 1 { printf "%s ", $1 }' "$plan")"
round=1
while [ "$round" -le "$rounds" ]; do
  for name in $names; do run "$round" "$name"; done
  # The next round starts with the one that came second.
  first=${names%% *}
  names="${names#* } $first"
  round=$((round + 1))
done
for what in version drives; do
  best=""
  for _ in 1 2 3; do
    started=$(now_ms)
    if [ "$what" = version ]; then "$cli" --version; else "$cli" drives; fi >/dev/null 2>&1
    took=$(($(now_ms) - started))
    [ -z "$best" ] || [ "$took" -lt "$best" ] && best=$took
  done
  echo "@@ START $what $best"
done
