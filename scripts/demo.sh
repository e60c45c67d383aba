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

work=$(mktemp -d "${TMPDIR:-/tmp}/tarsil-demo.XXXXXX")
mkdir -p "$work/outbox" "$work/inbox"
head -c 200000 /dev/urandom > "$work/outbox/report.bin"
printf 'Nightly notes\r\nAll systems normal\r\n' > "$work/outbox/notes.txt"
for i in 1 2 3; do printf 'id,value\r\n%s,%s\r\n' "$i" "$((i * 7))" > "$work/outbox/data$i.csv"; done
cat > "$work/settings.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]
"server"="127.0.0.21"
"user"="tarsil"
"password"="tarsil-pass"
"workdir"="$work"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Options]
"ch_Logsave"=dword:00000001
"Logsave"="$work/demo.log"
"cb_passive"=dword:00000001
REG

TARSIL_HOME="$work" TARSIL_HEADLESS=1 build-demo/tarsil "/auto$top/examples/nightly-exchange.fcs"
echo
echo "Log file: $work/demo.log"
cmp -s "$work/outbox/data1.csv" "$work/inbox/data1.csv" && echo "inbox/data1.csv came back byte for byte"
