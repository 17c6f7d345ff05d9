#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real window under Xvfb: found by its caption, Start pressed with a real mouse click, the
# pages checked on disk afterwards. Before that, the start-up paths: no display, a folder that
# cannot be entered, the folder dialog where include.txt is missing.
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
# In the sanitizer build, the exit status must not stand for a leak in a system library.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
site=$(mktemp -d)
app=
trap '[[ -n $app ]] && kill $app 2>/dev/null; rm -rf "$site"' EXIT

# The first window whose caption matches, waited for up to 20 s. xdotool stops with an X error
# when a window goes away while it walks the tree (a dialog just closed), so it is asked again.
find_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search "$@" 2>/dev/null | head -1) || true
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# No display at all, and one that does not answer: a German pointer to splicery-cli, exit 1.
for display in "" ":$((${DISPLAY#:} + 50))"; do
  set +e
  err=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" "$app_bin" 2>&1 >/dev/null)
  code=$?
  set -e
  [[ $code == 1 && $err == *"Kein Bildschirm erreichbar"*"splicery-cli -C ORDNER"* ]] ||
    { echo "FAIL: without display '$display': exit $code, $err"; exit 1; }
done

# A folder that cannot be entered: a message box and standard error, exit 2 once it is closed.
"$app_bin" "$site/fehlt" 2>"$site.err" &
app=$!
box=$(find_window --onlyvisible --name '^Splicery V\. 1\.0$') || true
[[ -n "$box" ]] || { echo "FAIL: no message box for a missing folder: $(cat "$site.err")"; exit 1; }
sleep 0.3
xdotool windowfocus --sync "$box" key Return
set +e
wait $app
code=$?
set -e
app=
expected="splicery: Verzeichnis $site/fehlt kann nicht betreten werden: nicht vorhanden"
[[ $code == 2 ]] && grep -qxF "$expected" "$site.err" ||
  { echo "FAIL: missing folder: exit $code, $(cat "$site.err")"; rm -f "$site.err"; exit 1; }
rm -f "$site.err"

# Started in a folder without include.txt: the folder dialog; cancelled, the window opens.
(cd "$site" && exec "$app_bin") &
app=$!
dialog=$(find_window --onlyvisible --name 'Ordner der Web-Site') || true
[[ -n "$dialog" ]] || { echo "FAIL: no folder dialog without include.txt"; exit 1; }
sleep 0.3
xdotool windowfocus --sync "$dialog" key Escape
find_window --onlyvisible --name '^Splicery V\. 1\.0$' >/dev/null ||
  { echo "FAIL: no window after the folder dialog was cancelled"; exit 1; }
kill $app && wait $app 2>/dev/null || true
app=

# The site named on the command line, started elsewhere, as a desktop menu does.
cp -r "$example/." "$site"
(cd / && exec "$app_bin" "$site") &
app=$!
window=$(find_window --name '^Splicery V\. 1\.0$') || true
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
