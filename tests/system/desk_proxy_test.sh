#!/usr/bin/env bash
# A company desk's proxy: Squid wanting a password, named in GNOME's own
# settings (dconf) rather than in the environment, by hand and by an
# automatic configuration script. The service's names resolve only on
# Squid's side, in a network namespace with nothing but loopback, so the
# page and the channel list arrive through the proxy or not at all. A
# script that loops, throws or answers garbage gets a line in the program
# log and the failure page, never a crash or a hang.
# Usage: desk_proxy_test.sh VELTROCRM DEMO_SERVER CHANNEL_SERVER WINDOW_SHOT
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces --net --dbus squid -- "$@"
exe=$1 demo=$2 channels=$3 shot=$4
export LANG=zh_CN.UTF-8
ip link set lo up
private_install "$exe"
trap 'cleanup_install' EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY auto_proxy

echo '[]' > "$work/channels.json"
"$channels" "$work/channels.json" 0 > "$work/channel-port" 2>/dev/null &
"$demo" 0 "$work/site" > "$work/port" 2>/dev/null &
wait_until 5 test -s "$work/channel-port" && wait_until 5 test -s "$work/port" || { echo "servers did not start"; exit 1; }
port=$(cat "$work/port")
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>desk</title></head>
<body style="margin:0;background:#fff;color:#c01020;font:bold 60px sans-serif"><p>through the company proxy</p></body></html>
HTML

# Squid, as a company runs it: Basic sign-in against a password file.
squid_port=$(free_port)
echo "127.0.0.1 crm.test channels.test" > "$work/squid-hosts"
echo "alice:$(openssl passwd -apr1 s3cret)" > "$work/squid-passwd"
chmod 644 "$work/squid-passwd"
start_squid "http_port 127.0.0.1:$squid_port" \
  "auth_param basic program /usr/lib/squid/basic_ncsa_auth $work/squid-passwd" \
  "auth_param basic realm Corp Proxy HQ" "acl signed_in proxy_auth REQUIRED" "http_access allow signed_in" \
  "http_access deny all"
check "Squid is up" wait_until 30 squid_up || { cat "$work/squid.out" "$work/squid-cache.log"; finish; exit; }

# GNOME's settings as dconf keeps them, in this test's own home.
gnome_settings() {  # gnome_settings KEYFILE_TEXT
  mkdir -p "$work/dconf-keys" "$XDG_CONFIG_HOME/dconf"
  printf '%s\n' "$1" > "$work/dconf-keys/proxy"
  dconf compile "$XDG_CONFIG_HOME/dconf/user" "$work/dconf-keys"
}
export XDG_CURRENT_DESKTOP=GNOME
start() {
  start_installed --start-url="http://crm.test:$port/index.html" \
    --channel-service="channels.test:$(cat "$work/channel-port")"
}
title=代理服务器登录
sign_in() {  # sign_in [remember]: by the keyboard alone, as on GNOME's own theme
  activate "$(client_window "$title")"
  xdotool type --delay 20 alice
  xdotool key Tab
  xdotool type --delay 20 s3cret
  [ -n "${1:-}" ] && xdotool key Tab space
  xdotool key Return
}
through_squid() { grep -q "GET $1[^ ]* alice " "$work/squid-access.log"; }

gnome_settings "[system/proxy]
mode='manual'
ignore-hosts=['localhost', '127.0.0.0/8']
[system/proxy/http]
host='127.0.0.1'
port=$squid_port
[system/proxy/https]
host='127.0.0.1'
port=$squid_port"
start
check "GNOME's manual proxy: the rule is logged with its source" \
  wait_until 20 program_logged "proxy: http=127.0.0.1:$squid_port;https=127.0.0.1:$squid_port except .*(from GNOME settings)"
check "Squid's sign-in is asked" wait_until 30 shown "$title"
check "the sign-in dialog is painted" wait_until 10 drawn desk-proxy-sign-in "$(client_window "$title")"
sign_in remember
check "Tab and Space tick 记住密码, Return signs in" wait_until 20 program_logged "kept for this session only: no keyring"
wait_for_main
check "the page comes through Squid" wait_until 30 painted desk-proxy-manual "$main" c01020
check "Squid saw the page signed in" wait_until 10 through_squid "http://crm.test:$port/index.html"
check "and the channel list" wait_until 30 through_squid "http://channels.test:[0-9]*/home/index/getAllChannelByAppId"
stop_installed
check "the support bundle names the proxy and its source" bash -c "cd '$work' &&
  '$work/app/veltrocrm' --support-bundle='$work/bundle.tar.gz' > /dev/null 2>&1 && tar xzf bundle.tar.gz &&
  grep -rq 'proxy: http=127.0.0.1:$squid_port;https=127.0.0.1:$squid_port except .*(from GNOME settings)' --include=settings.txt ."

