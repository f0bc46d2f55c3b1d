#!/usr/bin/env bash
# A page notification on a real notification daemon: dunst, started on
# purpose in a D-Bus session of this test's own, with its stock settings.
# The notification carries the page's title and body and the program's
# icon, the daemon draws it, and a click on it brings the (minimised) main
# window back to the front.
# Usage: notifications_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
if [ -z "${VELTRO_OWN_BUS:-}" ]; then VELTRO_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"; fi
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#fff;font:bold 40px sans-serif">notifications<script>
Notification.requestPermission().then((p) => {
  console.log('permission ' + p);
  if (p === 'granted') new Notification('来电 Incoming', { body: '13800138000 张三' });
});
</script></body></html>
HTML

dunst > "$work/dunst.out" 2>&1 &
dunst_pid=$!
trap 'cleanup_install kill $dunst_pid $monitor_pid' EXIT
daemon_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
    org.freedesktop.Notifications.GetServerInformation 2>/dev/null | grep -q dunst
}
check "dunst answers on the test's own bus" wait_until 10 daemon_up
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
  > "$work/notify.txt" 2>&1 &
monitor_pid=$!

serve_and_start "$demo"
wait_for_main
sent() { grep -q 'string "来电 Incoming"' "$work/notify.txt"; }
check "the client asks the daemon" wait_until 20 sent
check "with the body" grep -q 'string "13800138000 张三"' "$work/notify.txt"
icon=$(sed -n 's/^ *string "\(.*veltrocrm-notification.png\)"$/\1/p' "$work/notify.txt" | head -1)
check "with the program's icon as a file the daemon can read" test -s "$icon"
check "and a default action for the click" grep -q 'string "default"' "$work/notify.txt"

bubble_id() { search_windows --all --onlyvisible --class Dunst | head -1; }
bubble_up() { test -n "$(bubble_id)"; }
check "the daemon shows it" wait_until 10 bubble_up
bubble=$(bubble_id)
# The icon's blue, and text: what a person sees of it.
bubble_painted() {
  local out
  out=$("$shot" "$bubble" "$shots/notification.png" 1f69d0 2>/dev/null) || return 1
  awk -v o="$out" 'BEGIN { split(o, f, /[ =]/); exit !(f[4] >= 200 && f[6] >= 8) }'
}
check "the notification shows the icon and text" wait_until 10 bubble_painted

xdotool windowminimize --sync "$main" 2>/dev/null
minimised() { xprop -id "$main" WM_STATE 2>/dev/null | grep Iconic > /dev/null; }
check "the main window is minimised" wait_until 5 minimised
# dunst's stock settings: the middle button runs the notification's action.
eval "$(xdotool getwindowgeometry --shell "$bubble")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 2
in_front() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ] && ! minimised; }
check "a click on it brings the main window to the front" wait_until 10 in_front
check "and the notification is gone" wait_until 5 bash -c "! search_windows --onlyvisible --class Dunst >/dev/null 2>&1"
if [ "$failures" != 0 ]; then
  cat "$work/notify.txt" "$work/dunst.out"
  tail -20 "$work/client.out"
fi
finish
