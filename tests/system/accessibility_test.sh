#!/usr/bin/env bash
# The client under a screen reader, through AT-SPI as Orca reads it: with
# the accessibility bus on (as Orca turns it on), the demo page's headings,
# buttons and field by role and name, in the normal window (under the
# window the user sees) and off screen; a button pressed by its accessible
# action does what a click does.
# Usage: accessibility_test.sh VELTROCRM DEMO_SERVER
set -uo pipefail
if [ "${VELTRO_A11Y_SESSION:-}" != 1 ]; then
  # The accessibility bus keeps "a screen reader is on" in the desktop's
  # settings: here in memory, gone with the session.
  VELTRO_A11Y_SESSION=1 GSETTINGS_BACKEND=memory exec dbus-run-session -- bash "$0" "$@"
fi
exe=$1 demo=$2
. "$(dirname "$0")/lib.sh"
probe=$(dirname "$0")/atspi_probe.py
export LANG=zh_CN.UTF-8
private_install "$exe"
trap 'kill $(jobs -p) 2>/dev/null; cleanup_install' EXIT
cp -r "$(dirname "$0")/../../resources/demo/client/." "$work/site/"
# What Orca does when it starts: the accessibility bus comes up and says a
# screen reader is on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true > /dev/null
tree() { /usr/bin/python3 "$probe" tree "$client_pid" > "$work/tree" 2>"$work/tree.err"; }
has() { tree && grep -qP "$1" "$work/tree"; }
# A push button is "push button" to AT-SPI 2.46 (Debian 12), "button" to
# later ones.
page_checks() {  # page_checks MODE
  check "$1: the page's buttons reach the screen reader" wait_until 30 has '\t(push )?button\t开启固话捕捉\t'
  buttons=$(grep -cP '\t(push )?button\t' "$work/tree")
  check "$1: all 18 of them ($buttons buttons seen)" test "$buttons" -ge 18
  check "$1: its headings" grep -qP '\theading\t来电捕捉\t' "$work/tree"
  check "$1: its field" grep -qP '\t(entry|text)\t' "$work/tree"
}

serve_and_start "$demo"
wait_for_main
page_checks window
# The page hangs under the window the user sees.
check "window: under the visible main window" awk -F'\t' -v t="$main_title" '
  $1 == 1 { under = ($3 == t) } $3 == "开启固话捕捉" && under { found = 1 } END { exit !found }' "$work/tree"
check "a button pressed by its accessible action" /usr/bin/python3 "$probe" press "$client_pid" 开启手机捕捉
check "does what a click does" wait_until 10 has '\tlabel\t手机来电捕捉已开启\t'
stop_client

serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
page_checks off-screen
finish
