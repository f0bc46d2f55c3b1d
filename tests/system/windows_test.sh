#!/usr/bin/env bash
# Every kind of window the client opens, as a user sees it under X with a
# window manager: screenshots must show the page (not black), titles must
# leave the main title to the main window, owned windows must stay above
# their owner. Usage: windows_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"
main_title='VeltroCRM客户管理系统 (版本2.6.1)'
product='VeltroCRM客户管理系统'

private_install "$exe"
# The find dialog speaks the system language: English here.
export LC_ALL=C.UTF-8

# The main page: one tall band per kind of window, red text on white.
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>main</title>
<style>body{margin:0;background:#fff;color:#c01020;font:bold 40px sans-serif}
.band{display:block;height:100px;width:900px;color:#c01020}</style></head><body>
<div class="band" onclick="window.open('popup.html', 'no_100_80_640_480')">borderless popup</div>
<div class="band" onclick="window.open('popup.html')">plain popup</div>
<div class="band" onclick="window.open('popup.html', 'win_200_150_700_500')">framed named popup</div>
<a class="band" href="popup.html" target="_blank">blank link</a>
<a class="band" href="popup.html">ctrl-click link</a>
<div class="band" onclick="alert('<h1>heading</h1><img src=broken>')">alert</div>
<div class="band" onclick="prompt('<h1>name</h1>', 'x')">prompt</div>
</body></html>
HTML
# Every other window shows green text on white.
cat > "$work/site/popup.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>popup</title></head>
<body style="margin:0;background:#fff;color:#10a040;font:bold 72px sans-serif">POPUP PAGE<br>GREEN TEXT</body></html>
HTML

"$demo" 0 "$work/site" > "$work/port" 2>/dev/null &
demo_pid=$!
wait_until 5 test -s "$work/port" || { echo "demo server did not start"; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/index.html"

"$work/app/veltrocrm" --start-url="$url" --channel-service=127.0.0.1:9 > "$work/client.out" 2>&1 &
client_pid=$!

exact() { printf '^%s$' "$(printf '%s' "$1" | sed 's/[][()\.^$*+?{}|]/\\&/g')"; }
main_id() { search_windows --onlyvisible --name "$(exact "$main_title")" | head -1; }
main_shown() { test -n "$(main_id)"; }
check "main window is shown" wait_until 30 main_shown
main=$(main_id)
windows() { search_windows --onlyvisible --pid "$client_pid" | sort; }
# Window ids in the order the window manager stacks them, bottom first.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' | while read -r h; do printf '%d\n' "$h"; done; }
above() {  # above UPPER LOWER
  local order
  order=$(stacking)
  [ "$(echo "$order" | grep -n "^$1\$" | cut -d: -f1)" -gt "$(echo "$order" | grep -n "^$2\$" | cut -d: -f1)" ]
}
transient_for() {
  local owner
  owner=$(xprop -id "$1" WM_TRANSIENT_FOR | awk '/window id/{print $NF}')
  [ -n "$owner" ] && printf '%d' "$owner"
}
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x","y","w","h}'; }
only_one_main_title() { test "$(search_windows --name "$(exact "$main_title")" | wc -l)" = 1; }

check "main window shows its page" wait_until 20 painted main "$main" c01020
eval "$(xdotool getwindowgeometry --shell "$main")"
page_x=$X page_y=$Y
click_band() {  # click_band INDEX [MODIFIER] [BUTTON]
  xdotool mousemove --sync $((page_x + 300)) $((page_y + 50 + 100 * $1))
  if [ -n "${2:-}" ]; then xdotool keydown "$2" click "${3:-1}" keyup "$2"; else xdotool click "${3:-1}"; fi
}
# The new frame in $win; a new-tab window's loading dialog comes and goes
# beside it.
opened() {
  local w
  for w in $(windows); do
    echo "$before" | grep -qx "$w" && continue
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$product" ] && { win=$w; return 0; }
  done
  return 1
}
closed() { ! windows | grep -x "$1" > /dev/null; }
titled_up() { search_windows --onlyvisible --name "^$1" | grep . > /dev/null; }
menu_up() {  # a drop-down menu of the client is open
  local w
  for w in $(client_windows); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_MENU' && return 0
  done
  return 1
}

# open_and_check NAME ACTION... : runs ACTION, then checks the one new window.
# Sets $win, and $kind (popup|tab|tools) decides the expectations.
open_window() {
  local name=$1; shift
  before=$(windows)
  "$@"
  win=""
  if ! wait_until 20 opened; then check "$name opens" false; return 1; fi
  check "$name shows its page, not a black window" wait_until 20 painted "$name" "$win" "$colour"
  check "$name is titled with the product name only" test "$(xdotool getwindowname "$win")" = "$product"
  check "$name leaves the main title to the main window" only_one_main_title
}
close_window() {
  wmctrl -i -c "$1"
  check "$2 closes" wait_until 20 closed "$1"
}
owned_and_above() {  # owned_and_above NAME WINDOW OWNER
  check "$1 is owned by its window" test "$(transient_for "$2")" = "$3"
  xdotool windowactivate --sync "$3" >/dev/null 2>&1
  sleep 0.5
  check "$1 stays above its owner when the owner is activated" above "$2" "$3"
}

colour=10a040
for run in 1 2 3; do
  open_window "borderless-popup-$run" click_band 0 || continue
  check "borderless popup $run is 640x480 at 100,80 without a frame" test "$(geometry "$win")" = "100,80,640,480"
  owned_and_above "borderless popup $run" "$win" "$main"
  close_window "$win" "borderless popup $run"
done

open_window plain-popup click_band 1 && {
  owned_and_above "plain popup" "$win" "$main"
  close_window "$win" "plain popup"
}
open_window framed-named-popup click_band 2 && {
  check "framed named popup is 700x500" test "$(geometry "$win" | cut -d, -f3-)" = "700,500"
  owned_and_above "framed named popup" "$win" "$main"
  close_window "$win" "framed named popup"
}
open_window blank-link click_band 3 && {
  check "_blank link window has no controls (a popup)" test "$(geometry "$win" | cut -d, -f3-)" != "$(geometry "$main" | cut -d, -f3-)"
  owned_and_above "_blank link window" "$win" "$main"
  close_window "$win" "_blank link window"
}

open_window ctrl-click click_band 4 ctrl && {
  tab=$win
  check "ctrl-click window has no owner" test -z "$(transient_for "$tab")"
  # Its menu: File > Find... and Help > About ..., both owned by it.
  xdotool windowactivate --sync "$tab" >/dev/null 2>&1
  colour=efefef
  open_window_titled() {  # open_window_titled NAME TITLE MENU-KEY ITEM-KEY
    local name=$1 title=$2 attempt opened=no
    # The item's key can come before the menu is up and be lost: a menu
    # that did not open its window is closed and asked again.
    for attempt in 1 2 3; do
      xdotool windowactivate --sync "$tab" >/dev/null 2>&1
      xdotool key "$3"
      wait_until 5 menu_up && xdotool key "$4"
      wait_until 5 titled_up "$title" && { opened=yes; break; }
      xdotool key Escape Escape
    done
    if [ "$opened" != yes ]; then check "$name opens" false; return 1; fi
    win=$(search_windows --onlyvisible --name "^$title" | head -1)
    check "$name is painted" wait_until 10 painted "$name" "$win" "$colour"
    owned_and_above "$name" "$win" "$tab"
  }
  open_window_titled find-dialog Find alt+f f && close_window "$win" "find dialog"
  open_window_titled about-dialog About alt+h a && {
    xdotool windowactivate --sync "$win" >/dev/null 2>&1
    xdotool key Return
    check "about dialog closes" wait_until 10 closed "$win"
  }
  colour=10a040
  close_window "$tab" "ctrl-click window"
}

open_window middle-click click_band 3 "" 2 && {
  check "a middle click on a _blank link opens a new tab: no owner" test -z "$(transient_for "$win")"
  close_window "$win" "middle-click window"
}

# Script dialogs: owned by the main window, the page's text shown as text
# (a rendered heading and image would make the box much taller).
# dialog_check NAME TITLE-PREFIX BAND
dialog_check() {
  click_band "$3"
  if ! wait_until 10 titled_up "$2"; then check "$1 opens" false; return; fi
  win=$(search_windows --onlyvisible --name "^$2" | head -1)
  check "$1 is painted" wait_until 10 painted "$1" "$win" efefef
  check "$1 shows the markup as one line of text" test "$(geometry "$win" | cut -d, -f4)" -lt 160
  owned_and_above "$1" "$win" "$main"
  xdotool windowactivate --sync "$win" >/dev/null 2>&1
  xdotool key Escape
  check "$1 closes" wait_until 10 closed "$win"
}
dialog_check alert-box 提示 5
dialog_check prompt-dialog Javascript提示 6

xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool mousemove --sync $((page_x + 300)) $((page_y + 900)) click 1
colour=1a73e8
open_window developer-tools xdotool key ctrl+shift+F12 && {
  check "developer tools are bigger than a button" awk -v g="$(geometry "$win")" 'BEGIN { split(g, a, ","); exit !(a[3] >= 400 && a[4] >= 300) }'
  owned_and_above "developer tools" "$win" "$main"
  close_window "$win" "developer tools"
}

wmctrl -i -c "$main"
check "closing the main window ends the process" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""
finish
