#!/bin/busybox sh
# PID 1 of the drive-test guest (busybox initramfs built by scripts/test-drive).
#
# The host chooses what to do on the kernel command line; the kernel hands parameters it does
# not know to init as environment variables:
#   brindle_modules  comma-separated kernel modules to load, in order (the bus of this run)
#   brindle_plan     which /test/plan-NAME to run ("none": only the probe)
#   brindle_copy     1: the probe also copies the whole disc, so the host can check SG_IO reads
# Everything the host judges goes to the second serial port (/dev/ttyS1) as "@@ ..." lines, away
# from the kernel's console messages on ttyS0. The guest judges nothing itself.
/bin/busybox --install -s /bin
export PATH=/bin:/opt/brindle
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /out

exec 3>/dev/ttyS1
report() { echo "$*" >&3; }
# Milliseconds since boot, from /proc/uptime's hundredths ("08" must not read as octal).
uptime_ms() {
  read -r up _ </proc/uptime
  hundredths=${up#*.}
  echo $((${up%.*} * 1000 + 10 * ${hundredths#0}))
}

report "@@ BOOT $(uptime_ms)"
IFS=,
for module in ${brindle_modules:-}; do
  insmod "/lib/modules/$module.ko" 2>/tmp/insmod.err || report "@@ INSMOD-FAILED $module $(cat /tmp/insmod.err)"
done
unset IFS

# The drive appears once its bus has been scanned; give it ten seconds.
i=0
while [ ! -b /dev/sr0 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if [ -b /dev/sr0 ]; then
  report "@@ DEVICE /dev/sr0 after $((i * 100)) ms"
  for field in vendor model; do
    report "@@ SYSFS $field [$(cat /sys/class/block/sr0/device/$field)]"
  done
  copy=""
  [ "${brindle_copy:-0}" = 1 ] && copy=/tmp/disc.bin
  drive-probe /dev/sr0 $copy >/tmp/probe.out 2>&1
  report "@@ PROBE-EXIT $?"
  while IFS= read -r line; do report "@@ PROBE $line"; done </tmp/probe.out
  if [ -n "$copy" ] && [ -f "$copy" ]; then
    report "@@ PROBE-SUM $(sha256sum <"$copy" | cut -d' ' -f1) $(wc -c <"$copy")"
    rm -f "$copy"
  fi
  if [ "${brindle_plan:-none}" != none ]; then
    start=$(uptime_ms)
    sh /test/run-plan.sh /opt/brindle/brindle-cli "--drive D" "/test/plan-$brindle_plan" /out >&3
    report "@@ PLAN-TIME $(($(uptime_ms) - start))"
  fi
else
  report "@@ NO-DEVICE"
  ls /sys/class/block >&3 2>&1
fi
report "@@ END $(uptime_ms)"
# Closing the port waits until the last byte has left it.
exec 3>&-
poweroff -f
