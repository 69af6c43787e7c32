#!/usr/bin/env python3
"""medium-steps.py QMP_SOCK RESULTS TRACE DEVICE STEP...

Changes the medium of the guest's drive DEVICE through QEMU's monitor (QMP) when the guest
asks: each STEP waits for the next "@@ MARK" line in RESULTS (the guest's report port), then
  change:IMAGE    inserts IMAGE (read-only, raw) in place of the disc in the drive;
  eject:READS     waits until TRACE shows READS more READ(10) commands than at the mark (or
                  twenty seconds), then opens the tray by force, in the middle of those reads.
Prints one line per step; exits 1 when the guest never asks or the monitor refuses."""
import json
import os
import socket
import sys
import time

sock_path, results, trace, device = sys.argv[1:5]
steps = sys.argv[5:]


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def read10_count():
    # virtio-scsi: "scsi_req_parsed ... command 40 ..." (decimal opcode of READ(10)).
    return sum(1 for line in read(trace).splitlines()
               if b"scsi_req_parsed" in line and b" command 40 " in line)


deadline = time.time() + 60
while not os.path.exists(sock_path):
    if time.time() > deadline:
        sys.exit("no monitor socket")
    time.sleep(0.05)
s = socket.socket(socket.AF_UNIX)
s.connect(sock_path)
f = s.makefile("rw")
f.readline()  # greeting


def command(execute, **arguments):
    f.write(json.dumps({"execute": execute, "arguments": arguments}) + "\n")
    f.flush()
    while True:
        answer = json.loads(f.readline())
        if "return" in answer or "error" in answer:
            return answer


command("qmp_capabilities")
for n, step in enumerate(steps, start=1):
    deadline = time.time() + 120
    while read(results).count(b"@@ MARK ") < n:
        if time.time() > deadline:
            sys.exit("the guest never asked for step %d (%s)" % (n, step))
        time.sleep(0.05)
    kind, _, value = step.partition(":")
    if kind == "change":
        answer = command("blockdev-change-medium", id=device, filename=value, format="raw",
                         **{"read-only-mode": "read-only"})
    elif kind == "eject":
        start, until = read10_count(), time.time() + 20
        while read10_count() < start + int(value) and time.time() < until:
            time.sleep(0.01)
        answer = command("eject", id=device, force=True)
        answer["reads-before"] = read10_count() - start
    else:
        sys.exit("unknown step " + step)
    print("step", n, step, "->", json.dumps(answer), flush=True)
    if "error" in answer:
        sys.exit(1)
