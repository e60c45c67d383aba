#!/usr/bin/env bash
# Installs what Tarsil needs to build and test, from Debian's packages. Idempotent: packages that
# are already there are not fetched again. Needs root (or sudo).
set -euo pipefail

# The desktop face needs Qt 6 Widgets and a font with Japanese glyphs; xvfb and xauth run it on
# a virtual display for the screenshot. The desktop check (scripts/desktop-check.sh) adds a
# window manager (openbox), xdotool to press keys, xprop, xwd and netpbm for its screenshot, and
# desktop-file-utils to check the desktop entry.
# scdoc builds the manual page; dpkg-dev, man-db and systemd check the Debian package, the page
# and the units (scripts/check-package.sh). OpenSSL 3 carries the TLS layer. clang and its runtime
# libraries build the fuzz targets (scripts/fuzz.sh).
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-format ccache libssl-dev openssl
  qt6-base-dev qt6-qpa-plugins fonts-ipafont-gothic xvfb xauth
  openbox xdotool x11-utils x11-apps netpbm desktop-file-utils
  scdoc dpkg-dev man-db systemd clang libclang-rt-14-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
