#!/usr/bin/env bash
# Builds Tarsil, starts a real FTP server (vsftpd) on the loopback address 127.0.0.21 with a demo
# tree, and runs the example job examples/nightly-exchange.fcs unattended against it, as a
# scheduler would. The execution log appears on the console and in the log file named at the end.
# Needs root (it installs packages and runs the server).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
tests/support/ftp-servers/install.sh >/dev/null
cmake -S . -B build-demo -G Ninja -DTARSIL_TESTS=OFF -DTARSIL_GUI=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target tarsil >/dev/null

tests/support/ftp-servers/start.sh vsftpd >/dev/null
trap 'tests/support/ftp-servers/stop.sh vsftpd >/dev/null 2>&1 || true' EXIT

work=$(scripts/demo-folder.sh)

TARSIL_HOME="$work" TARSIL_HEADLESS=1 build-demo/tarsil "/auto$top/examples/nightly-exchange.fcs"
echo
echo "Log file: $work/demo.log"
cmp -s "$work/outbox/data1.csv" "$work/inbox/data1.csv" && echo "inbox/data1.csv came back byte for byte"
