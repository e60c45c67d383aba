#!/usr/bin/env bash
# Installs the four FTP servers the tests run against, side by side: vsftpd, pure-ftpd and
# proftpd are unpacked from their Debian packages into a private prefix (the packages conflict
# with each other, and no maintainer script runs, so no daemon starts), pyftpdlib comes from apt.
# Also creates the test user and the PAM service vsftpd uses. Runs as root; safe to run again.
set -euo pipefail
source "$(dirname "$0")/common.sh"

[ "$(id -u)" -eq 0 ] || die "install.sh must run as root (it installs packages and adds users)"
export DEBIAN_FRONTEND=noninteractive

apt_updated=0
apt_update_once() {
  if [ $apt_updated -eq 0 ]; then
    apt-get update -qq
    apt_updated=1
  fi
}
# An empty package list (a fresh machine) needs an update before anything can be found.
compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null || apt_update_once

apt_install() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { apt_update_once && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
}

# Tools the scripts use, and pyftpdlib.
apt_install python3 python3-pyftpdlib util-linux passwd procps iproute2 libpam-modules

# The candidate versions of the unpacked packages, as apt would install them ("name version" lines).
declare -A candidates
read_candidates() {
  local name version packages
  mapfile -t packages < <(for s in "${FTP_SERVERS[@]}"; do server_package "$s"; done | grep .)
  while read -r name version; do
    candidates[$name]=$version
  done < <(apt-cache policy "${packages[@]}" |
    awk '/^[^ ]/ { sub(":$", "", $1); name = $1 } /Candidate:/ { print name, $2 }')
}
read_candidates

# The library packages a .deb depends on: first alternative of each, without versions. Daemon
# plumbing (debconf, adduser, inetd, init scripts) is left out; only shared libraries are needed.
library_depends() {
  dpkg-deb -f "$1" Depends Pre-Depends | tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*)//' \
    -e 's/^[^:]*: //' -e 's/[[:space:]]//g' | grep -E '^(lib|zlib)' | sort -u
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its own user where it can.
id _apt >/dev/null 2>&1 && chown _apt "$work"

mkdir -p "$FTP_PREFIX"
chmod 755 "$FTP_PREFIX"
for server in "${FTP_SERVERS[@]}"; do
  package=$(server_package "$server")
  [ -n "$package" ] || continue
  version=${candidates[$package]:-}
  if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    apt_update_once
    read_candidates
    version=${candidates[$package]:-}
  fi
  if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    die "no package $package in the apt sources"
  fi
  marker=$FTP_PREFIX/$server/.installed
  if [ -f "$marker" ] && [ "$(cat "$marker")" = "$package $version" ] && [ -x "$(server_binary "$server")" ]; then
    echo "ftp-servers: $server ($package $version) already installed"
    # Its libraries may have been removed since; putting them back costs nothing when present.
    # shellcheck disable=SC2046  # one package name a word
    [ -f "$FTP_PREFIX/$server/.deps" ] && apt_install $(cat "$FTP_PREFIX/$server/.deps")
    continue
  fi
  echo "ftp-servers: installing $server from $package $version into $FTP_PREFIX/$server"
  (cd "$work" && apt-get download -qq "$package=$version" >/dev/null 2>&1) ||
    { apt_update_once && (cd "$work" && apt-get download -qq "$package=$version" >/dev/null); } ||
    die "could not download $package"
  deb=$(find "$work" -maxdepth 1 -name "${package}_*.deb" | head -n 1)
  [ -n "$deb" ] || die "apt-get download left no .deb of $package"
  depends=$(library_depends "$deb")
  # shellcheck disable=SC2086  # one package name a word
  apt_install $depends
  rm -rf "${FTP_PREFIX:?}/$server"
  mkdir -p "$FTP_PREFIX/$server"
  dpkg-deb -x "$deb" "$FTP_PREFIX/$server"
  echo "$depends" >"$FTP_PREFIX/$server/.deps"
  echo "$package $version" >"$marker"
  rm -f "$deb"
done

# proftpd's mod_tls comes in a package of its own; it is unpacked beside proftpd-core, and the
# TLS server's config loads it from there. pyftpdlib's TLS handler needs python3-openssl.
apt_install python3-openssl openssl
crypto_marker=$FTP_PREFIX/proftpd-crypto/.installed
crypto_version=$(apt-cache policy proftpd-mod-crypto | awk '/Candidate:/ { print $2 }')
if [ -n "$crypto_version" ] && [ "$crypto_version" != "(none)" ] &&
  { [ ! -f "$crypto_marker" ] || [ "$(cat "$crypto_marker")" != "proftpd-mod-crypto $crypto_version" ]; }; then
  echo "ftp-servers: installing proftpd-mod-crypto $crypto_version into $FTP_PREFIX/proftpd-crypto"
  (cd "$work" && apt-get download -qq "proftpd-mod-crypto=$crypto_version" >/dev/null) ||
    die "could not download proftpd-mod-crypto"
  deb=$(find "$work" -maxdepth 1 -name "proftpd-mod-crypto_*.deb" | head -n 1)
  # shellcheck disable=SC2046  # one package name a word
  apt_install $(library_depends "$deb")
  rm -rf "${FTP_PREFIX:?}/proftpd-crypto"
  mkdir -p "$FTP_PREFIX/proftpd-crypto"
  dpkg-deb -x "$deb" "$FTP_PREFIX/proftpd-crypto"
  echo "proftpd-mod-crypto $crypto_version" >"$crypto_marker"
  rm -f "$deb"
fi

for server in "${FTP_SERVERS[@]}"; do
  binary=$(server_binary "$server")
  [ -x "$binary" ] || die "$server: $binary is missing after the install"
done

# The anonymous account the servers map "anonymous" to, as the server packages would create it.
if ! getent passwd ftp >/dev/null; then
  useradd --system --home-dir /srv/ftp --no-create-home --shell /usr/sbin/nologin \
    --gid nogroup ftp
fi
ftp_home=$(getent passwd ftp | cut -d: -f6)
mkdir -p "$ftp_home"

# The test user: no login shell (the servers are told not to care), a home of its own that
# vsftpd enters before it changes to the test root, and a known password.
home=$FTP_PREFIX/home/$FTP_USER
if ! getent passwd "$FTP_USER" >/dev/null; then
  useradd --home-dir "$home" --no-create-home --shell /usr/sbin/nologin --user-group "$FTP_USER"
fi
home=$(getent passwd "$FTP_USER" | cut -d: -f6)
mkdir -p "$home"
chown "$FTP_USER:" "$home"
chmod 755 "$FTP_PREFIX/home" "$home"
echo "$FTP_USER:$FTP_PASSWORD" | chpasswd

# vsftpd's PAM service: the password alone decides (Debian's own also demands a listed shell).
install -m 644 "$FTP_TEMPLATES/vsftpd.pam" "/etc/pam.d/$FTP_PAM_SERVICE"

echo "ftp-servers: installed ${FTP_SERVERS[*]} (prefix $FTP_PREFIX, user $FTP_USER)"
