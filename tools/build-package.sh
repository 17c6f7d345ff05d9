#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from debian/ with dpkg-buildpackage, without the suite (make test
# has run it), and moves what it writes beside the source folder (the .deb files, .changes,
# .buildinfo) into BUILD_DIR.
#   tools/build-package.sh BUILD_DIR
set -euo pipefail
build=${1:?Aufruf: tools/build-package.sh BUILD_DIR}
mkdir -p "$build"
build=$(cd "$build" && pwd)
cd "$(dirname "$0")/.."
parent=$(cd .. && pwd)
if [[ ! -w "$parent" ]]; then
  echo "FAIL: dpkg-buildpackage writes the package into $parent (beside the source folder)," \
       "which is not writable here; build from a copy of the source in a writable folder." >&2
  exit 1
fi
version=$(dpkg-parsechangelog -S Version)
changes=$parent/splicery_${version}_$(dpkg --print-architecture).changes
# An old .changes must not pass for this build's.
rm -f "$changes"
DEB_BUILD_OPTIONS="nocheck${DEB_BUILD_OPTIONS:+ $DEB_BUILD_OPTIONS}" \
  dpkg-buildpackage -us -uc -b -Pnocheck -j2
[[ -f "$changes" ]] || { echo "FAIL: dpkg-buildpackage wrote no $changes" >&2; exit 1; }
# Every file the .changes lists (packages and .buildinfo), then the .changes itself.
mapfile -t files < <(awk '/^Files:/ {on = 1; next} /^[^ ]/ {on = 0} on {print $5}' "$changes")
for f in "${files[@]}"; do
  mv -f "$parent/$f" "$build/"
done
mv -f "$changes" "$build/"
echo "Package in $build: ${files[*]} $(basename "$changes")"
