#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder and checks it without
# installing it: the control data and its dependencies (dpkg-deb -I), the files it installs
# (dpkg-deb -x into a temporary folder), the extracted program (--version, --help), the manual
# page (man -l) and the systemd units (systemd-analyze verify against the extracted tree).
# Usage: scripts/check-package.sh [BUILD_DIR]   (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
fail() { echo "check-package: $*" >&2; exit 1; }

for tool in dpkg-deb dpkg-shlibdeps man systemd-analyze scdoc; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

rm -f "$build"/tarsil_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarsil_*.deb)
[ "$(echo "$deb" | wc -l)" -eq 1 ] || fail "expected one package, found: $deb"
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-ipafont-gothic \
  libssl3 adduser libstdc++6; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tarsil ] || fail "wrong package name"
dpkg-deb -I "$deb" postinst >/dev/null || fail "no postinst"

root=$(mktemp -d "${TMPDIR:-/tmp}/tarsil-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for file in usr/bin/tarsil usr/share/applications/tarsil.desktop \
  usr/share/mime/packages/tarsil.xml usr/share/icons/hicolor/scalable/apps/tarsil.svg \
  usr/share/doc/tarsil/user-guide.html \
  usr/share/man/man1/tarsil.1.gz "usr/lib/systemd/system/tarsil@.service" \
  "usr/lib/systemd/system/tarsil@.timer" usr/lib/sysusers.d/tarsil.conf; do
  [ -s "$root/$file" ] || fail "missing from the package: /$file"
done

version=$(TARSIL_HEADLESS=1 "$root/usr/bin/tarsil" --version)
[[ "$version" == "Tarsil "* ]] || fail "the extracted tarsil --version said: $version"
TARSIL_HEADLESS=1 "$root/usr/bin/tarsil" --help | grep -q -- "--exit-status" ||
  fail "the extracted tarsil --help does not list --exit-status"
echo "extracted binary: $version"

man_text=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/tarsil.1.gz" 2>&1)
for heading in SYNOPSIS OPTIONS "EXIT STATUS" FILES ENVIRONMENT EXAMPLES; do
  grep -q "^$heading" <<<"$man_text" || fail "the manual page has no $heading section"
done
echo "manual page: renders"

# systemd-analyze resolves the units' dependencies and commands inside --root, so the host's own
# unit files are copied beside the package's (never over them).
units="$root/usr/lib/systemd/system"
cp -rn /usr/lib/systemd/system/. "$units/" 2>/dev/null || true
verify=$(cd "$units" && systemd-analyze --man=no --root="$root" verify \
  tarsil@nightly.service tarsil@nightly.timer 2>&1) || fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify complained: $verify"
echo "systemd units: verified"

# A simulated install shows whether apt can satisfy every dependency here. Without package
# lists (apt-get update never ran) apt may not know a package it would fetch, so this only warns.
if apt-get -s install "$deb" >"$root/apt.txt" 2>&1; then
  echo "apt-get -s install: dependencies resolve"
else
  echo "check-package: warning: apt-get -s install could not resolve the dependencies:" >&2
  tail -5 "$root/apt.txt" >&2
fi
echo "package checks passed"
