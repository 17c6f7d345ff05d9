#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that `make package` built in BUILD_DIR: control fields and
# contents, the desktop entry and the AppStream metadata in it (validated), the man pages of
# the build tree (rendered without a warning), and the unpacked splicery-cli (run).
#   tools/check-package.sh BUILD_DIR
set -euo pipefail
build=${1:?Aufruf: tools/check-package.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ -n "$version" ]] || fail "no project version in $build/CMakeCache.txt"
deb=$build/splicery_${version}_$(dpkg --print-architecture).deb
[[ -f "$deb" ]] || fail "$deb is missing (make package)"
echo "== $deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

# Control fields: name, the project's version, library dependencies found by dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == splicery ]] || fail "Package: $(field Package)"
[[ "$(field Version)" == "$version" ]] || fail "Version: $(field Version), expected $version"
depends=$(field Depends)
[[ "$depends" == *libqt6widgets6* && "$depends" == *libstdc++6* ]] ||
  fail "Depends lacks the Qt and C++ libraries (dpkg-shlibdeps?): $depends"
echo "Depends: $depends"

# Contents, all owned by root.
id=io.github.splicery.Splicery
for f in usr/bin/splicery usr/bin/splicery-cli \
         "usr/share/applications/$id.desktop" \
         "usr/share/icons/hicolor/scalable/apps/$id.svg" \
         "usr/share/metainfo/$id.metainfo.xml" \
         usr/share/man/man1/splicery.1.gz usr/share/man/man1/splicery-cli.1.gz \
         usr/share/doc/splicery/copyright usr/share/doc/splicery/README.md; do
  [[ -f "$root/$f" ]] || fail "/$f is not in the package"
done
cmp -s "$root/usr/share/doc/splicery/copyright" "$source_dir/LICENSE" ||
  fail "/usr/share/doc/splicery/copyright differs from LICENSE"
not_root=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[[ -z "$not_root" ]] || fail "files not owned by root: $not_root"

# The shipped desktop entry and metadata.
desktop-file-validate "$root/usr/share/applications/$id.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "metainfo lacks the release $version"

# The man pages: rendered without a warning, a NAME section for whatis, the version in the
# footer, and the installed copies the same as the build tree's.
for name in splicery splicery-cli; do
  page=$build/man/$name.1
  [[ -f "$page" ]] || fail "$page is missing"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
             man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man -l $page: $warnings"
  [[ -z "$warnings" ]] || fail "man -l $page: $warnings"
  lexgrog "$page" >/dev/null || fail "$page: no NAME section that whatis understands"
  grep -q "\"Splicery $version\"" "$page" || fail "$page does not name version $version"
  zcat "$root/usr/share/man/man1/$name.1.gz" | cmp -s - "$page" ||
    fail "/usr/share/man/man1/$name.1.gz differs from $page"
done

# The unpacked programs: libraries found, the command line runs.
missing=$(ldd "$root/usr/bin/splicery" "$root/usr/bin/splicery-cli" | grep "not found" || true)
[[ -z "$missing" ]] || fail "libraries not found: $missing"
out=$("$root/usr/bin/splicery-cli" --version)
[[ "$out" == "Splicery V. 1.0" ]] || fail "splicery-cli --version said '$out'"
cp -r "$source_dir/examples/site" "$root/site"
status=0
"$root/usr/bin/splicery-cli" -C "$root/site" --check >/dev/null 2>&1 || status=$?
[[ $status == 0 || $status == 1 ]] || fail "splicery-cli --check on the example site: exit $status"

echo "OK: package $(basename "$deb"): $(dpkg-deb -c "$deb" | grep -vc '/$') files, validated, runs"
