# Shared by install.sh, start.sh and stop.sh: the servers, their loopback addresses, the test
# user and where everything lives. Sourced, never run.
# shellcheck disable=SC2034  # the variables are used by the scripts that source this

FTP_SERVERS=(vsftpd pureftpd proftpd pyftpdlib vsftpdtls pureftpdtls proftpdtls pyftpdlibtls
  vsftpd6 pyftpdlib6 pureftpd6 proftpd6)
# The IPv6 servers (vsftpd6, pyftpdlib6, pureftpd6, proftpd6) listen on ::1, which every test
# network shares: each network gets its own ports there (21000 + 10 * the last number of
# TARSIL_FTP_NET + 1, 2, 3, 4).
# The TLS servers: the same programs, each with a certificate made at its start, asking for TLS
# on the control connection and on every data connection (pyftpdlibtls also offers implicit TLS
# on port 990).
FTP_TLS_IMPLICIT_PORT=990
FTP_PORT=21
FTP_USER=${TARSIL_FTP_USER:-tarsil}
FTP_PASSWORD=${TARSIL_FTP_PASSWORD:-tarsil-pass}
FTP_PREFIX=${TARSIL_FTP_PREFIX:-/opt/tarsil-ftp}
FTP_STATE=${TARSIL_FTP_STATE:-/tmp/tarsil-ftp}
FTP_TEMPLATES=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
FTP_PAM_SERVICE=tarsil-vsftpd

die() {
  echo "ftp-servers: $*" >&2
  exit 1
}

# The loopback address a server listens on (port 21). TARSIL_FTP_NET moves all four to another
# 127.x.y network (e.g. 127.0.5 gives 127.0.5.21-24), so that two test runs on one machine, each
# with its own TARSIL_FTP_STATE, do not share servers.
FTP_NET=${TARSIL_FTP_NET:-127.0.0}
[[ $FTP_NET =~ ^127\.[0-9]{1,3}\.[0-9]{1,3}$ ]] || die "TARSIL_FTP_NET must look like 127.X.Y (got '$FTP_NET')"
server_address() {
  case "$1" in
    vsftpd) echo "$FTP_NET.21" ;;
    pureftpd) echo "$FTP_NET.22" ;;
    proftpd) echo "$FTP_NET.23" ;;
    pyftpdlib) echo "$FTP_NET.24" ;;
    vsftpdtls) echo "$FTP_NET.25" ;;
    pureftpdtls) echo "$FTP_NET.26" ;;
    proftpdtls) echo "$FTP_NET.27" ;;
    pyftpdlibtls) echo "$FTP_NET.28" ;;
    vsftpd6 | pyftpdlib6 | pureftpd6 | proftpd6) echo "::1" ;;
    *) die "unknown server '$1' (one of: ${FTP_SERVERS[*]}, all)" ;;
  esac
}

# The Debian package whose .deb is unpacked into the private prefix (none for pyftpdlib).
server_package() {
  case "$1" in
    vsftpd) echo vsftpd ;;
    pureftpd) echo pure-ftpd ;;
    proftpd) echo proftpd-core ;;
    *) echo "" ;;  # pyftpdlib from apt; the TLS servers use their plain sibling's install
  esac
}

# The port a server listens on.
server_port() {
  case "$1" in
    vsftpd6) echo $((21000 + 10 * ${FTP_NET##*.} + 1)) ;;
    pyftpdlib6) echo $((21000 + 10 * ${FTP_NET##*.} + 2)) ;;
    pureftpd6) echo $((21000 + 10 * ${FTP_NET##*.} + 3)) ;;
    proftpd6) echo $((21000 + 10 * ${FTP_NET##*.} + 4)) ;;
    *) echo "$FTP_PORT" ;;
  esac
}

# True for the servers that speak TLS.
is_tls_server() { [[ $1 == *tls ]]; }

# The program family of a server (its plain sibling's name).
server_family() {
  local family=${1%tls}
  echo "${family%6}"
}

# The executable that runs the server.
server_binary() {
  case "$(server_family "$1")" in
    vsftpd) echo "$FTP_PREFIX/vsftpd/usr/sbin/vsftpd" ;;
    pureftpd) echo "$FTP_PREFIX/pureftpd/usr/sbin/pure-ftpd" ;;
    proftpd) echo "$FTP_PREFIX/proftpd/usr/sbin/proftpd" ;;
    pyftpdlib) echo /usr/bin/python3 ;;
  esac
}

# Expands "all" (or nothing) to every server and checks the names.
server_list() {
  if [ $# -eq 0 ] || [ "$1" = all ]; then
    echo "${FTP_SERVERS[@]}"
    return
  fi
  local name
  for name in "$@"; do
    server_address "$name" >/dev/null
  done
  echo "$@"
}

# The start time of a process in clock ticks since boot (field 22 of /proc/PID/stat).
process_start_time() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }  # the command name in parentheses may hold spaces
  # shellcheck disable=SC2086  # split into fields on purpose
  set -- $stat
  echo "${20}"
}

# Records a started server: its pid and the process's start time, so that a reused pid is never
# taken for the server.
write_pid_file() {
  local start
  start=$(process_start_time "$2") || return 1
  echo "$2 $start" >"$FTP_STATE/$1/server.pid"
}

# Prints the pid in a server's pid file when that process is alive and is still that server.
running_pid() {
  local pidfile=$FTP_STATE/$1/server.pid pid start
  [ -f "$pidfile" ] || return 1
  read -r pid start <"$pidfile" 2>/dev/null || return 1
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  [ "$(process_start_time "$pid")" = "$start" ] || return 1
  echo "$pid"
}

# The pids of every live process in a server's session (the server and the sessions it forked);
# zombies waiting for their reaper hold nothing and are left out.
session_pids() {
  ps -o pid=,stat= -s "$1" 2>/dev/null | awk '$2 !~ /^Z/ { print $1 }' || true
}

# Stops one server and every process it forked; quiet success when it is not running.
stop_server() {
  local name=$1 pid deadline pids
  if ! pid=$(running_pid "$name"); then
    rm -f "$FTP_STATE/$name/server.pid"
    return 0
  fi
  # Each server leads a session of its own (setsid), so its session holds all it started.
  mapfile -t pids < <(session_pids "$pid")
  kill -TERM "${pids[@]}" 2>/dev/null || true
  deadline=$((SECONDS + 5))
  while [ -n "$(session_pids "$pid")" ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.05
  done
  if [ -n "$(session_pids "$pid")" ]; then
    echo "ftp-servers: $name did not end on SIGTERM; killing it" >&2
    mapfile -t pids < <(session_pids "$pid")
    kill -KILL "${pids[@]}" 2>/dev/null || true
  fi
  rm -f "$FTP_STATE/$name/server.pid"
  echo "ftp-servers: stopped $name"
}
