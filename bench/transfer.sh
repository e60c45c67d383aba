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
