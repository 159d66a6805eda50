#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kelvora-sim --view under a real X server (Xvfb): a screenshot of the screen must show
# the robot's window, its banner among many colours, not an empty screen.
# Usage: view_screenshot_test.sh KELVORA_SIM OUTPUT_PNG. Exit status 77: cannot run here.
set -euo pipefail
sim=$1 out=$2
for tool in xvfb-run Xvfb import convert identify; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
rm -f "$out"

# What kelvora-sim runs as its program: shoot once the window is drawn, then end.
shoot='for _ in $(seq 1 75); do
  if import -window root "$1" 2>/dev/null && [ "$(identify -format %k "$1")" -ge 32 ]; then
    exit 0
  fi
  sleep 0.2
done
exit 1'
# a server number of its own: other runs of this test may look for a free one at once
# (a cross build's kelvora-sim under its emulator, KELVORA_TEST_EMULATOR)
# shellcheck disable=SC2086 # the emulator's command words
xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x720x24" ${KELVORA_TEST_EMULATOR:-} "$sim" --view --no-keys --no-status --layout rob5 \
  --start 60,40,30,500,10 -- sh -c "$shoot" shoot "$out"

colours=$(identify -format %k "$out")
# the banner of a box that answers normally
banner=$(convert "$out" -fill black +opaque "rgb(21,101,192)" -fill white -opaque "rgb(21,101,192)" \
  -format "%[fx:round(mean*w*h)]" info:)
echo "screenshot $out: $colours colours, $banner banner pixels"
[ "$colours" -ge 32 ] && [ "$banner" -ge 2000 ]
