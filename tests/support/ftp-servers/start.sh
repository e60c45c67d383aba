#!/usr/bin/env bash
# Starts test FTP servers, each on port 21 of its own loopback address, with a fresh root folder
# holding the demo tree. Usage: start.sh <vsftpd|pureftpd|proftpd|pyftpdlib|all>
# A server already running is restarted (so every start begins with a fresh root). Returns once
# each server has greeted, or fails with the server's log. Writes $FTP_STATE/servers.env.
set -euo pipefail
source "$(dirname "$0")/common.sh"

[ $# -le 1 ] || die "usage: start.sh <${FTP_SERVERS[*]// /|}|all>"
names=$(server_list "$@")
install_hint="install them as root with tests/support/ftp-servers/install.sh"
[ "$(id -u)" -eq 0 ] ||
  die "the test FTP servers must be started as root (they bind port 21 and switch users); $install_hint and run the tests as root"
for name in $names; do
  [ -x "$(server_binary "$name")" ] || die "$name is not installed ($(server_binary "$name") is missing): $install_hint"
done
getent passwd "$FTP_USER" >/dev/null || die "the test user $FTP_USER does not exist: $install_hint"
getent passwd ftp >/dev/null || die "the user ftp does not exist: $install_hint"
if [[ " $names " == *" pyftpdlib"* ]]; then
  /usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || die "pyftpdlib is not installed: $install_hint"
fi
[[ $FTP_STATE =~ ^/[A-Za-z0-9._/-]+$ ]] || die "the state folder '$FTP_STATE' must be an absolute path without spaces"

mkdir -p "$FTP_STATE"
chmod 755 "$FTP_STATE"
# The servers' unprivileged users must reach the roots: every folder above needs o+x.
dir=$FTP_STATE
while [ "$dir" != / ]; do
  dir=$(dirname "$dir")
  chmod o+x "$dir"
done

# Fills placeholders of a template: @ADDRESS@ @PORT@ @ROOT@ @STATE@ @PAM_SERVICE@ @PREFIX@.
fill_template() {
  local name=$1 template=$2
  sed -e "s|@ADDRESS@|$(server_address "$name")|g" -e "s|@PORT@|$(server_port "$name")|g" \
    -e "s|@ROOT@|$FTP_STATE/$name/root|g" -e "s|@STATE@|$FTP_STATE/$name|g" \
    -e "s|@PAM_SERVICE@|$FTP_PAM_SERVICE|g" -e "s|@PREFIX@|$FTP_PREFIX|g" "$template"
}

# A self-signed certificate for a TLS server, naming its address; made at every start.
make_certificate() {
  local name=$1 state=$FTP_STATE/$1 address
  address=$(server_address "$name")
  openssl req -x509 -newkey rsa:2048 -nodes -days 7 -subj "/CN=tarsil-test-$name" \
    -addext "subjectAltName=IP:$address" -keyout "$state/key.pem" -out "$state/cert.pem" \
    >/dev/null 2>&1 || die "$name: openssl could not make a certificate"
  cat "$state/key.pem" "$state/cert.pem" >"$state/both.pem"
  chmod 600 "$state/key.pem" "$state/both.pem"
  openssl x509 -in "$state/cert.pem" -noout -fingerprint -sha256 | sed 's/.*=/SHA256:/' \
    >"$state/fingerprint"
}

# The demo tree every server serves. Times are fixed so that listings are predictable.
make_demo_tree() {
  local root=$1 block
  rm -rf "$root"
  mkdir -p "$root/sub/deeper" "$root/upload"
  printf 'Tarsil test server\nsecond line\nthird line\n' >"$root/readme.txt"
  printf 'line one\r\nline two\r\nline three\r\n' >"$root/crlf.txt"
  printf 'alpha\n' >"$root/a.txt"
  printf 'bravo\n' >"$root/B.TXT"
  printf 'charlie\n' >"$root/c.doc"
  printf 'spaces\n' >"$root/name with spaces.txt"
  : >"$root/empty.txt"
  printf 'inner\n' >"$root/sub/inner.txt"
  printf 'leaf\n' >"$root/sub/deeper/leaf.txt"
  # binary.bin: 100000 bytes, byte i holding i % 256.
  printf -v block '\\%03o' {0..255}
  # shellcheck disable=SC2059  # the format is the escapes
  printf "$block" >"$root/.bytes"
  for _ in 1 2 3 4 5 6 7 8 9; do
    cat "$root/.bytes" "$root/.bytes" >"$root/.twice" && mv "$root/.twice" "$root/.bytes"
  done
  head -c 100000 "$root/.bytes" >"$root/binary.bin"
  rm "$root/.bytes"
  chown -R "$FTP_USER:" "$root"
  chmod -R u=rwX,go=rX "$root"
  find "$root" -exec touch -h -d '2020-01-02 03:04:05 UTC' {} +
}

# True when something on ADDRESS:PORT sends a 220 greeting within two seconds.
greets() {
  # shellcheck disable=SC2016  # expanded by the inner shell
  timeout 3 bash -c '
    exec 3<>"/dev/tcp/$0/$1" || exit 1
    IFS= read -r -t 2 line <&3 || exit 1
    printf "QUIT\r\n" >&3
    [[ $line == 220* ]]' "$1" "$2" 2>/dev/null
}

# Launches one server in a session of its own, so that ending a test's process group leaves
# it alone, and records its pid.
launch() {
  local name=$1 state=$FTP_STATE/$1 address binary
  address=$(server_address "$name")
  binary=$(server_binary "$name")
  local extra=/dev/null family
  family=$(server_family "$name")
  [ "$family" = pureftpd ] && family=pure-ftpd
  is_tls_server "$name" && extra=$FTP_TEMPLATES/$family-tls.in
  [[ $name == *6 ]] && extra=$FTP_TEMPLATES/$family-ipv6.in
  case "$(server_family "$name")" in
    vsftpd)
      cat "$FTP_TEMPLATES/vsftpd.conf.in" "$extra" >"$state/template"
      fill_template "$name" "$state/template" >"$state/vsftpd.conf"
      setsid "$binary" "$state/vsftpd.conf" </dev/null >"$state/console.log" 2>&1 &
      ;;
    proftpd)
      if [[ $name == *6 ]]; then  # on ::1 "UseIPv6 off" goes; the extra lines turn it on
        grep -v '^UseIPv6' "$FTP_TEMPLATES/proftpd.conf.in" | cat - "$extra" >"$state/template"
      else
        cat "$FTP_TEMPLATES/proftpd.conf.in" "$extra" >"$state/template"
      fi
      fill_template "$name" "$state/template" >"$state/proftpd.conf"
      setsid "$binary" -n -q -c "$state/proftpd.conf" </dev/null >"$state/console.log" 2>&1 &
      ;;
    pureftpd)
      local args=()
      if [[ $name == *6 ]]; then
        grep -vx -- '--ipv4only' "$FTP_TEMPLATES/pure-ftpd.args.in" | cat - "$extra" >"$state/template"
      else
        cat "$FTP_TEMPLATES/pure-ftpd.args.in" "$extra" >"$state/template"
      fi
      mapfile -t args < <(fill_template "$name" "$state/template" | grep -v -e '^#' -e '^$')
      # pure-ftpd roots users at their passwd home and wants a listed shell (or "ftp"): in its
      # own mount namespace it sees a passwd copy that points both users at the test root.
      awk -F: -v OFS=: -v user="$FTP_USER" -v root="$state/root" \
        '$1 == user || $1 == "ftp" { $6 = root; $7 = "ftp" } { print }' /etc/passwd >"$state/passwd"
      chmod 644 "$state/passwd"
      # shellcheck disable=SC2016  # expanded by the inner shell
      setsid unshare --mount /bin/sh -c 'mount --bind "$0" /etc/passwd && exec "$@"' \
        "$state/passwd" "$binary" "${args[@]}" </dev/null >"$state/console.log" 2>&1 &
      ;;
    pyftpdlib)
      TARSIL_FTP_PASSWORD=$FTP_PASSWORD setsid /usr/bin/python3 \
        "$FTP_TEMPLATES/pyftpdlib-server.py" "$address" "$(server_port "$name")" "$state/root" "$FTP_USER" \
        "$state/server.log" "$(is_tls_server "$name" && echo "$state")" \
        </dev/null >"$state/console.log" 2>&1 &
      ;;
  esac
  launched_pid=$!
  write_pid_file "$name" "$launched_pid" || true
}

