#!/usr/bin/env bash
# Scaled screens: Qt's scale factor 1.5 and 2, and an X server whose
# Xft.dpi is 144 or 192, on a 2560x1600 screen of this test's own. In each,
# the page sees the screen's scale, draws stripes one device pixel wide
# (crisp, not enlarged) in the normal window and off screen, and a
# borderless popup named no_100_80_640_480 covers 100,80 640x480 in logical
# pixels, the page's own unit: the same place on the screen at any scale.
# In both modes the page is told where its window is (screenX, screenY).
# Usage: hidpi_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
exec 3> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_until 10 test -s "$work/displayfd"
export DISPLAY=:$(head -1 "$work/displayfd")
openbox > /dev/null 2>&1 &
wm_pid=$!
trap 'cleanup_install kill $wm_pid $xvfb_pid' EXIT
root=$(xwininfo -root | awk '/Window id/{print $4}')

cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#fff;font:20px sans-serif">
<canvas id="c" style="position:absolute;left:100px;top:100px;width:200px;height:100px"></canvas>
<div style="position:absolute;left:100px;top:250px;width:300px;height:40px"
     onclick="window.open('popup.html', 'no_100_80_640_480')">popup</div>
<script>
const canvas = document.getElementById('c'), ratio = window.devicePixelRatio;
canvas.width = Math.round(200 * ratio); canvas.height = Math.round(100 * ratio);
const g = canvas.getContext('2d');
g.fillStyle = '#fff'; g.fillRect(0, 0, canvas.width, canvas.height); g.fillStyle = '#000';
for (let x = 0; x < canvas.width; x += 2) g.fillRect(x, 0, 1, canvas.height);
console.log('ratio[' + ratio + '] screen[' + screen.width + 'x' + screen.height + ']');
// Once the window has its place.
setTimeout(() => console.log('place[' + screenX + ',' + screenY + ']'), 2000);
</script></body></html>
HTML
echo '<!DOCTYPE html><body style="margin:0;background:#10a040"></body>' > "$work/site/popup.html"

log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r'; }
page_says() { log_text 网页日志 | grep -F "$1" > /dev/null; }
scaled() { awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v * s }'; }

# one_start RUN [SWITCHES...]: the page at $scale, and its popup in the
# normal window.
one_start() {
  local run=$1; shift
  rm -f "$work/app/log/网页日志"*
  serve_and_start "$demo" "$@"
  wait_for_main
  check "$run: the page sees the scale and the screen in logical pixels" wait_until 15 page_says \
    "ratio[$scale] screen[$(scaled_down 2560)x$(scaled_down 1600)]"
  eval "$(xdotool getwindowgeometry --shell "$main")"
  local page_x=$X page_y=$Y
  crisp() {
    local out
    out=$("$shot" "$root" "$shots/hidpi-$run.png" 000000 $((page_x + $(scaled 120))) $((page_y + $(scaled 150))) \
      $(scaled 150) 2>/dev/null) || return 1
    awk -v o="$out" 'BEGIN { split(o, f, /[ =]/); exit !(f[8] > 0.9) }'
  }
  check "$run: stripes one device pixel wide" wait_until 10 crisp
  # The page's idea of its window's place, in device pixels, is the frame's
  # or the page area's corner (a title bar apart), never somewhere else.
  told_place() {
    local place
    place=$(log_text 网页日志 | sed -n 's/^place\[\(.*\)\]$/\1/p' | tail -1)
    [ -n "$place" ] || return 1
    echo "$run: the page says its window is at $place (logical), the page area is at $page_x,$page_y"
    awk -v p="$place" -v x="$page_x" -v y="$page_y" -v s="$scale" 'BEGIN { split(p, q, ",");
      dx = q[1] * s - x; dy = q[2] * s - y; exit !(dx >= -8 * s && dx <= 1 && dy >= -40 * s && dy <= 1) }'
  }
  check "$run: the page is told where its window is" wait_until 15 told_place
  if [ "${1:-}" != --off-screen-rendering-enabled ]; then
    popup_id() {
      local w
      for w in $(client_windows); do
        # not the loading dialog, which covers the maximised frame
        [ "$w" != "$main" ] && [ "$(xwininfo -id "$w" | awk '/Width/{print $2}')" -lt 2000 ] && { echo "$w"; return; }
      done
    }
    popup_up() { test -n "$(popup_id)"; }
    # A click can come before the view takes input: clicked again until
    # the popup is up (the same name opens no second one).
    for attempt in 1 2 3 4 5; do
      xdotool windowactivate --sync "$main" > /dev/null 2>&1
      xdotool mousemove --sync $((page_x + $(scaled 150))) $((page_y + $(scaled 270))) click 1
      wait_until 3 popup_up && break
    done
    check "$run: the popup opens" popup_up
    local popup geometry
    popup=$(popup_id)
    geometry=$(xwininfo -id "$popup" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
      /Width/{w=$2} /Height/{h=$2} END{print x","y","w","h}')
    echo "$run: popup at $geometry"
    [ -n "$popup" ] && "$shot" "$popup" "$shots/hidpi-$run-popup.png" > /dev/null
    check "$run: the popup covers 100,80 640x480 logical pixels" \
      test "$geometry" = "$(scaled 100),$(scaled 80),$(scaled 640),$(scaled 480)"
  fi
  stop_client
}
scaled_down() { awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v / s + 0.5 }'; }

for scale in 1.5 2; do
  QT_SCALE_FACTOR=$scale one_start "qt-scale-$scale"
  QT_SCALE_FACTOR=$scale one_start "qt-scale-$scale-offscreen" --off-screen-rendering-enabled
done
for dpi in 144 192; do
  scale=$(awk -v d=$dpi 'BEGIN { print d / 96 }')
  echo "Xft.dpi: $dpi" | xrdb -merge
  one_start "xft-dpi-$dpi"
  one_start "xft-dpi-$dpi-offscreen" --off-screen-rendering-enabled
done
if [ "$failures" != 0 ]; then tail -20 "$work/client.out"; fi
finish
