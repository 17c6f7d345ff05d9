#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails on a German string literal outside the message catalogue (src/core/messages.*): every
# sentence the program says is built there. The window's designed control texts (captions of
# labels, buttons, menu entries and dialogs) may stay where the window is built.
set -euo pipefail
cd "$(dirname "$0")/.."
literal='"([^"\\]|\\.)*"'
german='[äöüÄÖÜß]|\b(Datei|Dateien|FEHLER|Fehler|Warnung|Hinweis|nicht|wird|wurde|werden|ist|kein|keine|Lauf|Sicherung|Seite|Seiten|Zeile|Ordner|Verzeichnis|beim|ohne|gefunden|verlangt|Aufruf|Angabe|zurück|gelöscht|behalten)\b'
controls='AddLabel\(|addAction\(|QPushButton\(|setText\(|ShowReport\(|getExistingDirectory\(|setWindowTitle\(|addMenu\(|setToolTip\('
status=0
while IFS= read -r file; do
  while IFS= read -r hit; do
    line=${hit#*:}
    code=$(sed 's,//.*$,,' <<<"$line")  # comments may speak German
    grep -qP "$literal" <<<"$code" || continue
    texts=$(grep -oP "$literal" <<<"$code" | grep -P "$german" || true)
    [[ -z "$texts" ]] && continue
    # A caption may continue on the lines after the call that takes it.
    number=${hit%%:*}
    call=$(sed -n "$((number > 2 ? number - 2 : 1)),${number}p" "$file")
    if [[ "$file" == src/app/* ]] && grep -qP "$controls" <<<"$call"; then continue; fi
    echo "$file:$number: German text outside src/core/messages: $texts"
    status=1
  done < <(grep -nP "$literal" "$file" || true)
done < <(find src -name '*.cpp' -o -name '*.h' | grep -v '^src/core/messages\.' | sort)
exit $status
