#!/usr/bin/env bash
# The UI thread keeps working while outside programs take their time: the
# dual-view switch (xrandr) and a link for the desktop's handler
# (xdg-open), each a stand-in that answers after 4 s. The page's calls
# return at once, a phone call that comes meanwhile reaches the page at
# once, and the stall watchdog finds no stall. Both once held the UI
# thread for seconds. Then an exit while the call port's conflict is shown.
# Usage: responsive_test.sh VELTROCRM DEMO_SERVER PHONE_SIM
set -uo pipefail
exe=$1 demo=$2 phone_sim=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
mkdir -p "$work/bin"
for program in xrandr xdg-open; do
  printf '#!/bin/sh\necho "${0##*/} $*" >> %s/started\nsleep 4\n' "$work" > "$work/bin/$program"
  chmod +x "$work/bin/$program"
done
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#fff;color:#c01020;font:bold 40px sans-serif">slow programs
<script>
function phoneCall(n) { console.log('call[' + n + '] ' + Date.now()); }
kestrin.openIncomingNotify();
setTimeout(function () {
  console.log('slow start ' + Date.now());
  console.log('dualview ' + app.setExtendDualview());
  console.log('link ' + app.rootDefaultBrowser('https://a.example/'));
  console.log('slow end ' + Date.now());
}, 1000);
</script></body></html>
HTML
# No Chromium-family browser on the path: the link goes to xdg-open.
PATH=$work/bin:/usr/bin:/bin serve_and_start "$demo"
wait_for_main
log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//'; }
stamp_of() { log_text 网页日志 | sed -n "s/^$1 \([0-9]*\)$/\1/p" | head -1; }
ended() { test -n "$(stamp_of 'slow end')"; }

check "the page's slow calls return" wait_until 20 ended
check "they answered as started" bash -c "[ \"\$(iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | tr -d '\r' | grep -c -e '^dualview true$' -e '^link true$')\" = 2 ]"
took=$(($(stamp_of 'slow end') - $(stamp_of 'slow start')))
echo "the two calls took $took ms"
check "without waiting for the programs" test "$took" -lt 500
check "both programs were started" wait_until 5 bash -c "grep -q '^xrandr --query' '$work/started' && grep -q '^xdg-open https://a.example/' '$work/started'"
sent_at=$(date +%s%3N)
"$phone_sim" 13800138000 > /dev/null
arrived() { test -n "$(stamp_of 'call\[13800138000\]')"; }
check "a call while they run reaches the page" wait_until 5 arrived
delay=$(($(stamp_of 'call\[13800138000\]') - sent_at))
echo "the call took $delay ms"
check "at once" test "$delay" -lt 500
check "while the stand-ins were still running" bash -c "pgrep -f '$work/bin/xdg-open' >/dev/null"

wmctrl -c "$main_title"
check "the client ends" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""
log_text 软件日志 | grep '^UI thread' || true
check "the watchdog saw no stall" bash -c "! iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -q -e 'UI thread stalled' -e 'UI thread not answering'"
check "and said how long the longest pause was" bash -c "iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -q '^UI thread: longest pause [0-9]* ms'"

# Another program holds the call port at the start, and the user closes the
# window at once: the exit does not wait on the conflict's message box (the
# box's thread and the exit once waited on each other).
"$phone_sim" --hold > "$work/hold.out" 2>&1 &
holder=$!
wait_until 5 grep -q holding "$work/hold.out"
PATH=$work/bin:/usr/bin:/bin serve_and_start "$demo"
box_up() { test -n "$(client_window 提示)"; }
check "the conflict is shown" wait_until 30 box_up
closed_at=$(date +%s%3N)
kill -TERM "$client_pid"
check "the client ends with the box up" wait_until 10 bash -c "! kill -0 $client_pid 2>/dev/null"
ended_ms=$(($(date +%s%3N) - closed_at))
echo "ended $ended_ms ms after the signal"
check "within 2 s" test "$ended_ms" -le 2000
client_pid=""
kill "$holder"
finish
