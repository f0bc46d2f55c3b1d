#!/usr/bin/env bash
# The window side of page features in the built client under a window
# manager: a borderless popup moved by its draggable region (and not by a
# no-drag part of it), and an incoming call that flags a minimised window.
# Usage: page_features_test.sh VELTROCRM DEMO_SERVER PHONE_SIM WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 phone_sim=$3 shot=$4
. "$(dirname "$0")/lib.sh"

private_install "$exe"
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#fff;color:#c01020;font:bold 40px sans-serif">
<div style="height:200px" onclick="window.open('popup.html', 'no_100_80_480_320')">open popup</div>
<script>function phoneCall(n) { document.body.append(' call ' + n); } kestrin.openIncomingNotify();</script>
</body></html>
HTML
cat > "$work/site/popup.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#fff;font:bold 30px sans-serif">
<div style="-webkit-app-region:drag;height:120px;background:#10a040;color:#fff">drag me
  <span style="-webkit-app-region:no-drag;position:absolute;left:250px;top:10px;width:150px;height:100px;background:#36c">no</span></div>
</body></html>
HTML

serve_and_start "$demo"
wait_for_main
xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool mousemove --window "$main" 200 100 click 1
popup_id() {
  local w
  for w in $(client_windows); do
    [ "$w" != "$main" ] && [ "$(xwininfo -id "$w" | awk '/Width/{print $2}')" = 480 ] && { echo "$w"; return; }
  done
}
popup_up() { test -n "$(popup_id)"; }
check "the borderless popup opens" wait_until 15 popup_up
popup=$(popup_id)
position() { xwininfo -id "$popup" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x","y}'; }
painted() {
  local out
  out=$("$shot" "$popup" "$shots/drag-popup.png" 10a040 2>/dev/null) || return 1
  awk -v o="$out" 'BEGIN { split(o, f, /[ =]/); exit !(f[2] < 0.2 && f[4] >= 300) }'
}
check "the popup shows its page" wait_until 10 painted
# drag X Y: press at X,Y of the popup, move by 150,100 in steps, release.
drag() {
  eval "$(xdotool getwindowgeometry --shell "$popup")"
  xdotool mousemove $((X + $1)) $((Y + $2)) mousedown 1
  for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $((X + $1 + 15 * step)) $((Y + $2 + 10 * step)); sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.5
}
before=$(position)
drag 100 60
after=$(position)
moved() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, p, ","); split(b, q, ",");
  dx = q[1] - p[1]; dy = q[2] - p[2]; exit !(dx > 100 && dx < 200 && dy > 50 && dy < 150) }'; }
check "dragging the region moves the window ($before to $after)" moved "$before" "$after"
before=$after
drag 320 60
check "a no-drag part inside it does not move it ($before to $(position))" test "$(position)" = "$before"

# A call while the main window is minimised asks for attention.
xdotool windowminimize --sync "$main" 2>/dev/null || xdotool windowminimize "$main"
sleep 0.5
urgent() { xprop -id "$main" _NET_WM_STATE WM_HINTS | grep -iE 'DEMANDS_ATTENTION|urgen' > /dev/null; }
check "the minimised window is not flagged before" bash -c "! xprop -id $main _NET_WM_STATE WM_HINTS | grep -qiE 'DEMANDS_ATTENTION|urgen'"
"$phone_sim" 13800138000 > /dev/null
check "a call flags the minimised main window" wait_until 10 urgent
finish
