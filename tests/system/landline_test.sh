#!/usr/bin/env bash
# The landline road in the built client with the simulated phone box: the
# page opens capture, a ring reaches phoneCall, an unplug is logged and the
# box is reopened once plugged again, a close stops delivery, and a failed
# open tells the user in two boxes. The page writes each call to its
# console, which the client keeps in the page log.
# Usage: landline_test.sh VELTROCRM DEMO_SERVER PHONEBOX_SIM PHONE_SIM WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 box_sim=$3 phone_sim=$4 shot=$5
. "$(dirname "$0")/lib.sh"

private_install "$exe"
export VELTROCRM_PHONEBOX=sim
# The calls themselves drive the page: "close" as a landline call closes
# capture, "reopen" as a mobile call opens it again.
calls_page

serve_and_start "$demo"

log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r'; }
page_says() { log_text 网页日志 | grep -F "$1" > /dev/null; }
program_says() { log_text 软件日志 | grep -xF "$1" > /dev/null; }
status_has() { "$box_sim" status 2>/dev/null | grep "$1" > /dev/null; }

check "the page opens the simulated box" wait_until 30 status_has "open=1"
check "ring reaches the page" bash -c "'$box_sim' ring 0138-0013-8000 >/dev/null"
check "the page gets the normalised number" wait_until 10 page_says "call[13800138000]"

check "unplug" bash -c "'$box_sim' unplug >/dev/null"
check "the unplug is logged" wait_until 10 program_says "plug out"
sleep 2.5
check "no reopen while unplugged" status_has "open=0"
check "plug" "$box_sim" plug
check "the rescan reopens the box and ends" wait_until 10 program_says "quit scan thread"
check "the box is open again" status_has "open=1"
check "ring after the replug" bash -c "'$box_sim' ring '+86 139 0013 9000' >/dev/null"
check "the page gets it" wait_until 10 page_says "call[13900139000]"

"$box_sim" device-error > /dev/null
check "a device error is logged" wait_until 10 program_says "device error"

"$box_sim" ring close > /dev/null
check "the page closes capture" wait_until 10 status_has "open=0"
check "a ring after the close is not delivered" bash -c "! '$box_sim' ring 13700137000 >/dev/null 2>&1"
sleep 1
check "nothing reached the page" bash -c "! iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | grep -qF 'call[13700137000]'"

main=$(search_windows --onlyvisible --pid "$client_pid" --name 版本 | head -1)
check "the main window shows the calls" wait_until 10 painted landline-calls "$main" c01020

# The page's renderer dies (out of memory, a crash, killed): the page
# comes back on its own, and a call that came while it was down reaches it
# once. It once stayed dead and every later call was lost.
renderers() {  # the engine's helpers whose parent is a helper of the client
  local zygote
  for zygote in $(pgrep -P "$client_pid" -f QtWebEngineProcess); do pgrep -P "$zygote"; done
}
calls_of() { log_text 网页日志 | grep -cxF "call[$1]"; }
kill -9 $(renderers) 2>/dev/null
check "the renderer's end is logged" wait_until 10 bash -c "iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -q 'page renderer ended'"
killed_at=$(date +%s%N)
"$phone_sim" 15000150000 > /dev/null
back() { [ "$(calls_of 15000150000)" -ge 1 ]; }
check "the call sent while the page was down reaches the page when it is back" wait_until 15 back
back_ms=$((($(date +%s%N) - killed_at) / 1000000))
echo "the page was back with the call after $back_ms ms"
check "the page is back within 3 s" test "$back_ms" -le 3000
"$phone_sim" 15100151000 > /dev/null
check "a later call arrives too" wait_until 10 bash -c "[ \$(iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | tr -d '\r' | grep -cxF 'call[15100151000]') = 1 ]"
check "the held call arrived exactly once" test "$(calls_of 15000150000)" = 1

