#!/usr/bin/env bash
# The built client rendering off screen: the page reaches the window through
# the off-screen window's OpenGL drawing, clicks and typed text reach the
# page, an open select list is drawn and takes a click, "show-update-rect"
# outlines what changed, and a new size brings a whole new frame.
# Usage: offscreen_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"
private_install "$exe"

cat > "$work/site/index.html" <<'HTML'
<html><body style="margin:0;background:#f0f0f0;font:20px sans-serif">
<button id="b" style="position:absolute;left:50px;top:50px;width:300px;height:100px;background:#2060c0;color:#fff">press</button>
<input id="t" style="position:absolute;left:50px;top:200px;width:300px;height:40px">
<div id="box" style="position:absolute;left:400px;top:50px;width:200px;height:200px;background:#c01020"></div>
<select id="s" style="position:absolute;left:50px;top:300px;width:300px;height:40px;font-size:24px">
<option style="background:#30a050">one</option><option style="background:#30a050">two</option>
<option style="background:#30a050">three</option></select>
<script>
document.getElementById('s').addEventListener('change', function (e) { console.log('osr-select:' + e.target.value); });
document.getElementById('b').addEventListener('click', function () {
  console.log('osr-click'); document.getElementById('box').style.background = '#10c020';
});
document.getElementById('t').addEventListener('input', function (e) { console.log('osr-text:' + e.target.value); });
document.getElementById('t').addEventListener('keydown', function (e) {
  console.log('osr-key:' + e.key + ':' + e.code + ':' + e.getModifierState('CapsLock') + ':' + e.location + ':' +
              e.shiftKey + e.ctrlKey);
});
</script></body></html>
HTML
"$demo" 0 "$work/site" > "$work/port" 2>/dev/null &
demo_pid=$!
wait_until 5 test -s "$work/port" || { echo "demo server did not start"; exit 1; }
"$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/port")/index.html" --channel-service=127.0.0.1:9 \
  --off-screen-rendering-enabled --show-update-rect --off-screen-frame-rate=60 > "$work/client.out" 2>&1 &
client_pid=$!

wait_for_main
check "the page is drawn in the window" wait_until 20 painted offscreen-page "$main" c01020
page_log="$work/app/log/网页日志$(date +%Y%m%d).txt"
logged() { iconv -f UTF-16LE -t UTF-8 "$page_log" 2>/dev/null | grep "$1" > /dev/null; }
count_of() {  # count_of NAME COLOUR: pixels of COLOUR in a new screenshot
  "$shot" "$main" "$shots/$1.png" "$2" 2>/dev/null | sed -n 's/.*colour=\([0-9]*\).*/\1/p'
}
at_least() { [ "$(count_of "$1" "$2")" -ge "$3" ]; }

eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 200)) $((Y + 100)) click 1
check "a click reaches the page" wait_until 10 logged osr-click
check "and the page's change is drawn" wait_until 10 at_least offscreen-clicked 10c020 30000
check "the last change is outlined in red" wait_until 10 at_least offscreen-clicked ff0000 100

xdotool mousemove --sync $((X + 200)) $((Y + 220)) click 1
sleep 0.5
xdotool type --delay 60 "abc"
check "typed text reaches the page" wait_until 10 logged 'osr-text:abc'
key_downs() { iconv -f UTF-16LE -t UTF-8 "$page_log" 2>/dev/null | grep -c "osr-key:$1"; }
check "one key-down a key, with its code" test "$(key_downs 'a:KeyA:false')" = 1 -a "$(key_downs '[^:]*::')" = 0
xdotool key Caps_Lock
xdotool type --delay 60 "d"
xdotool key Caps_Lock
check "with Caps Lock on the page sees it and the capital" wait_until 10 logged 'osr-key:D:KeyD:true'
xdotool key shift+comma
check "Shift with punctuation types its character" wait_until 10 logged 'osr-key:<:Comma:false:0:truefalse'
xdotool key Shift_R
# (Qt WebEngine reports no key location on Linux, windowed or not.)
check "the right Shift is the right one, and held" wait_until 10 logged 'osr-key:Shift:ShiftRight:false:[0-9]:truefalse'
xdotool key ctrl+a
xdotool type --delay 60 "z"
check "Ctrl+A selects the text, which the next key replaces" wait_until 10 logged 'osr-text:z'

# The select list opens below its box (rows of about 30 pixels from y 340), in
# the options' own colour (each engine highlights the chosen one its own way).
eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/{print "PX=" $4} /Absolute upper-left Y/{print "PY=" $4}')"
xdotool mousemove --sync $((PX + 200)) $((PY + 320)) click 1
check "an open select list is drawn" wait_until 10 at_least offscreen-select 30a050 2000
xdotool mousemove --sync $((PX + 200)) $((PY + 415))
sleep 0.3
xdotool click 1
check "a click on its row chooses it" wait_until 10 logged 'osr-select:three'

# A new size: the whole view is new, so the outline runs round all of it
# (the text field gives up the focus first: its caret would draw new
# outlines of its own).
xdotool mousemove --sync $((X + 700)) $((Y + 500)) click 1
sleep 0.5
wmctrl -i -r "$main" -b remove,maximized_vert,maximized_horz
sleep 0.5
xdotool windowsize "$main" 900 600
whole_outline() {
  local w h
  eval "$(xdotool getwindowgeometry --shell "$main" | sed 's/^/G_/')"
  w=$G_WIDTH h=$G_HEIGHT
  [ "$w" -le 1000 ] && at_least offscreen-resized ff0000 $((2 * (w + h) * 9 / 10))
}
check "after a resize the whole frame is new" wait_until 10 whole_outline
check "and the page is drawn at the new size" painted offscreen-resized "$main" 10c020

# Without the outline a frame redraws only what changed: a box that moved
# on every frame for a second stands where it is and nowhere else.
stop_client
cat > "$work/site/index.html" <<'HTML'
<html><body style="margin:0;background:#f0f0f0">
<div id="box" style="position:absolute;width:200px;height:200px;background:#2060c0"></div>
<script>
let frames = 0;
function step(now) {
  const box = document.getElementById('box');
  box.style.left = Math.round(300 + 200 * Math.sin(now / 200)) + 'px';
  box.style.top = Math.round(300 + 200 * Math.cos(now / 200)) + 'px';
  if (++frames < 60) requestAnimationFrame(step); else console.log('osr-moved');
}
requestAnimationFrame(step);
</script></body></html>
HTML
: > "$page_log"
serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
check "the moving page ran" wait_until 20 logged osr-moved
box_alone() { [ "$(count_of offscreen-moved 2060c0)" = 40000 ]; }
check "the moved box is drawn whole, with no trail" wait_until 10 box_alone
finish
