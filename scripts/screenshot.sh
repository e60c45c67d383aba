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
work=$(scripts/demo-folder.sh)
trap 'rm -rf "$work"; tests/support/ftp-servers/stop.sh vsftpd >/dev/null 2>&1 || true' EXIT
cp examples/nightly-exchange.fcs "$work/nightly.fcs"

TARSIL_HOME="$work" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x640x24" \
  build-shot/tarsil_screenshot "$work/nightly.fcs" "$top/docs/screenshot-main-window.png"
echo "Saved docs/screenshot-main-window.png"
