#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building (and, with --test, testing) needs from Debian 12's packages.
# Asks apt only for what is missing; uses sudo when not run as root.
set -euo pipefail

# dtl for --diff, xxHash for the run journal; scdoc for the man pages; rsvg-convert for the
# PNG icons; dpkg-dev and debhelper for `make package` (debian/control's Build-Depends).
packages=(cmake ninja-build g++ make qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core
          libdtl-dev libxxhash-dev scdoc librsvg2-bin dpkg-dev debhelper)
if [[ "${1:-}" == "--test" ]]; then
  # GoogleTest; Xvfb and xdotool for the real-window test and screenshots; clang with its
  # runtime for the fuzzer and the sanitizer build; GNU time and strace (flush count) for the
  # benchmark; the validators of the desktop entry and the AppStream metadata, and man for the
  # man pages; lintian and file (icon sizes) for the package; clang-format and clang-tidy 14
  # for the written style; jing, xmllint and libxml2 to check and read back the feed and the
  # sitemap (libxml2 also for the tokenizer benchmark's comparison); linkchecker, whose
  # findings the link check's end-to-end test compares with its own; acl and attr to give test
  # pages an ACL and extended attributes.
  packages+=(googletest libgtest-dev xvfb xdotool x11-utils imagemagick clang libclang-rt-14-dev time
             strace desktop-file-utils appstream man-db lintian file clang-format-14 clang-tidy-14
             jing libxml2-utils libxml2-dev linkchecker acl attr)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi
sudo=""
[[ "$(id -u)" == 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
