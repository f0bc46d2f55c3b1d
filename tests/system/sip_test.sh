#!/usr/bin/env bash
# Caller ID from the company's SIP phone system, with real parts in a
# private network namespace: Kamailio (registrar, presence, dialog state),
# baresip as the agent's desk phone and as callers, and the built client
# watching the agent's extension 1001. The server is down when the client
# starts and comes back asking for a password; a wrong one is asked again;
# each call reaches the page once while the desk phone rings on and can
# answer; a cancelled call, two calls at once, capture closed and opened
# again; with a phone box set up too, both bring calls.
# Usage: sip_test.sh VELTROCRM DEMO_SERVER PHONE_SIM WINDOW_SHOT PHONEBOX_SIM
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces --net --dbus kamailio -- "$@"
exe=$1 demo=$2 phone_sim=$3 shot=$4 box_sim=$5
. "$(dirname "$0")/sip/phones.sh"
export LANG=zh_CN.UTF-8
private_install "$exe"
trap 'cleanup_install stop_phones' EXIT
phones_net

# "close" and "reopen" from the mobile simulator close and open landline
# capture, which drives the SIP watch.
calls_page

log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r'; }
program_says() { log_text 软件日志 | grep -F "$1" > /dev/null; }
calls_of() { log_text 网页日志 | grep -cxF "call[$1]"; }
page_got() { [ "$(calls_of "$1")" -ge 1 ]; }
title=登录
sign_in() {  # sign_in USER PASSWORD
  activate "$(client_window "$title")"
  xdotool type --delay 20 "$1"
  xdotool key Tab
  xdotool type --delay 20 "$2"
  xdotool key Return
}

serve_and_start "$demo" --sip-server=10.77.0.1 --sip-extension=1001
wait_for_main
check "with the server down the subscription is tried again later" \
  wait_until 60 program_says "SIP subscription refused: "
check "no phone box is opened, so none fails (none is set up)" not_shown 提示

start_kamailio -A WITH_AUTH
check "the server back, its sign-in is asked" wait_until 90 shown "$title"
check "the sign-in dialog is painted" wait_until 10 drawn sip-sign-in "$(client_window "$title")"
sign_in 1001 wrong
check "a wrong password is refused and logged" wait_until 20 program_says "sign-in refused by site sip:10.77.0.1"
check "and asked again" wait_until 20 shown "$title"
check "the dialog says so" wait_until 10 drawn sip-sign-in-refused "$(client_window "$title")"
sign_in 1001 pw1001
check "signed in, the extension is watched" wait_until 20 program_says "SIP dialogs of extension 1001 watched on 10.77.0.1"
check "no password reached the log" bash -c "! iconv -f UTF-16LE -t UTF-8 '$work/app/log/软件日志$(date +%Y%m%d).txt' | grep -q 'pw1001\|wrong'"

check "the desk phone registers" start_phone desk 1001 10.77.0.2 4402
check "a caller registers" start_phone caller1 13800138000 10.77.0.3 4403
check "another caller registers" start_phone caller2 13900139000 10.77.0.4 4404

phone caller1 dial sip:1001@10.77.0.1
check "the desk phone rings" wait_until 10 phone_event desk CALL_INCOMING
check "the caller's number reaches the page" wait_until 10 page_got 13800138000
check "the desk phone answers" phone desk accept
check "the call is established" wait_until 10 phone_event caller1 CALL_ESTABLISHED
sleep 1
check "the call reached the page once" test "$(calls_of 13800138000)" = 1
phone desk hangup
check "the call ends" wait_until 10 phone_event caller1 CALL_CLOSED

main=$(search_windows --onlyvisible --pid "$client_pid" --name 版本 | head -1)
check "the main window shows the call" wait_until 10 painted sip-calls "$main" c01020

# Cancelled before anyone answers: the page had it once, and that is all.
phone caller2 dial sip:1001@10.77.0.1
check "a second caller rings" wait_until 10 phone_event desk CALL_INCOMING 2
check "the page gets that caller" wait_until 10 page_got 13900139000
phone caller2 hangup
check "the caller gives up" wait_until 10 phone_event desk CALL_CLOSED 2
sleep 1
check "the cancelled call reached the page once" test "$(calls_of 13900139000)" = 1

# Two calls at once: each once.
phone caller1 dial sip:1001@10.77.0.1
phone caller2 dial sip:1001@10.77.0.1
check "both ring" wait_until 10 phone_event desk CALL_INCOMING 4
both_twice() { [ "$(calls_of 13800138000)" = 2 ] && [ "$(calls_of 13900139000)" = 2 ]; }
check "both reach the page" wait_until 10 both_twice
# One after the other: Debian 13's baresip (1.1.0) on the desk once died of
# two calls ended at the same moment.
phone caller1 hangup
check "the first ends" wait_until 10 phone_event desk CALL_CLOSED 3
phone caller2 hangup
check "the second ends" wait_until 10 phone_event desk CALL_CLOSED 4
sleep 1
check "each once" both_twice

