#!/usr/bin/env bash
# Two monitors side by side, 1280x800 each, on an X server of this test's
# own: Xorg with its dummy driver and two of its virtual outputs (Xvfb shows
# Qt one monitor only). The main window maximises on the primary monitor,
# the page is told the truth about the monitors, a popup opened from a
# window on the second monitor opens there (its geometry counted from that
# monitor's corner), and full screen covers one monitor.
# Usage: two_monitors_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
cat > "$work/xorg.conf" <<'EOF2'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2560 1024
  EndSubSection
EndSection
EOF2
exec 3> "$work/displayfd"
Xorg -displayfd 3 -config "$work/xorg.conf" -noreset -nolisten tcp -logfile "$work/xorg.log" > /dev/null 2>&1 &
xorg_pid=$!
exec 3>&-
trap 'cleanup_install kill $wm_pid $xorg_pid' EXIT
wm_pid=""
check "Xorg with the dummy driver starts" wait_until 20 test -s "$work/displayfd"
export DISPLAY=:$(head -1 "$work/displayfd")
xrandr --output DUMMY0 --mode 1280x800 --primary
xrandr --addmode DUMMY1 1280x800
xrandr --output DUMMY1 --mode 1280x800 --right-of DUMMY0
check "the server shows two monitors" bash -c "xrandr --listmonitors | grep -q '^Monitors: 2'"
openbox > /dev/null 2>&1 &
wm_pid=$!

cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head><body style="margin:0;background:#fff">
<div style="position:absolute;left:100px;top:100px;width:300px;height:60px;background:#36c"
     onclick="window.open('second.html', 'yes_1400_100_800_600')"></div>
<script>
console.log('count[' + app.getScreenCount() + '] multi[' + app.isMultiScreen() + '] vice[' + app.getViceScreenRegion() + ']');
</script></body></html>
HTML
cat > "$work/site/second.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head><body style="margin:0;background:#10a040">
<div style="position:absolute;left:50px;top:50px;width:300px;height:60px;background:#fff"
     onclick="window.open('third.html', 'no_100_80_640_480')"></div>
<script>setTimeout(() => console.log('second-place[' + screenX + ',' + screenY + ']'), 1500);</script></body></html>
HTML
echo '<!DOCTYPE html><body style="margin:0;background:#c01020"></body>' > "$work/site/third.html"

log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r'; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
  /Width/{w=$2} /Height/{h=$2} END{print x","y","w","h}'; }
window_of_width() {  # the client's visible window WIDTH pixels wide
  local w
  for w in $(client_windows); do
    [ "$(geometry "$w" | cut -d, -f3)" = "$1" ] && { echo "$w"; return; }
  done
}
painted() {  # painted NAME WINDOW COLOUR
  local out
  out=$("$shot" "$2" "$shots/two-monitors-$1.png" "$3" 2>/dev/null) || return 1
  awk -v o="$out" 'BEGIN { split(o, f, /[ =]/); exit !(f[2] < 0.2 && f[4] >= 1000) }'
}
# open_by_click NAME X Y WIDTH: clicks at X,Y until a window WIDTH wide is up.
open_by_click() {
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool mousemove --sync "$2" "$3" click 1
    wait_until 3 test -n "$(window_of_width "$4")" && break
  done
  check "$1 opens" test -n "$(window_of_width "$4")"
}

serve_and_start "$demo"
wait_for_main
eval "$(xdotool getwindowgeometry --shell "$main")"
echo "main window at $(geometry "$main")"
check "the main window is maximised on the primary monitor" \
  bash -c "[ '$X' -ge 0 ] && [ \$(($X + $WIDTH)) -le 1280 ] && [ '$WIDTH' -ge 1200 ]"
check "the page is told of two monitors and where the second is" \
  wait_until 10 bash -c "iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | grep -qF 'count[2] multi[true] vice[1280,0,1280,800]'"
check "the main window shows its page" wait_until 10 painted main "$main" 3366cc

xdotool windowactivate --sync "$main" > /dev/null 2>&1
open_by_click "a framed popup placed on the second monitor" $((X + 200)) $((Y + 130)) 800
second=$(window_of_width 800)
echo "second window at $(geometry "$second")"
check "it is on the second monitor" test "$(geometry "$second" | cut -d, -f1)" -ge 1280
check "it shows its page" wait_until 10 painted second "$second" 10a040
eval "$(xdotool getwindowgeometry --shell "$second")"
open_by_click "a borderless popup from it" $((X + 200)) $((Y + 80)) 640
third=$(window_of_width 640)
echo "third window at $(geometry "$third")"
check "it opens at 100,80 of the second monitor" test "$(geometry "$third")" = "1380,80,640,480"
check "it shows its page" wait_until 10 painted third "$third" c01020

full() { [ "$(geometry "$main")" = "0,0,1280,800" ]; }
check "full screen covers the primary monitor only" key_then "$main" F11 full
echo "full screen at $(geometry "$main")"
on_first() { [ "$(geometry "$main" | cut -d, -f1)" -lt 1280 ] && [ "$(geometry "$main" | cut -d, -f3)" -ge 1200 ]; }
back_on_first() { on_first && ! full; }
check "F11 again: maximised on the primary monitor as before" key_then "$main" F11 back_on_first

# The user puts the main window on the second monitor: full screen covers
# that one, and back it is maximised there again. The popups, which stay
# above the window that opened them even in full screen, are closed first.
wmctrl -i -c "$third"
wmctrl -i -c "$second"
popups_gone() { [ -z "$(window_of_width 800)$(window_of_width 640)" ]; }
check "the popups close" wait_until 10 popups_gone
wmctrl -i -r "$main" -b remove,maximized_vert,maximized_horz
xdotool windowmove "$main" 1400 100
wmctrl -i -r "$main" -b add,maximized_vert,maximized_horz
on_second() { [ "$(geometry "$main" | cut -d, -f1)" -ge 1280 ] && [ "$(geometry "$main" | cut -d, -f3)" -ge 1200 ]; }
check "the main window is maximised on the second monitor" wait_until 10 on_second
full_second() { [ "$(geometry "$main")" = "1280,0,1280,800" ]; }
check "F11 there covers the second monitor" key_then "$main" F11 full_second
echo "full screen at $(geometry "$main")"
check "and shows the page" wait_until 10 painted full-second "$main" 3366cc
back_on_second() { on_second && ! full_second; }
check "F11 again: maximised on the second monitor still" key_then "$main" F11 back_on_second
echo "back at $(geometry "$main")"

# Off screen, a popup on the second monitor is told where it is, as in the
# normal window (the hidden view's own place once leaked to the page).
told_second() {  # told_second: the popup's page puts itself on the second monitor, near 1400,100
  local place
  place=$(log_text 网页日志 | sed -n 's/^second-place\[\(.*\)\]$/\1/p' | tail -1)
  [ -n "$place" ] || return 1
  echo "the popup's page says it is at $place"
  awk -v p="$place" 'BEGIN { split(p, q, ","); exit !(q[1] >= 1395 && q[1] <= 1405 && q[2] >= 95 && q[2] <= 130) }'
}
check "the popup on the second monitor is told its place" wait_until 10 told_second
stop_client
rm -f "$work/app/log/网页日志"*
serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool windowactivate --sync "$main" > /dev/null 2>&1
open_by_click "off screen, the popup on the second monitor" $((X + 200)) $((Y + 130)) 800
check "off screen, the popup on the second monitor is told its place" wait_until 10 told_second
if [ "$failures" != 0 ]; then tail -20 "$work/client.out"; fi
finish
