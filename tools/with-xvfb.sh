#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command with DISPLAY set to a fresh Xvfb server on a free display number, and stops
# the server afterwards. Exits 77 (skip) when Xvfb is not installed.
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "Xvfb fehlt: übersprungen (apt-get install xvfb xdotool)" >&2
  exit 77
fi
for display in $(seq 91 140); do
  [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]] || break
done
# -noreset: by default the server resets when its last client leaves, and a program started in
# that moment cannot connect (the tests start one program after another).
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [[ -e /tmp/.X11-unix/X$display ]] && break
  sleep 0.05
done
DISPLAY=":$display" "$@"
