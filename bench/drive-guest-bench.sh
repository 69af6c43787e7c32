#!/bin/sh
# The guest half of bench/drive-vs-dd.sh: in the drive guest, in place of the test's plan runner
# (same arguments), times dd bs=64k of the drive against brindle-cli convert --drive of it.
#
#   drive-guest-bench.sh CLI drives PLAN OUTROOT
#
# PLAN holds one line: the number of rounds. Each round runs both, in turns which goes first,
# each after the guest's page cache is dropped, and reports on stdout:
#   @@ QUEUE ...   the drive's request sizes, as the block layer has them
#   @@ BENCH ROUND dd MILLISECONDS SHA256 BYTES STATUS
#   @@ BENCH ROUND convert MILLISECONDS SHA256 BYTES STATUS STDERR-LINES
set -u
cli=$1 plan=$3 outRoot=$4
rounds=$(cat "$plan")

now_ms() {
  read -r up _ </proc/uptime
  hundredths=${up#*.}
  echo $((${up%.*} * 1000 + 10 * ${hundredths#0}))
}

report() {
  echo "@@ BENCH $1 $2 $3 $(sha256sum <"$4" | cut -d' ' -f1) $(wc -c <"$4") $5${6:+ $6}"
  rm -f "$4"
}

run_dd() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
  started=$(now_ms)
  dd if=/dev/sr0 of="$outRoot/dd.iso" bs=64k 2>/dev/null
  status=$?
  report "$1" dd $(($(now_ms) - started)) "$outRoot/dd.iso" $status
}

run_convert() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
  started=$(now_ms)
  "$cli" convert -q --drive D "$outRoot/convert.iso" </dev/null 2>"$outRoot/convert.err"
  status=$?
  report "$1" convert $(($(now_ms) - started)) "$outRoot/convert.iso" $status \
    "$(wc -l <"$outRoot/convert.err")"
}

mkdir -p "$outRoot"
queue=/sys/block/sr0/queue
echo "@@ QUEUE largest request $(cat $queue/max_sectors_kb) KiB (hardware $(cat $queue/max_hw_sectors_kb) KiB), read-ahead $(cat $queue/read_ahead_kb) KiB"
round=1
while [ "$round" -le "$rounds" ]; do
  if [ $((round % 2)) = 1 ]; then
    run_dd "$round"
    run_convert "$round"
  else
    run_convert "$round"
    run_dd "$round"
  fi
  round=$((round + 1))
done
