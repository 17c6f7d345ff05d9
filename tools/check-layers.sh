#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a folder that is not below its own: the folders under src/
# are layers, lowest first, and every arrow points down. cli and app are the two front ends on
# top; neither includes the other.
set -euo pipefail
cd "$(dirname "$0")/.."
order=(files text diff core rewrite scan publish update history report cli app)
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done
rank[app]=${rank[cli]}

status=0
while IFS= read -r file; do
  own=${file#src/}; own=${own%%/*}
  [[ -n "${rank[$own]:-}" ]] || { echo "$file: folder src/$own is not in the layer order"; status=1; continue; }
  while IFS=: read -r line target; do
    folder=${target%%/*}
    [[ "$folder" == "$own" ]] && continue
    if [[ -z "${rank[$folder]:-}" ]]; then
      echo "$file:$line: includes $target from a folder that is not in the layer order"; status=1
    elif ((rank[$folder] >= rank[$own])); then
      echo "$file:$line: $own includes $target, which is not below it"; status=1
    fi
  done < <(grep -n '^#include "[^"]*/' "$file" | sed 's/^\([0-9]*\):#include "\([^"]*\)".*/\1:\2/' || true)
done < <(find src -name '*.cpp' -o -name '*.h' | sort)
exit $status
