#!/usr/bin/env bash
# Builds Tarsil and runs the example job unattended, as a scheduler would, in a scratch folder of
# its own. The execution log appears on the console and in the log file it names at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
cmake -S . -B build-demo -G Ninja -DTARSIL_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target tarsil

work=$(mktemp -d "${TMPDIR:-/tmp}/tarsil-demo.XXXXXX")
mkdir -p "$work/outbox"
printf 'old\r\n' > "$work/outbox/a.tmp"
printf 'old\r\n' > "$work/outbox/b.tmp"
printf 'report\r\n' > "$work/outbox/report.txt"
cat > "$work/settings.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]
"demo_dir"="$work"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Options]
"ch_Logsave"=dword:00000001
"Logsave"="$work/demo.log"
REG

TARSIL_HOME="$work" TARSIL_HEADLESS=1 build-demo/tarsil "/auto$top/examples/local-demo.fcs"
echo
echo "Log file: $work/demo.log"