# The page closes landline capture: no subscription, no call; opened
# again, the calls come again.
"$phone_sim" close > /dev/null
check "closing capture ends the subscription" wait_until 10 program_says "SIP dialogs of extension 1001 no longer watched"
phone caller1 dial sip:1001@10.77.0.1
check "the desk phone rings all the same" wait_until 10 phone_event desk CALL_INCOMING 5
sleep 2
check "but the page gets no call" test "$(calls_of 13800138000)" = 2
phone caller1 hangup
check "that call ends" wait_until 10 phone_event desk CALL_CLOSED 5
"$phone_sim" reopen > /dev/null
watched_twice() { [ "$(log_text 软件日志 | grep -c 'SIP dialogs of extension 1001 watched')" -ge 2 ]; }
check "opened again, the extension is watched again" wait_until 20 watched_twice
phone caller1 dial sip:1001@10.77.0.1
check "and the next call reaches the page" wait_until 10 bash -c "[ \$(iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | tr -d '\r' | grep -cxF 'call[13800138000]') = 3 ]"
phone caller1 hangup
end_client

# A phone system gone bad: hostile bodies and headers, a flood, 300 calls
# in one NOTIFY. Each gets a log line and no call; the client lives on and
# the good call after them arrives once. The (simulated) phone box is set
# up this time: it opens beside the SIP watch.
python3 "$sip_dir/hostile_pbx.py" 10.77.0.9 "$work/sip/hostile.log" &
VELTROCRM_PHONEBOX=sim "$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/port")/index.html" --channel-service=127.0.0.1:9 \
  --sip-server=10.77.0.9:5060 --sip-extension=1001 > "$work/client.out" 2>&1 &
client_pid=$!
check "the hostile server's NOTIFYs are all sent" wait_until 120 grep -qx done "$work/sip/hostile.log"
check "the good call after them reaches the page" wait_until 10 page_got 18800188000
sleep 1
check "once" test "$(calls_of 18800188000)" = 1
check "the flood's one call reached the page once" test "$(calls_of 18600186000)" = 1
many=$(log_text 网页日志 | grep -cE '^call\[170001[0-9]{5}\]$')
echo "of 300 calls in one NOTIFY, $many reached the page"
check "of 300 calls at once, a ring's worth reaches the page" test "$many" -ge 1 -a "$many" -le 8
check "and the rest are logged" program_says "SIP calls ringing at once past 8, not given to the page: "
check "a call whose NOTIFY has a header of 60,000 bytes is a call" page_got 18700187000
check "no hostile number reached the page" bash -c "! iconv -f UTF-16LE -t UTF-8 '$work/app/log/网页日志$(date +%Y%m%d).txt' | grep -q 'call\[190001\|call\[1111111111\|call\[1380013800a'"
for refusal in "not well-formed" "nested deeper than" "a document type or an entity" "no phone number: not taken" \
  "a body of another type"; do
  check "logged: $refusal" program_says "$refusal"
done
check "this server asks no password, and none is asked" not_shown "$title"
check "the server's end of the subscription is logged" \
  wait_until 10 program_says "SIP subscription ended by the server; subscribing again in 1 s"
check "and it is renewed" wait_until 20 grep -qx "the good call again: 200 OK" "$work/sip/hostile.log"
sleep 1
check "the call it names again is no new call" test "$(calls_of 18800188000)" = 1
check "the client is alive" kill -0 "$client_pid"
box_open() { "$box_sim" status 2>/dev/null | grep "open=1" > /dev/null; }
check "the phone box set up opens beside the SIP watch" wait_until 10 box_open
check "its ring reaches the page too" bash -c "'$box_sim' ring 0571-8888-0000 > /dev/null"
check "with its number" wait_until 10 page_got 057188880000
grep -v "^flood" "$work/sip/hostile.log"
end_client
check "at its end the client unsubscribes" grep -qx unsubscribed "$work/sip/hostile.log"

# The session ends while the SIP sign-in is asked: the client ends at once.
"$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/port")/index.html" --channel-service=127.0.0.1:9 \
  --sip-server=10.77.0.1 --sip-extension=1001 > "$work/client.out" 2>&1 &
client_pid=$!
check "a new session asks the sign-in again" wait_until 60 shown "$title"
ended_at=$(date +%s)
end_client
check "with the dialog up, SIGTERM ends the client within 10 s" test $(($(date +%s) - ended_at)) -le 10
finish