# Who listens on port 21 of ADDRESS, or of every address (which blocks ADDRESS too).
port_holders() {
  command -v ss >/dev/null || return 0
  ss -ltnpH "sport = :$2" 2>/dev/null |
    awk -v mine="$1:$2" -v mine6="[$1]:$2" '$4 == mine || $4 == mine6 || $4 ~ /^(0\.0\.0\.0|\*|\[::\]):/ { print $4, $6 }'
}

show_logs() {
  local file
  for file in "$FTP_STATE/$1"/*.log; do
    [ -s "$file" ] || continue
    echo "---- $file (last lines)" >&2
    tail -n 40 "$file" >&2
  done
}

start_server() {
  local name=$1 state=$FTP_STATE/$1 address pid deadline holders status
  address=$(server_address "$name")
  local port
  port=$(server_port "$name")
  stop_server "$name"
  holders=$(port_holders "$address" "$port")
  [ -z "$holders" ] || die "$name: port $port of $address is taken by another program; stop it first: $holders"
  mkdir -p "$state/empty"
  chmod 755 "$state" "$state/empty"
  rm -f "$state"/*.log
  make_demo_tree "$state/root"
  is_tls_server "$name" && make_certificate "$name"
  launch "$name"
  deadline=$((SECONDS + 10))
  until greets "$address" "$port"; do
    if ! pid=$(running_pid "$name"); then
      status=0
      wait "$launched_pid" || status=$?
      show_logs "$name"
      die "$name exited with status $status before it greeted on $address:$port (logs above, if any)"
    fi
    if [ $SECONDS -ge $deadline ]; then
      show_logs "$name"
      stop_server "$name"
      die "$name did not greet on $address:$port within 10 s (logs above)"
    fi
    sleep 0.05
  done
  echo "ftp-servers: $name listens on $address:$port (pid $(running_pid "$name")), root $state/root"
}

# The facts tests need, for every server; written whole and moved into place, so that servers
# started side by side never leave a torn file.
write_env() {
  local env=$FTP_STATE/servers.env tmp name prefix
  tmp=$(mktemp "$FTP_STATE/.servers.env.XXXXXX")
  {
    echo "# Written by tests/support/ftp-servers/start.sh: how tests reach the test FTP servers."
    echo "TARSIL_FTP_STATE=$FTP_STATE"
    for name in "${FTP_SERVERS[@]}"; do
      prefix=${name^^}
      echo "${prefix}_ADDRESS=$(server_address "$name")"
      echo "${prefix}_PORT=$(server_port "$name")"
      echo "${prefix}_USER=$FTP_USER"
      echo "${prefix}_PASSWORD=$FTP_PASSWORD"
      echo "${prefix}_ANONYMOUS=yes"
      echo "${prefix}_ROOT=$FTP_STATE/$name/root"
      echo "${prefix}_LOG=$FTP_STATE/$name/server.log"
      if is_tls_server "$name"; then
        echo "${prefix}_CERT=$FTP_STATE/$name/cert.pem"
        echo "${prefix}_FINGERPRINT_FILE=$FTP_STATE/$name/fingerprint"
        [ "$name" = pyftpdlibtls ] && echo "${prefix}_IMPLICIT_PORT=$FTP_TLS_IMPLICIT_PORT"
      fi
    done
  } >"$tmp"
  chmod 644 "$tmp"
  mv -f "$tmp" "$env"
}

write_env
for name in $names; do
  start_server "$name"
done
