#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that `make package` built in BUILD_DIR: lintian, control fields
# and contents, the desktop entry and the AppStream metadata in it (validated), the icons, the
# man pages of the build tree (rendered without a warning), and the unpacked splicery-cli (run).
#   tools/check-package.sh BUILD_DIR
set -euo pipefail
build=${1:?Aufruf: tools/check-package.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ -n "$version" ]] || fail "no project version in $build/CMakeCache.txt"
changelog_version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
[[ "$changelog_version" == "$version" ]] ||
  fail "debian/changelog names version $changelog_version, CMake's project() $version"
deb=$build/splicery_${version}_$(dpkg --print-architecture).deb
[[ -f "$deb" ]] || fail "$deb is missing (make package)"
echo "== $deb"
# No error, no warning. A finding wrong for this package would be overridden in
# debian/splicery.lintian-overrides, with a comment that says why; none is today.
lintian --pedantic --fail-on error,warning "$deb" || fail "lintian found errors or warnings"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

# Control fields: name, the project's version, library dependencies found by dpkg-shlibdeps,
# Wayland's platform plugin and Qt's German texts recommended.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == splicery ]] || fail "Package: $(field Package)"
[[ "$(field Version)" == "$version" ]] || fail "Version: $(field Version), expected $version"
[[ "$(field Maintainer)" == "The Splicery authors <splicery@example.org>" ]] ||
  fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
[[ "$depends" == *libqt6widgets6* && "$depends" == *libstdc++6* ]] ||
  fail "Depends lacks the Qt and C++ libraries (dpkg-shlibdeps?): $depends"
[[ "$(field Recommends)" == *qt6-wayland* && "$(field Recommends)" == *qt6-translations-l10n* ]] ||
  fail "Recommends: $(field Recommends)"
echo "Depends: $depends"

# Contents, all owned by root; the README with the pictures it shows.
id=io.github.splicery.Splicery
sizes=(16 32 48 64 128 256)
icons=()
for size in "${sizes[@]}"; do icons+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png"); done
for f in usr/bin/splicery usr/bin/splicery-cli \
         "usr/share/applications/$id.desktop" \
         "usr/share/kservices5/ServiceMenus/$id.desktop" \
         "usr/share/nemo/actions/$id.nemo_action" \
         "usr/share/icons/hicolor/scalable/apps/$id.svg" "${icons[@]}" \
         "usr/share/metainfo/$id.metainfo.xml" \
         usr/share/man/man1/splicery.1.gz usr/share/man/man1/splicery-cli.1.gz \
         usr/share/doc/splicery/copyright usr/share/doc/splicery/changelog.gz \
         usr/share/doc/splicery/README.md.gz; do
  [[ -f "$root/$f" ]] || fail "/$f is not in the package"
done
for picture in $(zcat "$root/usr/share/doc/splicery/README.md.gz" | grep -o '](docs/[^)]*)' |
                 sed 's/^](//; s/)$//'); do
  [[ -f "$root/usr/share/doc/splicery/$picture" ]] || fail "README.md shows $picture: not in the package"
done
cmp -s "$root/usr/share/doc/splicery/copyright" "$source_dir/debian/copyright" ||
  fail "/usr/share/doc/splicery/copyright differs from debian/copyright"
grep -q '^License: GPL-3+$' "$source_dir/debian/copyright" &&
  grep -q '/usr/share/common-licenses/GPL-3' "$source_dir/debian/copyright" ||
  fail "debian/copyright does not name GPL-3+ with /usr/share/common-licenses/GPL-3"
for i in "${!icons[@]}"; do
  size=${sizes[$i]}
  [[ "$(file -b "$root/${icons[$i]}")" == "PNG image data, $size x $size,"* ]] ||
    fail "/${icons[$i]}: $(file -b "$root/${icons[$i]}")"
done
not_root=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[[ -z "$not_root" ]] || fail "files not owned by root: $not_root"

# The shipped desktop entry and metadata. The entry opens no folder by default: a MimeType of
# inode/directory would make Splicery the program for every folder where none was set.
desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
! grep -q '^MimeType=.*inode/directory' "$desktop" || fail "$id.desktop claims inode/directory"
grep -qx 'StartupNotify=true' "$desktop" || fail "$id.desktop lacks StartupNotify=true"
for action in "usr/share/kservices5/ServiceMenus/$id.desktop" "usr/share/nemo/actions/$id.nemo_action"; do
  grep -qx 'Name=Mit Splicery öffnen' "$root/$action" || fail "/$action lacks 'Mit Splicery öffnen'"
done
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "metainfo lacks the release $version"
grep -q '<display_length compare="ge">' "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "metainfo does not recommend a display size"

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
