#!/usr/bin/env bash
# Transfer benchmark: Tarsil against curl and lftp over loopback from the test vsftpd, on the
# loopback network of TARSIL_FTP_NET (default 127.0.0: vsftpd on 127.0.0.21; 127.0.7 puts it on
# 127.0.7.21), with its state under TARSIL_FTP_STATE. Run as root (the test FTP servers bind
# port 21). Restarts that vsftpd with a fresh root.
# Usage: TARSIL_FTP_NET=127.0.7 TARSIL_FTP_STATE=/tmp/x bench/transfer.sh [bench_transfer options,
#        e.g. --runs 3 --mib 256 --cases download,upload]
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "bench/transfer.sh: run as root" >&2; exit 1; }
need=()
command -v curl >/dev/null || need+=(curl)
command -v lftp >/dev/null || need+=(lftp)
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}" >/dev/null
fi
servers=tests/support/ftp-servers

# FTPS: a 1 GiB upload and download over explicit TLS against vsftpdtls, Tarsil beside curl
# (--ssl-reqd) and lftp (ftp:ssl-force), in turn in each round. Each transfer is timed by the
# server's own transfer log (the rate it logs for the upload and for the download), which
# compares the transfers themselves; the whole-process times are shown too, but a script pauses
# 500 ms after every line, 3.5 s over this one's seven, which curl and lftp do not.
# Usage: bench/transfer.sh ftps [MiB, default 1024] [rounds, default 3]
ftps_case() {
  local mib=${1:-1024} rounds=${2:-3} work tool start end round
  [ -x /opt/tarsil-ftp/vsftpd/usr/sbin/vsftpd ] || "$servers/install.sh"
  "$servers/start.sh" vsftpdtls
  # shellcheck disable=SC1091  # written by start.sh
  source "${TARSIL_FTP_STATE:-/tmp/tarsil-ftp}/servers.env"
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSIL_TESTS=OFF \
    -DTARSIL_GUI=OFF >/dev/null
  cmake --build build-bench --target tarsil >/dev/null
  work=$(mktemp -d)
  head -c "$((mib << 20))" /dev/urandom >"$work/big.bin"
  local url="ftp://$VSFTPDTLS_ADDRESS" auth="$VSFTPDTLS_USER:$VSFTPDTLS_PASSWORD"
  printf 'setparam TLSFINGERPRINT=%s\r\nOpen ftpes://%s\r\nLogin %s %s\r\nBinary\r\nPut %s upload/t.bin\r\nGet upload/t.bin %s\r\nBye\r\n' \
    "$(cat "$VSFTPDTLS_FINGERPRINT_FILE")" "$VSFTPDTLS_ADDRESS" "$VSFTPDTLS_USER" \
    "$VSFTPDTLS_PASSWORD" "$work/big.bin" "$work/t.bin" >"$work/ftps.fcs"
  local log=$VSFTPDTLS_LOG seen samples=$work/samples
  for ((round = 1; round <= rounds; round++)); do
    for tool in tarsil curl lftp; do
      seen=$(wc -l <"$log")
      start=$(date +%s.%N)
      case $tool in
        tarsil) TARSIL_HEADLESS=1 build-bench/tarsil "/auto$work/ftps.fcs" >/dev/null ;;
        curl)
          curl -sS -k --ssl-reqd -u "$auth" -T "$work/big.bin" "$url/upload/c.bin"
          curl -sS -k --ssl-reqd -u "$auth" -o "$work/c.bin" "$url/upload/c.bin" ;;
        lftp)
          lftp -c "set ftp:ssl-force true; set ssl:verify-certificate no;
            open -u $auth $VSFTPDTLS_ADDRESS; put $work/big.bin -o upload/l.bin;
            get upload/l.bin -o $work/l.bin" ;;
      esac
      end=$(date +%s.%N)
      # One line per transfer: tool, direction, MB/s from the server's log.
      tail -n +"$((seen + 1))" "$log" |
        sed -n 's/.*OK \(UPLOAD\|DOWNLOAD\):.* \([0-9.]*\)Kbyte\/sec.*/\1 \2/p' |
        awk -v tool="$tool" '{ printf "%s %s %.0f\n", tool, tolower($1), $2 * 1024 / 1e6 }' \
          >>"$samples"
      echo "round $round: ftps $mib MiB up+down $tool: $(echo "$end - $start" | bc) s" \
        "($(grep "^$tool " "$samples" | tail -2 | awk '{ printf "%s%s %s MB/s", sep, $2, $3; sep = ", " }'))"
      rm -f "$work/c.bin" "$work/l.bin" "$work/t.bin"
    done
  done
  # Median per tool and direction, and Tarsil's ratio against the faster of curl and lftp.
  for dir in upload download; do
    local t c l
    t=$(awk -v d=$dir '$1 == "tarsil" && $2 == d { print $3 }' "$samples" | sort -n |
      awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    c=$(awk -v d=$dir '$1 == "curl" && $2 == d { print $3 }' "$samples" | sort -n |
      awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    l=$(awk -v d=$dir '$1 == "lftp" && $2 == d { print $3 }' "$samples" | sort -n |
      awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    echo "ftps $dir, median of $rounds (MB/s): Tarsil $t, curl $c, lftp $l;" \
      "ratio $(awk -v t="$t" -v c="$c" -v l="$l" 'BEGIN { m = c > l ? c : l; printf "%.2fx", t / m }')"
  done
  rm -rf "$work" "$VSFTPDTLS_ROOT/upload/"*.bin
}
if [ "${1:-}" = ftps ]; then
  shift
  ftps_case "$@"
  exit 0
fi
[ -x /opt/tarsil-ftp/vsftpd/usr/sbin/vsftpd ] || "$servers/install.sh"
"$servers/start.sh" vsftpd
# shellcheck disable=SC1091  # written by start.sh
source "${TARSIL_FTP_STATE:-/tmp/tarsil-ftp}/servers.env"
echo "vsftpd on $VSFTPD_ADDRESS" >&2
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSIL_BENCH=ON -DTARSIL_TESTS=OFF \
  -DTARSIL_GUI=OFF >/dev/null
cmake --build "$build" --target bench_transfer tarsil
"$build/bench/bench_transfer" --host "$VSFTPD_ADDRESS" --user "$VSFTPD_USER" \
  --password "$VSFTPD_PASSWORD" --root "$VSFTPD_ROOT" --tarsil "$build/tarsil" "$@"
