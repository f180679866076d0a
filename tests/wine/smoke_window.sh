#!/usr/bin/env bash
# Starts the real Netvane.exe under Wine with Qt's Windows platform on a virtual X display,
# waits for its main window and takes a picture of it.
#   smoke_window.sh WINE64 WINESERVER PROGRAM SEED.reg PICTURE.png
# WINEPREFIX names the prefix. Exit 0 when the window showed and the picture was taken.
# Wine's desktop takes the display of the first program of a session: the prefix's session is
# ended before and after, so that this one has the virtual display and the next has none.
set -euo pipefail
wine=$1 wineserver=$2 program=$3 seed=$4 picture=$5

if [ -z "${DISPLAY_READY:-}" ]; then
  for tool in xvfb-run xwininfo import; do
    command -v "$tool" >/dev/null || { echo "smoke_window: $tool is missing (scripts/install-deps)" >&2; exit 1; }
  done
  exec env DISPLAY_READY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
"$wine" reg delete 'HKLM\Software\Orlenta' /f >/dev/null 2>&1 || true
"$wine" reg import "$(winepath -w "$seed" 2>/dev/null || echo "Z:${seed//\//\\}")" >/dev/null 2>&1
"$wine" "$program" >/dev/null 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  "$wine" reg delete 'HKLM\Software\Orlenta' /f >/dev/null 2>&1 || true
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w
}
trap cleanup EXIT

# The program's windows titled "Netvane 2.0" that are on the screen: first the splash, then
# the main window.
shown() {
  for w in $(xwininfo -root -tree 2>/dev/null | awk '/"Netvane 2.0": \("netvane.exe"/ {print $1}'); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'IsViewable' && echo "$w"
  done
}
splash="" window=""
for _ in $(seq 1 180); do
  for w in $(shown); do
    if [ -z "$splash" ]; then splash=$w; elif [ "$w" != "$splash" ]; then window=$w; fi
  done
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "smoke_window: Netvane.exe ended before its window showed" >&2; exit 1; }
  sleep 0.5
done
[ -n "$window" ] || { echo "smoke_window: no main window within 90 s" >&2; exit 1; }
# Its first paint.
sleep 2
geometry=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
echo "main window $window, $geometry"
import -window "$window" "$picture"
[ -s "$picture" ] || { echo "smoke_window: no picture" >&2; exit 1; }
echo "picture: $picture"

# A second start, as when the logon task and the Run value both start the program: it hands
# over to the first and ends, and one main window stays.
timeout 120 "$wine" "$program" >/dev/null 2>&1 ||
  { echo "smoke_window: a second Netvane.exe did not end by itself" >&2; exit 1; }
windows=$(shown | wc -l)
[ "$windows" -eq 1 ] || { echo "smoke_window: $windows windows after a second start" >&2; exit 1; }
kill -0 "$pid" 2>/dev/null || { echo "smoke_window: the first Netvane.exe ended" >&2; exit 1; }
echo "a second start ended; one main window"