# KDE's settings: the proxy named in kioslaverc, the dialog on KDE's theme.
printf '[Proxy Settings]\nProxyType=1\nhttpProxy=http://127.0.0.1 %s\nhttpsProxy=http://127.0.0.1 %s\n' \
  "$squid_port" "$squid_port" > "$XDG_CONFIG_HOME/kioslaverc"
rm -f "$work/app/log/软件日志$(date +%Y%m%d).txt"
: > "$work/squid-access.log"
XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 start
check "KDE's proxy: the rule is logged with its source" \
  wait_until 20 program_logged "proxy: http=127.0.0.1:$squid_port;https=127.0.0.1:$squid_port (from KDE settings)"
check "Squid's sign-in is asked on KDE" wait_until 30 shown "$title"
sign_in remember
check "on KDE's theme too, Tab and Space tick 记住密码, Return signs in" \
  wait_until 20 program_logged "kept for this session only: no keyring"
wait_for_main
check "the page comes through Squid by KDE's settings" wait_until 30 painted desk-proxy-kde "$main" c01020
check "Squid saw it" wait_until 10 through_squid "http://crm.test:$port/index.html"
stop_installed
rm "$XDG_CONFIG_HOME/kioslaverc"

# GNOME's automatic configuration: a script served on loopback (which the
# script's own address bypasses by the ignore list above).
cat > "$work/site/proxy.pac" <<PAC
function FindProxyForURL(url, host) {
  if (isPlainHostName(host) || host == "127.0.0.1") return "DIRECT";
  if (dnsDomainIs(host, ".test")) return "PROXY 127.0.0.1:$squid_port";
  return "DIRECT";
}
PAC
gnome_settings "[system/proxy]
mode='auto'
autoconfig-url='http://127.0.0.1:$port/proxy.pac'"
: > "$work/squid-access.log"
start
check "GNOME's automatic proxy: the script is logged" \
  wait_until 20 program_logged "proxy: automatic configuration script http://127.0.0.1:$port/proxy.pac (from GNOME settings)"
check "Squid's sign-in is asked again" wait_until 30 shown "$title"
sign_in
wait_for_main
check "the page comes through Squid by the script" wait_until 30 painted desk-proxy-script "$main" c01020
check "Squid saw the page" wait_until 10 through_squid "http://crm.test:$port/index.html"
check "and the channel list, by the same script" \
  wait_until 30 through_squid "http://channels.test:[0-9]*/home/index/getAllChannelByAppId"
check "the client still runs" kill -0 "$client_pid"
stop_installed

# Hostile scripts: each is logged, and the page goes direct, where nothing
# answers: the failure page, never a crash or a page loading for ever.
hostile() {  # hostile NAME LOG_TEXT [SCRIPT]: without SCRIPT, none is served
  rm -f "$work/site/proxy.pac"
  [ $# -gt 2 ] && printf '%s\n' "$3" > "$work/site/proxy.pac"
  start
  check "a script that $1 is logged" wait_until 30 program_logged "$2"
  wait_for_main
  check "and the failure page is shown after a script that $1" wait_until 30 painted "desk-proxy-$1" "$main" 000000
  check "and the client answers" kill -0 "$client_pid"
  stop_installed
}
hostile loops "proxy script .* ran longer than" 'function FindProxyForURL(u, h) { for (;;) {} }'
hostile throws "proxy script .* failed: Error: corp" 'function FindProxyForURL(u, h) { throw new Error("corp"); }'
hostile answers-garbage "proxy script .* answered nothing usable" 'function FindProxyForURL(u, h) { return "PROXY a b c; ;;"; }'
hostile is-missing "proxy script .* the server answered 404"

# A proxy that takes the connection and closes it, or answers nonsense.
python3 - "$work/bad-proxy-port" <<'PY' &
import socket, sys, threading
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(16)
open(sys.argv[1], "w").write(str(server.getsockname()[1]))
def answer(connection, count):
    connection.recv(4096)
    if count % 2:
        connection.sendall(b"\x00\xffnot http at all\r\n\r\n" * 64)
    connection.close()
count = 0
while True:
    connection, _ = server.accept()
    count += 1
    threading.Thread(target=answer, args=(connection, count), daemon=True).start()
PY
wait_until 5 test -s "$work/bad-proxy-port" || echo "the bad proxy did not start"
gnome_settings "[system/proxy]
mode='manual'
[system/proxy/http]
host='127.0.0.1'
port=$(cat "$work/bad-proxy-port")"
start
wait_for_main
check "a proxy that closes or answers nonsense gets the failure page" wait_until 30 painted desk-proxy-nonsense "$main" 000000
check "and the client runs on" kill -0 "$client_pid"
stop_installed
check "no password in any log" bash -c "! grep -rq s3cret '$work/app/log'"
finish
