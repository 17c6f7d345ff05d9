#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command with DISPLAY set to a fresh Xvfb server on a free display number, and stops
# the server afterwards. Exits 77 (skip) when Xvfb is not installed.
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "Xvfb fehlt: übersprungen (apt-get install xvfb xdotool)" >&2
  exit 77
fi
# Xvfb picks a free display number itself and writes it once it takes connections, so that
# servers started at the same moment never race for one number.
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true; rm -f "$number"' EXIT
for _ in $(seq 200); do
  [[ -s $number ]] && break
  sleep 0.05
done
display=$(head -1 "$number")
[[ -n $display ]] || { echo "Xvfb startet nicht" >&2; exit 1; }
DISPLAY=":$display" "$@"
