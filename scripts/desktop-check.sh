#!/usr/bin/env bash
# The desktop face on a real display: a virtual X display (Xvfb) with a window manager (openbox),
# the real tarsil binary and a real FTP server (vsftpd of the test fixtures).
#   1. tarsil is started with a script named on its command line: the window must show it;
#   2. F9 runs it against vsftpd (it ends still logged in), and a screenshot is taken;
#   3. the window is closed through the window manager (Alt+F4) and the question answered Yes:
#      the program must end and the server's log must show QUIT;
#   4. the desktop test of window placement and decorations runs again on this display.
# Usage: desktop-check.sh BUILD_DIR [--update-screenshot]   (as root, like the server fixtures)
# Leaves its files in BUILD_DIR/desktop-check; --update-screenshot also copies the picture of the
# main window to docs/screenshot-main-window.png. Honours TARSIL_FTP_NET and TARSIL_FTP_STATE.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: desktop-check.sh BUILD_DIR [--update-screenshot]}
[[ $build = /* ]] || build=$PWD/$build
update_screenshot=no
[ "${2:-}" = --update-screenshot ] && update_screenshot=yes
out=$build/desktop-check
ftp_state=${TARSIL_FTP_STATE:-/tmp/tarsil-ftp}

die() {
  echo "desktop-check: $*" >&2
  # What the display showed then, for the diagnosis.
  if [ -n "${DISPLAY:-}" ] && command -v xwd >/dev/null; then
    xwd -root -silent 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >"$out/failure.png" 2>/dev/null &&
      echo "desktop-check: the screen then: $out/failure.png" >&2
  fi
  exit 1
}
for tool in Xvfb openbox xdotool xprop xwininfo xwd xwdtopnm pnmcut pnmtopng; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -x "$build/tarsil" ] || die "$build/tarsil is missing: build it first"
[ -x "$build/tests/gui_WindowManagerTest" ] || die "$build/tests/gui_WindowManagerTest is missing"

rm -rf "$out"
mkdir -p "$out"
pids=()
work=""
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "$work" ] && rm -rf "$work"
  "$top/tests/support/ftp-servers/stop.sh" vsftpd >/dev/null 2>&1 || true
}
trap cleanup EXIT

# Waits (bounded, polling) until a command succeeds: wait_for SECONDS WHAT COMMAND...
wait_for() {
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || die "timed out after ${limit}s waiting for $what"
    sleep 0.1
  done
}

echo "== virtual display with a window manager"
Xvfb -displayfd 3 -screen 0 1024x640x24 -nolisten tcp 3>"$out/display" 2>"$out/xvfb.log" &
pids+=($!)
wait_for 20 "Xvfb to start" test -s "$out/display"
export DISPLAY=:$(head -n1 "$out/display")
export QT_QPA_PLATFORM=xcb
unset TARSIL_HEADLESS WAYLAND_DISPLAY
HOME=$out openbox --sm-disable >"$out/openbox.log" 2>&1 &
pids+=($!)
wait_for 20 "the window manager" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

echo "== vsftpd"
"$top/tests/support/ftp-servers/start.sh" vsftpd
# shellcheck disable=SC1091  # written by start.sh
source "$ftp_state/servers.env"
server_log=$VSFTPD_LOG
work=$("$top/scripts/demo-folder.sh")
sed -i "s/^\"server\"=.*/\"server\"=\"$VSFTPD_ADDRESS\"/" "$work/settings.reg"
# The example job without its last part: it ends still logged in. Its last line removes a flag
# file, which tells this script that the run has come to its end.
sed '/^Bye\r\?$/,$d' "$top/examples/nightly-exchange.fcs" >"$work/job.fcs"
printf 'ldel %%workdir%%/running.flag\r\n' >>"$work/job.fcs"
: >"$work/running.flag"

echo "== tarsil job.fcs, F9"
TARSIL_HOME=$work "$build/tarsil" "$work/job.fcs" >"$out/tarsil.out" 2>&1 &
tarsil_pid=$!
pids+=("$tarsil_pid")
title="Tarsil -$work/job.fcs"
wait_for 30 "the main window showing $title" xdotool search --name "^${title//./\\.}\$"
window=$(xdotool search --name "^${title//./\\.}\$" | head -n1)
xdotool windowactivate --sync "$window"
wait_for 10 "the main window to have the focus" sh -c "[ \"\$(xdotool getactivewindow)\" = $window ]"
xdotool key F9
wait_for 120 "the run to reach its last line" test ! -e "$work/running.flag"
sleep 1 # the run's end line and the last paint

echo "== screenshot"
# The client area's absolute place and size, then the frame around it.
info=$(xwininfo -id "$window")
X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
WIDTH=$(sed -n 's/.*Width: *//p' <<<"$info")
HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
read -r left right top_edge bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS |
  sed -n 's/.*= \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)/\1 \2 \3 \4/p')
xwd -root -silent | xwdtopnm 2>/dev/null >"$out/screen.pnm"
pnmtopng "$out/screen.pnm" >"$out/screen.png"
pnmcut -left $((X - ${left:-0})) -top $((Y - ${top_edge:-0})) \
  -width $((WIDTH + ${left:-0} + ${right:-0})) -height $((HEIGHT + ${top_edge:-0} + ${bottom:-0})) \
  "$out/screen.pnm" | pnmtopng >"$out/main-window.png"
echo "saved $out/main-window.png"

echo "== close while logged in (Alt+F4), Yes"
quits_before=$(grep -c '"QUIT"' "$server_log" || true)
xdotool windowactivate --sync "$window"
xdotool key alt+F4
wait_for 20 "the question whether to disconnect" xdotool search --name '^Tarsil$'
question=$(xdotool search --name '^Tarsil$' | head -n1)
xdotool windowactivate --sync "$question"
xdotool key Return # Yes is the default button
wait_for 30 "tarsil to end" sh -c "! kill -0 $tarsil_pid"
status=0
wait "$tarsil_pid" || status=$?
[ "$status" -eq 0 ] || die "tarsil ended with status $status ($(cat "$out/tarsil.out"))"
quits_after=$(grep -c '"QUIT"' "$server_log" || true)
[ "$quits_after" -gt "$quits_before" ] || die "the server saw no QUIT after the close ($server_log)"
grep -q '^QUIT' "$work/demo.log" || die "the run log $work/demo.log holds no QUIT"
cp "$work/demo.log" "$out/run.log"

echo "== window placement and decorations under the window manager"
TARSIL_TEST_FONTS=1 "$build/tests/gui_WindowManagerTest" >"$out/window-manager-test.log" 2>&1 ||
  die "gui_WindowManagerTest failed on the virtual display: $(tail -n 30 "$out/window-manager-test.log")"

if [ "$update_screenshot" = yes ]; then
  cp "$out/main-window.png" "$top/docs/screenshot-main-window.png"
  echo "updated docs/screenshot-main-window.png"
fi
echo "desktop-check: 4 passed, 0 failed"
