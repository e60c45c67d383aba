#!/usr/bin/env bash
# Takes docs/screenshot-main-window.png: the main window after a run of the example job, on an
# Xvfb display with the real X11 platform plugin, in a scratch folder of its own.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
cmake -S . -B build-shot -G Ninja -DTARSIL_TESTS=OFF >/dev/null
cmake --build build-shot -j "$(nproc)" --target tarsil_screenshot

work=$(mktemp -d "${TMPDIR:-/tmp}/tarsil-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/outbox"
printf 'old\r\n' > "$work/outbox/a.tmp"
printf 'old\r\n' > "$work/outbox/b.tmp"
printf 'report\r\n' > "$work/outbox/report.txt"
cat > "$work/settings.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]
"demo_dir"="$work"
REG
cp examples/local-demo.fcs "$work/nightly.fcs"

TARSIL_HOME="$work" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x640x24" \
  build-shot/tarsil_screenshot "$work/nightly.fcs" "$top/docs/screenshot-main-window.png"
echo "Saved docs/screenshot-main-window.png"
