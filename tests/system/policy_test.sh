#!/usr/bin/env bash
# The administrator's policy file in a private /etc: each setting takes
# effect over the user's switches (start page, channel service, phone box,
# off-screen drawing, proxy, a locked debugging port), the program log
# says where each came from; a file others may write is ignored.
# Usage: policy_test.sh VELTROCRM DEMO_SERVER CHANNEL_SERVER WINDOW_SHOT
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces -- "$@"
exe=$1 demo=$2 channels=$3 shot=$4
private_install "$exe"
trap 'cleanup_install' EXIT
private_etc_and_run
echo '[]' > "$work/channels.json"
"$channels" "$work/channels.json" 0 > "$work/channel-port" 2>/dev/null &
"$demo" 0 "$work/site" > "$work/port" 2>/dev/null &
demo_pid=$!
wait_until 5 test -s "$work/channel-port" && wait_until 5 test -s "$work/port" || { echo "servers did not start"; exit 1; }
site=http://127.0.0.1:$(cat "$work/port")
page() {  # page FILE COLOUR
  printf '<!DOCTYPE html><body style="margin:0;background:#fff"><div id="box" style="width:600px;height:400px;
background:#%s"></div><p style="font:bold 40px sans-serif;color:#%s">%s</p><script>setInterval(function () { var b = document.getElementById("box");
b.style.width = b.style.width == "600px" ? "590px" : "600px"; }, 300);</script></body>' "$2" "$2" "$1" > "$work/site/$1"
}
page policy.html c01020
page user.html 2060c0
mkdir -p /etc/veltrocrm
chmod 755 /etc/veltrocrm
# Written as administrators write: names and values in any case, a key
# that does not exist, a line that is no setting, another section.
cat > /etc/veltrocrm/policy.ini <<INI
[policy]
StartUrl=$site/policy.html
channelservice=127.0.0.1:$(cat "$work/channel-port")
PhoneBox=sim
OffScreen=yes
ProxyServer=Direct
RemoteDebugging=Off
Colour=blue
no equals sign here
[Other]
StartUrl=http://elsewhere.example/
INI
chmod 644 /etc/veltrocrm/policy.ini
program_log="$work/app/log/软件日志$(date +%Y%m%d).txt"
logged() { iconv -f UTF-16LE -t UTF-8 "$program_log" 2>/dev/null | grep -F "$1" > /dev/null; }
count_of() {  # count_of NAME COLOUR: pixels of COLOUR in a new screenshot
  "$shot" "$main" "$shots/$1.png" "$2" 2>/dev/null | sed -n 's/.*colour=\([0-9]*\).*/\1/p'
}
at_least() { [ "$(count_of "$1" "$2")" -ge "$3" ]; }
listening() { ss -ltnH "sport = :$1" | grep . > /dev/null; }
start() {
  # The user asks for another page, a debugging port two ways, a proxy
  # that does not exist and a channel service nobody answers at.
  QTWEBENGINE_REMOTE_DEBUGGING=9334 QTWEBENGINE_CHROMIUM_FLAGS='-remote-debugging-port=9335 --force-dark-mode' \
    "$work/app/veltrocrm" --start-url="$site/user.html" --remote-debugging-port=9333 \
    --proxy-server=127.0.0.1:9 --channel-service=127.0.0.1:9 --show-update-rect > "$work/client.out" 2>&1 &
  client_pid=$!
}

start
wait_for_main
check "the policy's start page is shown, through no proxy" wait_until 30 painted policy-page "$main" c01020
check "drawn off screen, as the policy says (changes outlined)" wait_until 10 at_least policy-offscreen ff0000 100
from="(from policy /etc/veltrocrm/policy.ini)"
check "the log says the start page came from the policy" logged "setting start-url: $site/policy.html $from"
check "the channel service too" logged "setting channel-service: 127.0.0.1:$(cat "$work/channel-port") $from"
check "the phone box too" logged "setting phone box: sim $from"
check "the proxy too" logged "setting proxy: direct $from"
check "the debugging port is locked" logged "setting remote debugging: off, locked $from"
check "no debugging port listens, by switch, environment or engine flag" bash -c "! ss -ltnH | grep -qE ':933[345] '"
check "the engine flag is logged as dropped" \
  logged "engine switch remote-debugging-port of QTWEBENGINE_CHROMIUM_FLAGS dropped: a policy is in force"
check "a key that does not exist is logged by its line" logged "policy /etc/veltrocrm/policy.ini, line 8: no setting is called Colour"
check "so is a line that is no setting" logged "line 9: not a setting"
check "and another section" logged "line 10: a section other than [Policy]"
check "a value in other words is taken as meant" logged "line 5: OffScreen=yes taken as 1"
check "the channel list was asked at the policy's service" bash -c "! iconv -f UTF-16LE -t UTF-8 '$program_log' | grep -q 'error code:7'"
stop_client() { kill "$client_pid"; wait "$client_pid"; }
stop_client

# Others may write the file: it is not trusted, and its locks fail closed:
# the built-in start page, no debugging port, whatever the user asks.
chmod 666 /etc/veltrocrm/policy.ini
start
wait_for_main
check "a file others may write is not trusted, and logged" wait_until 20 logged \
  "policy /etc/veltrocrm/policy.ini ignored: others than root may write it; the start page, proxy and debugging port stay locked as built"
check "the user's start page is not shown" logged "/client (from policy /etc/veltrocrm/policy.ini (locked: not trusted))"
check "the debugging port stays shut" logged "setting remote debugging: off, locked"
check "nothing listens on it" bash -c "! ss -ltnH | grep -qE ':933[345] '"
stop_client

# Without a policy file the user's switches stand.
rm /etc/veltrocrm/policy.ini
start
wait_for_main
check "without a policy the user's start page is shown" wait_until 30 painted user-page "$main" 2060c0
check "the user's debugging port is open" wait_until 20 listening 9333
check "the log says so" logged "setting start-url: $site/user.html (from command line)"
stop_client
finish
