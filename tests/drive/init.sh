#!/bin/busybox sh
# PID 1 of the drive-test guest (busybox initramfs built by scripts/test-drive).
#
# The host chooses what to do on the kernel command line; the kernel hands parameters it does
# not know to init as environment variables:
#   brindle_modules  comma-separated kernel modules to load, in order (the bus of this run)
#   brindle_drives   how many drives to wait for (/dev/sr0, /dev/sr1, ...)
#   brindle_plan     which /test/plan-NAME to run ("none": only the probe)
#   brindle_copy     1: the probe also copies each whole disc, so the host can check SG_IO reads
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
  insmod "/lib/modules/$module.ko" 2>/tmp/insmod.err ||
    report "@@ INSMOD-FAILED $module $(cat /tmp/insmod.err)"
done
unset IFS

# The drives appear once their bus has been scanned; give them ten seconds.
drives=${brindle_drives:-1}
last=/dev/sr$((drives - 1))
i=0
while [ ! -b "$last" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
report "@@ DEVICES $(ls /sys/class/block | grep '^sr' | tr '\n' ' ')after $((i * 100)) ms"

n=0
while [ $n -lt "$drives" ] && [ -b /dev/sr$n ]; do
  sysfs=/sys/class/block/sr$n/device
  # The SCSI address (host:channel:target:lun) says which emulated drive became which device.
  report "@@ SR sr$n $(basename "$(readlink $sysfs)") [$(cat $sysfs/vendor)] [$(cat $sysfs/model)]"
  copy=""
  [ "${brindle_copy:-0}" = 1 ] && copy=/tmp/disc.bin
  drive-probe /dev/sr$n $copy >/tmp/probe.out 2>&1
  report "@@ PROBE-EXIT sr$n $?"
  while IFS= read -r line; do report "@@ PROBE sr$n $line"; done </tmp/probe.out
  if [ -n "$copy" ] && [ -f "$copy" ]; then
    report "@@ PROBE-SUM sr$n $(sha256sum <"$copy" | cut -d' ' -f1) $(wc -c <"$copy")"
    rm -f "$copy"
  fi
  n=$((n + 1))
done

if [ -b "$last" ] && [ "${brindle_plan:-none}" != none ]; then
  # Anyone may read the drives but only root may write them: an unprivileged user can only open
  # them read-only, and then the kernel lets through only the commands it deems safe to read.
  chmod 0644 /dev/sr*
  start=$(uptime_ms)
  sh /test/run-plan.sh /opt/brindle/brindle-cli drives "/test/plan-$brindle_plan" /out >&3
  report "@@ PLAN-TIME $(($(uptime_ms) - start))"
fi
report "@@ END $(uptime_ms)"
# Closing the port waits until the last byte has left it.
exec 3>&-
poweroff -f
