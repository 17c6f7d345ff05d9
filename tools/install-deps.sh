#!/usr/bin/env bash
# Installs what building (and, with --test, testing) needs from Debian 12's packages.
# Asks apt only for what is missing; uses sudo when not run as root.
set -euo pipefail

packages=(cmake ninja-build g++ make qt6-base-dev qt6-qpa-plugins fonts-dejavu-core)
if [[ "${1:-}" == "--test" ]]; then
  # GoogleTest; Xvfb and xdotool for the real-window test and screenshots; clang with its
  # runtime for the fuzzer and the sanitizer build; GNU time and strace (flush count) for the
  # benchmark.
  packages+=(googletest libgtest-dev xvfb xdotool x11-utils imagemagick clang libclang-rt-14-dev time strace)
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
