#!/usr/bin/env bash
# The built client under X with a window manager, driven from outside:
# start-up flags, the main window, page log, remote debugging, single
# instance, a clean exit and the loading dialog of a slow start.
# Usage: startup_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1
demo=$2
shot=$3
title='VeltroCRM客户管理系统 (版本2.6.1)'
. "$(dirname "$0")/lib.sh"

private_install "$exe"
# --version and --help answer on the terminal, even without a display, and
# start nothing.
env -u DISPLAY "$work/app/veltrocrm" --version > "$work/version"
check "--version prints the version" test "$(head -1 "$work/version")" = "VeltroCRM客户管理系统 2.6.1"
engine_line='^Qt WebEngine 6\.[0-9]+\.[0-9]+ \(Chromium [0-9]+\.[0-9.]+, security patches [0-9]+\.[0-9.]+\)$'
check "and the engine with the Chromium it is built on" bash -c "sed -n 2p '$work/version' | grep -qE '$engine_line'"
check "--help lists the switches" bash -c "env -u DISPLAY '$work/app/veltrocrm' --help | grep -q -- '--start-url=URL'"
check "and nothing was started" test ! -e "$work/app/log/软件日志$(date +%Y%m%d).txt"
mkdir -p "$work/bin"
# A stand-in firewall tool that records each call.
printf '#!/bin/sh\necho "$@" >> %s/firewall-calls\n' "$work" > "$work/bin/ufw"
chmod +x "$work/bin/ufw"
export PATH=$work/bin:$PATH

mkdir -p "$XDG_DATA_HOME/morvanecrm/sub" "$XDG_DATA_HOME/morvanecrmconfig"
echo stale > "$XDG_DATA_HOME/morvanecrm/sub/old-cookie"
printf '[Cache]\r\nclearCache=1\r\n' > "$XDG_DATA_HOME/morvanecrmconfig/config.ini"

