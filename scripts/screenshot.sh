#!/usr/bin/env bash
# Takes docs/screenshot-main-window.png: the main window after a run of the example job against a
# real FTP server (vsftpd on 127.0.0.21), on an Xvfb display with the real X11 platform plugin, in a
# scratch folder of its own. Needs root, like the demo.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
cmake -S . -B build-shot -G Ninja -DTARSIL_TESTS=OFF >/dev/null
cmake --build build-shot -j "$(nproc)" --target tarsil_screenshot

tests/support/ftp-servers/install.sh >/dev/null
tests/support/ftp-servers/start.sh vsftpd >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/tarsil-shot.XXXXXX")
trap 'rm -rf "$work"; tests/support/ftp-servers/stop.sh vsftpd >/dev/null 2>&1 || true' EXIT
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
"cb_passive"=dword:00000001
REG
cp examples/nightly-exchange.fcs "$work/nightly.fcs"

TARSIL_HOME="$work" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x640x24" \
  build-shot/tarsil_screenshot "$work/nightly.fcs" "$top/docs/screenshot-main-window.png"
echo "Saved docs/screenshot-main-window.png"
