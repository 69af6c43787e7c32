#!/usr/bin/env bash
# The Win32 window's launch to first paint, measured inside the process: brindle.exe started
# with BRINDLE_EXIT_AFTER_SHOW paints its window once, says "shown after S s" (seconds since the
# process was created) and quits. Runs under Wine on a virtual display (Xvfb), one Wine server
# kept running across the runs, each exe given in turn (so a before/after pair shares the load).
#   bench/app/firstpaint-win.sh RUNS EXE [EXE ...]
# e.g. bench/app/firstpaint-win.sh 10 build-win-x86_64/winapp/brindle.exe /tmp/old/brindle.exe
# Uses WINEPREFIX when set, else build-wine-prefix (made once, as scripts/test-windows does).
set -euo pipefail
usage="usage: bench/app/firstpaint-win.sh RUNS EXE [EXE ...]"
runs=${1:?$usage}
shift
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
for exe in "$@"; do [ -f "$exe" ] || { echo "no $exe" >&2; exit 2; }; done
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$PWD/build-wine-prefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.brindle-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 600 wineboot --init >/dev/null 2>&1
  timeout 600 wineserver -w
  touch "$WINEPREFIX/.brindle-ready"
fi
if [ "${BRINDLE_FIRSTPAINT_INNER:-}" != 1 ]; then
  # The window needs a display; Wine's desktop lives on it, so the server starts inside too.
  BRINDLE_FIRSTPAINT_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$runs" "$@"
fi
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
results=$(mktemp)
# Once each first: Wine's desktop and the file cache are then ready.
for exe in "$@"; do BRINDLE_EXIT_AFTER_SHOW=1 wine "$exe" >/dev/null 2>&1 || true; done
for _ in $(seq "$runs"); do
  for exe in "$@"; do
    seconds=$(BRINDLE_EXIT_AFTER_SHOW=1 wine "$exe" 2>&1 | sed -n 's/^shown after \([0-9.]*\) s.*/\1/p')
    [ -n "$seconds" ] || { echo "$exe did not say when it was shown" >&2; exit 1; }
    echo "$exe $seconds" >>"$results"
  done
done
for exe in "$@"; do
  awk -v exe="$exe" '$1 == exe { print $2 }' "$results" | sort -n |
    awk -v exe="$exe" '{ t[NR] = $1 } END {
      printf "%s: first paint after min %.3f s, median %.3f s, max %.3f s (%d runs, Wine)\n",
        exe, t[1], t[int((NR + 1) / 2)], t[NR], NR }'
done
rm -f "$results"
