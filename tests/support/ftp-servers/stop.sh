#!/usr/bin/env bash
# Stops test FTP servers started by start.sh. Usage: stop.sh <vsftpd|pureftpd|proftpd|pyftpdlib|all>
# Stopping a server that is not running succeeds. The state folder (logs, root) stays for a look.
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ $# -le 1 ] || die "usage: stop.sh <${FTP_SERVERS[*]// /|}|all>"
for name in $(server_list "$@"); do
  stop_server "$name"
done
