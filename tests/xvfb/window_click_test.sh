#!/usr/bin/env bash
# The real window under Xvfb: found by its caption, Start pressed with a real mouse click, the
# pages checked on disk afterwards.
#   window_click_test.sh SPLICERY SPLICERY_CLI EXAMPLE_SITE
set -euo pipefail
app_bin=$1 cli_bin=$2 example=$3
if [[ -z "${IN_XVFB:-}" ]]; then
  exec env IN_XVFB=1 "$(dirname "$0")/../../tools/with-xvfb.sh" "$0" "$@"
fi
if ! command -v xdotool >/dev/null; then
  echo "xdotool fehlt: übersprungen (apt-get install xdotool)" >&2
  exit 77
fi
site=$(mktemp -d)
app=
trap '[[ -n $app ]] && kill $app 2>/dev/null; rm -rf "$site"' EXIT
cp -r "$example/." "$site"
(cd "$site" && exec "$app_bin") &
app=$!
window=$(timeout 20 xdotool search --sync --name '^Splicery V\. 1\.0$' | head -1)
[[ -n "$window" ]] || { echo "FAIL: no window named 'Splicery V. 1.0'"; exit 1; }
[[ ! -e "$site/splicery.sic" ]] || { echo "FAIL: files written before Start"; exit 1; }

sleep 0.3
xdotool mousemove --window "$window" 392 504 click 1
for _ in $(seq 100); do
  [[ -e "$site/splicery.sic/news.htm. 1.htm" ]] && break
  sleep 0.1
done
sleep 0.3
for page in $(cat "$site/include.txt"); do
  cmp -s "$example/$page" "$site/splicery.sic/$page. 1.htm" ||
    { echo "FAIL: no backup copy of $page"; exit 1; }
done
grep -q 'Sommerfest am Mühlbach</a></li>' "$site/news.htm" ||
  { echo "FAIL: news.htm has no news list"; exit 1; }
"$cli_bin" -C "$site" --check >/dev/null ||
  { echo "FAIL: pages not up to date after Start"; exit 1; }
# A second click finds Start disabled: no second backup.
xdotool mousemove --window "$window" 392 504 click 1
sleep 0.5
[[ ! -e "$site/splicery.sic/news.htm. 2.htm" ]] || { echo "FAIL: a second run started"; exit 1; }
echo "window found, Start clicked, $(wc -l < "$site/include.txt") pages backed up and updated"
