#!/usr/bin/env bash
# The client with Orca itself: what Orca would say, read from the speech
# output of its debug log (speech-dispatcher may have no voice here), in a
# D-Bus session of its own with the desktop's settings in memory. A call is
# spoken with its number wherever the focus is, in the normal window and
# off screen; the client's boxes and the proxy's sign-in are read with
# their Chinese texts, a refused password included.
# Usage: screen_reader_test.sh VELTROCRM DEMO_SERVER PHONE_SIM
set -uo pipefail
if [ "${VELTRO_ORCA_SESSION:-}" != 1 ]; then
  VELTRO_ORCA_SESSION=1 GSETTINGS_BACKEND=memory exec dbus-run-session -- bash "$0" "$@"
fi
exe=$1 demo=$2 phone_sim=$3
. "$(dirname "$0")/lib.sh"
command -v orca > /dev/null || { echo "orca is not installed: skipped"; exit 77; }
export LANG=zh_CN.UTF-8
private_install "$exe"
trap 'cleanup_install' EXIT
cp -r "$(dirname "$0")/../../resources/demo/client/." "$work/site/"
screen_reader_on
orca_log=$work/orca.log
# Its debug file written to a terminal is written line by line: through a
# pseudo-terminal of script's, which keeps it.
script -qfec 'orca --replace --debug-file=/dev/tty' "$orca_log" > /dev/null 2>&1 < /dev/null &
said() { grep -a "SPEECH OUTPUT: '" "$orca_log" 2>/dev/null | grep -F -- "$1" > /dev/null; }
times_said() { grep -a "SPEECH OUTPUT: '" "$orca_log" 2>/dev/null | grep -cF -- "$1"; }
check "Orca is up and speaks" wait_until 60 grep -qa "SPEECH OUTPUT: '" "$orca_log"
# The companion app's port is open: the page has switched capture on.
capture_on() { ss -Huln 'sport = :53526' | grep . > /dev/null; }

call_checks() {  # call_checks MODE NUMBER
  check "$1: Orca hears of the window" wait_until 30 said "$main_title"
  check "$1: the page switches capture on" wait_until 30 capture_on
  "$phone_sim" "$2" > /dev/null
  check "$1: a call is spoken with its number" wait_until 15 said "来电 $2"
  sleep 1
  check "$1: once" test "$(times_said "来电 $2")" = 1
}
serve_and_start "$demo"
wait_for_main
call_checks window 13800138000
activate "$main"
xdotool key ctrl+shift+Delete
check "the cache box is read with its question" wait_until 15 said '确定删除缓存吗？' ||
  { echo "Orca said last:"; grep -a "SPEECH OUTPUT: '" "$orca_log" | tail -8; }
check "once" test "$(times_said '确定删除缓存吗？')" = 1
xdotool key Escape
stop_client
serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
call_checks off-screen 13900139000
stop_client

# The proxy's sign-in: its heading, and after a wrong password why it
# asks again.
check "the proxy and the client start" start_behind_auth_proxy 9876
check "sign-in: the dialog is shown" wait_until 30 shown 代理服务器登录
check "sign-in: its heading is read" wait_until 15 said "代理服务器 127.0.0.1 要求输入用户名和密码。"
activate "$(client_window 代理服务器登录)"
xdotool type --delay 30 alice
xdotool key Tab
# Typed once the reader has said where the focus is, as a listener would.
check "sign-in: the password field is announced" wait_until 15 said '密码：'
xdotool type --delay 30 1111
xdotool key Return
# Orca holds each key while it handles it: Return can come late.
check "sign-in: a refused password is said" wait_until 60 said '用户名或密码不正确，请重新输入。'
check "sign-in: no character of the password is echoed" test "$(times_said "SPEECH OUTPUT: '1 '")" = 0
stop_installed
finish
