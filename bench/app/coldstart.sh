#!/usr/bin/env bash
# Cold start of the window: from launching brindle until its window has been painted once
# (BRINDLE_EXIT_AFTER_SHOW makes it quit right then), over several runs.
#   bench/app/coldstart.sh [BUILD_DIR] [RUNS]
# Uses the X display in DISPLAY when there is one (e.g. Xvfb :99), otherwise Qt's offscreen
# platform.
set -euo pipefail
build=${1:-build}
runs=${2:-20}
exe="$build/app/brindle"
[ -x "$exe" ] || { echo "no $exe: build it first" >&2; exit 2; }
if [ -z "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
export BRINDLE_EXIT_AFTER_SHOW=1

BRINDLE_EXIT_AFTER_SHOW=1 "$exe" >/dev/null 2>&1  # warm the file cache once
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$exe" >/dev/null 2>&1
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000 )))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v runs="$runs" -v platform="${QT_QPA_PLATFORM:-xcb $DISPLAY}" '
  { t[NR] = $1; sum += $1 }
  END {
    printf "cold start over %d runs (%s): mean %.1f ms, median %.1f ms, min %.1f ms, max %.1f ms\n",
           runs, platform, sum / NR / 1000, t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000
  }'