"$demo" 0 > "$work/port" 2>/dev/null &
demo_pid=$!
wait_until 5 test -s "$work/port" || { echo "demo server did not start"; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/client"

# Support staff ask for the debugging port; nobody else gets one.
"$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 --remote-debugging-port=8100 \
  > "$work/client.out" 2>&1 &
client_pid=$!

window_id() { search_windows --onlyvisible --name "^${title//(/\\(}\$" | head -1; }
window_shown() { test -n "$(window_id)"; }
check "main window is shown" wait_until 30 window_shown
wid=$(window_id)
maximized() { xprop -id "$wid" _NET_WM_STATE | grep _NET_WM_STATE_MAXIMIZED_HORZ > /dev/null; }
check "main window is maximised" wait_until 10 maximized
check "title is exact" test "$(xdotool getwindowname "$wid")" = "$title"
# Drawing in software, the window has no use for the GL stack, which costs
# every start the loading of Mesa and its LLVM.
check "the windowed client loads no OpenGL driver" bash -c "! grep -qE '_dri\.so|libLLVM|libGLX_mesa' /proc/$client_pid/maps"
page_listed() { curl -s --max-time 2 http://127.0.0.1:8100/json/list | grep "\"url\": \"$url/\"" > /dev/null; }
check "the debugging port asked for lists the page" wait_until 20 page_listed

# F11 toggles full screen: the whole desktop without a frame, then back.
geometry() {
  local id
  id=$(window_id)
  [ -n "$id" ] || return 0
  xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x","y","w","h}'
}
desktop=$(xdpyinfo | awk '/dimensions:/{split($2,d,"x"); print "0,0,"d[1]","d[2]}')
full_screen() { [ "$(geometry)" = "$desktop" ]; }
check "F11 covers the whole desktop" key_then "$(window_id)" F11 full_screen
maximized_again() { wid=$(window_id); [ -n "$wid" ] && maximized && ! full_screen; }
check "F11 again brings back the maximised frame" key_then "$(window_id)" F11 maximized_again
day=$(date +%Y%m%d)
page_log="$work/app/log/网页日志$day.txt"
# The demo page notes its window's focus and blur in the page log.
last_focus_note() { iconv -f UTF-16LE -t UTF-8 "$page_log" | tr -d '\r' | grep -E '^窗口(获得|失去)焦点$' | tail -1; }
check "the page keeps the keyboard through full screen and back" test "$(last_focus_note)" != 窗口失去焦点

expected_hex=$( (printf '\xff\xfe'; printf '演示页面已加载\r\n' | iconv -f UTF-8 -t UTF-16LE) | od -An -tx1 | tr -d ' \n')
page_logged() {
  [ -f "$page_log" ] && [ "$(head -c $((${#expected_hex} / 2)) "$page_log" | od -An -tx1 | tr -d ' \n')" = "$expected_hex" ]
}
check "console output lands in the page log as UTF-16LE with BOM" wait_until 10 page_logged
# By its dark text: the white frame under the loading dialog also passes for
# the page's light background.
demo_painted() {
  local out
  out=$("$shot" "$(window_id)" "$shots/demo-page.png" 223344 2>/dev/null) || return 1
  awk -v o="$out" 'BEGIN { split(o, f, /[ =]/); exit !(f[2] < 0.2 && f[4] >= 5000 && f[6] >= 8) }'
}
check "the demo page is shown" wait_until 10 demo_painted
check "the engine's notes are in its own log" grep -q '^\[qt ' "$work/app/log/errorLog.txt"
check "the program log names the engine that runs" \
  bash -c "iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$day.txt' | grep -qF '$(sed -n 2p "$work/version")'"
no_display=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/app/veltrocrm" 2>&1)
check "without a display the client says so in one line and exits 1" \
  bash -c "env -u DISPLAY -u WAYLAND_DISPLAY '$work/app/veltrocrm' >/dev/null 2>&1; [ \$? = 1 ] && [ '$(echo "$no_display" | wc -l)' = 1 ]"
echo "$no_display"
check "clearCache=1 emptied the user data folder" test ! -e "$XDG_DATA_HOME/morvanecrm/sub/old-cookie"
check "clearCache reads 0 after start" grep -q '^clearCache=0' "$XDG_DATA_HOME/morvanecrmconfig/config.ini"
check "firewall command ran once" test "$(wc -l < "$work/firewall-calls" 2>/dev/null)" = 1
check "isAdd reads 1" grep -q '^isAdd=1' "$work/app/pardo.ini"

start=$SECONDS
"$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 > /dev/null 2>&1
second_exit=$?
check "second start exits 0" test "$second_exit" = 0
check "second start takes under a second" test $((SECONDS - start)) -le 1
check "second start leaves the flags alone" test "$(wc -l < "$work/firewall-calls")" = 1
timeout 20 "$work/app/veltrocrm" --type= > /dev/null 2>&1
check "an empty --type= is refused, not a second browser" test $? = 1
check "the first window is still the only one" test "$(search_windows --onlyvisible --name "^${title//(/\\(}\$" | wc -l)" = 1

wmctrl -c "$title"
check "closing the window ends the process" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
wait "$client_pid"
check "exit code is 0" test $? = 0
client_pid=""

# A second run: isAdd=1 now, so no second firewall call; clearCache=2 is left alone.
printf '[Cache]\r\nclearCache=2\r\n' > "$XDG_DATA_HOME/morvanecrmconfig/config.ini"
echo keep > "$XDG_DATA_HOME/morvanecrm/keep-me"
"$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 > "$work/client2.out" 2>&1 &
client_pid=$!
check "second run shows its window" wait_until 30 window_shown
# Without a debugging port asked for (whose address the engine prints for
# support), a start says nothing on the terminal.
wait_until 10 demo_painted
check "a normal start prints nothing on the terminal" test ! -s "$work/client2.out"
[ -s "$work/client2.out" ] && head -5 "$work/client2.out"
check "without asking there is no debugging port" bash -c "! curl -s --max-time 2 http://127.0.0.1:8100/json/list"
check "clearCache=2 clears nothing" test -e "$XDG_DATA_HOME/morvanecrm/keep-me"
check "clearCache=2 stays 2" grep -q '^clearCache=2' "$XDG_DATA_HOME/morvanecrmconfig/config.ini"
check "firewall command did not run again" test "$(wc -l < "$work/firewall-calls")" = 1
# Started again right after a close, while the first is still on its way
# out: it opens its own window (it once waited 20 s for the old one and
# opened nothing).
wmctrl -c "$title"
first_pid=$client_pid
sleep 0.1
"$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 > /dev/null 2>&1 &
client_pid=$!
kill -0 "$first_pid" 2>/dev/null && echo "the first was still running at the new start"
check "the first ends" wait_until 20 bash -c "! kill -0 $first_pid 2>/dev/null"
own_window() { search_windows --onlyvisible --pid "$client_pid" --name "^${title//(/\\(}\$" >/dev/null 2>&1; }
check "a start right after a close shows its own window" wait_until 10 own_window
check "and stays" kill -0 "$client_pid"
wmctrl -c "$title"
check "second run ends" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""

# Twenty starts at the same instant: one instance, one window; the others
# bring it forward and end.
pids=()
for _ in $(seq 20); do
  "$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 > /dev/null 2>&1 &
  pids+=($!)
done
check "twenty simultaneous starts show a window" wait_until 60 window_shown
instances() {
  local alive=0 pid state
  # An ended start stays a zombie until this script waits for it.
  for pid in "${pids[@]}"; do
    state=$(ps -o stat= -p "$pid" 2>/dev/null)
    [ -n "$state" ] && [ "${state#Z}" = "$state" ] && alive=$((alive + 1))
  done
  echo "$alive"
}
one_left() { [ "$(instances)" = 1 ]; }
check "nineteen of them end" wait_until 40 one_left
# The ended starts' windows may still be going while xdotool walks the
# tree (an X error for a window that went): asked again until it settles.
one_main_window() { test "$(search_windows --onlyvisible --name "^${title//(/\\(}\$" | wc -l)" = 1; }
check "there is one window with the main title" wait_until 10 one_main_window
wmctrl -c "$title"
none_left() { [ "$(instances)" = 0 ]; }
check "the one instance ends" wait_until 20 none_left

# A service slow to answer: the loading dialog waits over the maximised
# frame, on top of it, painted and moving, until the page has come.
"$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/port")/late/client/index.html" \
  --channel-service=127.0.0.1:9 > /dev/null 2>&1 &
client_pid=$!
check "a slow start shows its window" wait_until 30 window_shown
wid=$(window_id)
dialog_id() {  # the client's one small window
  local w
  for w in $(client_windows); do
    [ "$w" = "$wid" ] && continue
    xwininfo -id "$w" | awk '/Width/{w=$2} /Height/{h=$2} END{exit !(w > 0 && w < 600 && h < 300)}' && {
      echo "$w"
      return
    }
  done
}
dialog_shown() { test -n "$(dialog_id)"; }
check "the loading dialog is up" wait_until 10 dialog_shown
dialog=$(dialog_id)
check "the frame is maximised under it" wait_until 10 maximized
# Centred on the work area, its top at a third of the free height.
placed() {
  local screen
  screen=$(xdpyinfo | awk '/dimensions:/{split($2,d,"x"); print d[1]" "d[2]}')
  xwininfo -id "$dialog" | awk -v s="$screen" '
    BEGIN { split(s, d, " ") }
    /Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2}
    END { dx = x - int((d[1] - w) / 2); dy = y - int((d[2] - h) / 3); exit !(dx * dx <= 1 && dy * dy <= 1) }'
}
check "the dialog is centred over the maximised frame" placed
# Its black text can only be seen if it is above the white frame.
dialog_seen() {
  local out
  out=$("$shot" "$dialog" "$shots/loading-dialog.png" 000000 2>/dev/null) || return 1
  echo "$out" > "$shots/loading-dialog.txt"
  awk -v c="$(echo "$out" | sed -n 's/.*colour=\([0-9]*\).*/\1/p')" \
      -v n="$(echo "$out" | sed -n 's/.*colours=\([0-9]*\).*/\1/p')" 'BEGIN { exit !(c >= 10 && n >= 4) }'
}
check "the dialog is painted on top of the frame" wait_until 5 dialog_seen
sleep 0.5
"$shot" "$dialog" "$shots/loading-dialog-later.png" > /dev/null 2>&1
check "its bar moves" bash -c "! cmp -s '$shots/loading-dialog.png' '$shots/loading-dialog-later.png'"
dialog_gone() { ! dialog_shown; }
check "the dialog goes once the page has come" wait_until 30 dialog_gone
check "the page is painted in the frame" wait_until 10 painted slow-start-main "$wid" 222233
wmctrl -c "$title"
check "the slow start ends" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""

finish