# 150 calls a few ms apart through a reload the page asks for, and through
# F5: each reaches the page exactly once. Those that came between the
# reload and the new page's script were lost.
burst_through() {  # burst_through PREFIX RELOAD-COMMAND...
  local prefix=$1 i
  shift
  for i in $(seq 100 249); do
    "$phone_sim" "$prefix$i" > /dev/null
    [ "$i" = 140 ] && "$@"
    sleep 0.002
  done
}
all_once() {  # all_once PREFIX: the 150 calls in the page log, each once
  log_text 网页日志 | grep -xE "call\[$1[0-9]{3}\]" | sort | uniq -c |
    awk '$1 == 1 { once++ } END { print NR " numbers, " once " once"; exit !(NR == 150 && once == 150) }'
}
loads() { log_text 网页日志 | grep -cxF 'page loaded'; }
loads_before=$(loads)
burst_through 1560000 "$phone_sim" reload
check "every call through a reload the page asked for arrives once" wait_until 15 all_once 1560000
check "the page did reload" test "$(loads)" = $((loads_before + 1))
# The key goes to the page, as the user's would: a click in it first.
xdotool windowactivate --sync "$main" mousemove --window "$main" 300 300 click 1 > /dev/null 2>&1
burst_through 1570000 xdotool key F5
check "every call through F5 arrives once" wait_until 15 all_once 1570000
check "F5 did reload" test "$(loads)" = $((loads_before + 2))
# Ctrl+R is the page's own key, not a reload.
xdotool key ctrl+r
check "Ctrl+R reaches the page" wait_until 10 page_says "page got ctrl+r"
check "and reloads nothing" test "$(loads)" = $((loads_before + 2))
check "the held calls are logged" bash -c "iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -q 'held calls delivered'"
check "without their numbers" bash -c "! iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -qE '15[67]0000'"
# The page opened the box again as it loaded: closed for what follows.
"$box_sim" ring close > /dev/null
check "the page closes capture again" wait_until 10 status_has "open=0"

# A box whose library fails as a whole: "DLL出错", then the failure text.
"$box_sim" fail-open -198 > /dev/null
"$phone_sim" reopen > /dev/null
box_id() { client_window 提示; }
box_up() { test -n "$(box_id)"; }
box_painted() { drawn "$1" "$(box_id)"; }
dismiss() {
  activate "$(box_id)"
  xdotool key Return
  wait_until 5 test -z "$(box_id)"
}
check "the first box opens" wait_until 15 box_up
check "the first box is painted" wait_until 10 box_painted landline-dll-box
dismiss
check "the second box follows" wait_until 10 box_up
check "the second box is painted" wait_until 10 box_painted landline-open-failed-box
dismiss
sleep 1
check "no third box" test -z "$(box_id)"
check "the box stays closed" status_has "open=0"

# Closing the window ends the client, rescans and all, within seconds.
"$box_sim" fail-open off > /dev/null
"$phone_sim" reopen > /dev/null
wait_until 10 status_has "open=1"
"$box_sim" unplug > /dev/null
wait_until 10 program_says "plug out"
activate "$main"
# Through the server, never to the window: keys sent to a window that
# closes half-way stay down and close the next test's windows.
xdotool key alt+F4
gone() { ! kill -0 "$client_pid" 2>/dev/null; }
check "the client ends with a rescan running" wait_until 15 gone
wait "$client_pid"
check "and exits cleanly" test $? = 0
check "the control socket is gone with it" test ! -e "$XDG_RUNTIME_DIR/veltrocrm-phonebox.sock"
client_pid=""

# As installed, nothing asked for the simulated box: the client looks for a
# real modem, finds none on this machine, and says so the specified way.
unset VELTROCRM_PHONEBOX
kill "$demo_pid" 2>/dev/null
serve_and_start "$demo"
check "without a modem the open failure is shown" wait_until 30 box_up
check "its box is painted" wait_until 10 box_painted landline-no-modem-box
check "the simulated box was not used" test ! -e "$XDG_RUNTIME_DIR/veltrocrm-phonebox.sock"
dismiss
if [ "$failures" != 0 ]; then
  tail -20 "$work/client.out"
  log_text 软件日志
fi
finish
