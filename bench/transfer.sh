#!/usr/bin/env bash
# Transfer benchmark: Tarsil against curl and lftp over loopback from vsftpd (127.0.0.21).
# Run as root (the test FTP servers bind port 21). Restarts the test vsftpd with a fresh root.
# Usage: bench/transfer.sh [bench_transfer options, e.g. --runs 3 --mib 256]
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
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSIL_BENCH=ON -DTARSIL_TESTS=OFF \
  -DTARSIL_GUI=OFF >/dev/null
cmake --build "$build" --target bench_transfer tarsil
"$build/bench/bench_transfer" --host "$VSFTPD_ADDRESS" --user "$VSFTPD_USER" \
  --password "$VSFTPD_PASSWORD" --root "$VSFTPD_ROOT" --tarsil "$build/tarsil" "$@"
