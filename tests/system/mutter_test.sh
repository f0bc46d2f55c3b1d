#!/usr/bin/env bash
# GNOME's own compositor: mutter, headless with one 1280x800 monitor and no
# Xwayland, in a D-Bus session of its own. The client draws on native
# Wayland in both drawing modes; the page's full screen fills the monitor
# and back the window is maximised again (the page reports its size), and
# the client keeps running: mutter, like Weston, sizes such a window itself.
# Usage: mutter_test.sh VELTROCRM DEMO_SERVER PHONE_SIM
set -uo pipefail
if [ "${VELTRO_OWN_BUS:-}" != 1 ]; then
  if ! command -v mutter > /dev/null; then
    echo "needs mutter: skipped"
    exit 77
  fi
  VELTRO_OWN_BUS=1 GSETTINGS_BACKEND=memory exec dbus-run-session -- bash "$0" "$@"
fi
exe=$1 demo=$2 phone_sim=$3
. "$(dirname "$0")/lib.sh"
private_install "$exe"
unset DISPLAY
mutter --wayland --headless --no-x11 --virtual-monitor 1280x800 --wayland-display=veltro-mutter \
  > "$work/mutter.log" 2>&1 &
mutter_pid=$!
trap 'cleanup_install kill $mutter_pid' EXIT
check "mutter starts" wait_until 20 test -S "$XDG_RUNTIME_DIR/veltro-mutter"
export WAYLAND_DISPLAY=veltro-mutter

cp "$(dirname "$0")/full_screen_page.html" "$work/site/index.html"
web_log() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/网页日志$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r'; }
last_size() { web_log | sed -n 's/.*size \([0-9]*x[0-9]*\).*/\1/p' | tail -1; }
size_is() { [ "$(last_size)" = "$1" ]; }
size_below() { local size; size=$(last_size); [ -n "$size" ] && [ "${size#*x}" -lt "$1" ]; }
called() { web_log | grep -F "call[$1]" > /dev/null; }

for mode in windowed off-screen; do
  switches=()
  [ "$mode" = off-screen ] && switches=(--off-screen-rendering-enabled)
  rm -f "$work/app/log/网页日志$(date +%Y%m%d).txt"
  serve_and_start "$demo" "${switches[@]}"
  check "$mode on mutter, the client draws on native Wayland" \
    wait_until 20 program_logged "Wayland session without Xwayland"
  check "$mode, the page has its size" wait_until 30 size_below 801
  echo "$mode, maximised: $(last_size)"
  "$phone_sim" 13800138001 > /dev/null
  check "$mode, the page asks for full screen" wait_until 10 called 13800138001
  check "$mode, full screen fills the monitor" wait_until 15 size_is 1280x800
  "$phone_sim" 13800138002 > /dev/null
  check "$mode, and back" wait_until 10 called 13800138002
  check "$mode, back, the window is maximised again" wait_until 15 size_below 800
  echo "$mode, back: $(last_size)"
  check "$mode, the client still runs" kill -0 "$client_pid"
  stop_client
done
finish
