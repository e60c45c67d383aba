#!/usr/bin/env bash
# Makes the scratch folder of the example job examples/nightly-exchange.fcs: an outbox with files
# to send, an empty inbox, and a settings file with the stored values the job expands and the log
# file option. Prints the folder. Used by demo.sh and screenshot.sh.
set -euo pipefail
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
echo "$work"
