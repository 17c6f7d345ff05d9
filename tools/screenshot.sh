#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shows the window on a copy of the example site under Xvfb, presses Start with a real click,
# and saves the window before and after the run to docs/.
#   tools/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
docs=$(pwd)/docs
# Always on a display of its own, so the pictures do not depend on the desktop.
if [[ -z "${IN_XVFB:-}" ]]; then
  exec env IN_XVFB=1 tools/with-xvfb.sh "$0" "$@"
fi
site=$(mktemp -d)
trap 'kill $app 2>/dev/null || true; rm -rf "$site"' EXIT
cp -r examples/site/. "$site"
(cd "$site" && exec "$build/splicery") &
app=$!
window=$(timeout 20 xdotool search --sync --name '^Splicery V\. 1\.0$' | head -1)
sleep 0.5
mkdir -p "$docs"
import -window "$window" "$docs/screenshot-start.png"
# Start is Command1 at 336,488 (113 x 33 pixels): click its middle.
xdotool mousemove --window "$window" 392 504 click 1
for _ in $(seq 100); do
  [[ -e "$site/splicery.sic/news.htm. 1.htm" ]] && break
  sleep 0.1
done
sleep 0.5
import -window "$window" "$docs/screenshot-done.png"
kill $app 2>/dev/null || true
wait $app 2>/dev/null || true

# The findings dialog, on a fresh copy with one page broken on purpose: its last block has lost
# its END line, and one key line is misspelt.
rm -rf "$site"/* && cp -r examples/site/. "$site"
tac examples/site/termine.htm | sed '0,/<!-- INCLUDE END -->/{//d}' | tac > "$site/termine.htm"
sed -i '0,/<!-- INCLUDE MENU -->/s//<!-- INCLUDE MENUE -->/' "$site/verein.htm"
(cd "$site" && exec "$build/splicery") &
app=$!
window=$(timeout 20 xdotool search --sync --name '^Splicery V\. 1\.0$' | head -1)
sleep 0.5
# List1 lies at 336,24: click into it, then Shift+F10 opens the page menu; "Seiten prüfen…" is
# its second entry.
xdotool mousemove --window "$window" 400 40 click 1
xdotool key --window "$window" shift+F10
sleep 0.3
xdotool key Down Down Return
dialog=$(timeout 20 xdotool search --sync --name '^Prüfung der Seiten$' | head -1)
sleep 0.5
import -window "$dialog" "$docs/screenshot-lint.png"
echo "docs/screenshot-start.png, docs/screenshot-done.png, docs/screenshot-lint.png"
