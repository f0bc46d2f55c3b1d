#!/usr/bin/env bash
# The client under a screen reader, through AT-SPI as Orca reads it: with
# the accessibility bus on (as Orca turns it on), the demo page's headings,
# buttons and field by role and name, in the normal window (under the
# window the user sees) and off screen, and in a popup; a button focused
# by its accessible action and Enter do what a click does; a call is
# announced. With the keyboard
# alone: Tab reaches the page's controls and comes round again, the page's
# boxes open with the focus on their button or field, are named by their
# titles, answer Enter and Escape and give the focus back; the failure
# page's button is reached with Tab.
# Usage: accessibility_test.sh VELTROCRM DEMO_SERVER PHONE_SIM WINDOW_SHOT
set -uo pipefail
if [ "${VELTRO_A11Y_SESSION:-}" != 1 ]; then
  # The accessibility bus keeps "a screen reader is on" in the desktop's
  # settings: here in memory, gone with the session.
  VELTRO_A11Y_SESSION=1 GSETTINGS_BACKEND=memory exec dbus-run-session -- bash "$0" "$@"
fi
exe=$1 demo=$2 phone_sim=$3 shot=$4
. "$(dirname "$0")/lib.sh"
probe=$(dirname "$0")/atspi_probe.py
export LANG=zh_CN.UTF-8
private_install "$exe"
trap 'cleanup_install' EXIT
cp -r "$(dirname "$0")/../../resources/demo/client/." "$work/site/"
screen_reader_on
tree() { /usr/bin/python3 "$probe" tree "$client_pid" > "$work/tree" 2>"$work/tree.err"; }
has() { tree && grep -qP "$1" "$work/tree"; }
# A push button is "push button" to AT-SPI 2.46 (Debian 12), "button" to
# later ones.
button='(push )?button'
focused() { tree && grep -qP "\t$1\t$2\t[^\t]*\bfocused\b" "$work/tree"; }  # focused ROLE NAME
page_checks() {  # page_checks MODE
  check "$1: the page's buttons reach the screen reader" wait_until 30 has "\t$button\t开启固话捕捉\t"
  buttons=$(grep -cP "\t$button\t" "$work/tree")
  check "$1: all 18 of them ($buttons buttons seen)" test "$buttons" -ge 18
  check "$1: its headings" grep -qP '\theading\t来电捕捉\t' "$work/tree"
  check "$1: its field" grep -qP '\t(entry|text)\t' "$work/tree"
  # The page hangs under the window the user sees.
  check "$1: under the visible main window" awk -F'\t' -v t="$main_title" '
    $1 == 1 { under = ($3 == t) } $3 == "开启固话捕捉" && under { found = 1 } END { exit !found }' "$work/tree"
}

serve_and_start "$demo"
wait_for_main
page_checks window
# The engine gives the page's objects one action, SetFocus; a screen
# reader's user then acts with the keyboard.
check "a button takes the focus by its accessible action" /usr/bin/python3 "$probe" focus "$client_pid" 普通弹窗
check "and has it" wait_until 10 focused "$button" 普通弹窗
activate "$main"
xdotool key Return
check "Enter on it opens the popup, whose page reaches the screen reader" wait_until 20 has '\tdocument web\t演示弹窗\t'
check "under the popup's own window" awk -F'\t' -v t="$main_title" '
  $1 == 1 { top = $3 } $3 == "演示弹窗" && $2 == "document web" && top != "" && top != t { found = 1 }
  END { exit !found }' "$work/tree"
check "the popup's button takes the focus by its action" /usr/bin/python3 "$probe" focus "$client_pid" 关闭
xdotool key Return
check "Enter on it closes the popup" wait_until 10 bash -c "! /usr/bin/python3 '$probe' tree $client_pid | grep -qP '\tdocument web\t演示弹窗\t'"

# A call, heard wherever the focus is: the client announces it (Qt 6.8 on);
# the page's live region reaches AT-SPI only as the engine forwards it.
/usr/bin/python3 "$probe" listen 40 > "$work/events" 2>&1 &
listener=$!
wait_until 10 grep -qx listening "$work/events"
"$phone_sim" 13800138000 > /dev/null
check "the call reaches the page's list" wait_until 15 has '13800138000'
if /usr/bin/python3 -c 'import sys; from gi.repository import GLib' 2>/dev/null &&
   dpkg --compare-versions "$(dpkg-query -W -f '${Version}' libqt6gui6 2>/dev/null)" ge 6.8; then
  check "the call is announced to the screen reader" \
    wait_until 10 grep -qP '^object:announcement\t.*来电 13800138000' "$work/events"
else
  echo "not checked: Qt $(dpkg-query -W -f '${Version}' libqt6gui6 2>/dev/null) has no announcements"
fi
kill "$listener" 2>/dev/null
stop_client

serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
page_checks off-screen
stop_client

# The keyboard alone, on a page with the boxes a page can open.
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html lang="zh"><head><meta charset="utf-8"><title>键盘</title></head>
<body style="font:20px sans-serif"><h1>键盘操作</h1>
<button onclick="alert('已保存')">提示框</button>
<button onclick="document.getElementById('answer').textContent = '回答：' + prompt('请输入号码', '')">输入框</button>
<button onclick="document.getElementById('answer').textContent = confirm('确定删除吗？') ? '已确认' : '已取消'">确认框</button>
<p id="answer" aria-live="polite">尚无回答</p></body></html>
HTML
tab_to() { xdotool key Tab; wait_until 2 focused "$@"; }
back_to() { xdotool key shift+Tab; wait_until 2 focused "$@"; }
key() { xdotool key "$@"; }
box_checks() {  # box_checks TITLE-PREFIX NAME: the box is there, named and painted
  check "$2 is named by its title" wait_until 10 has "\t(alert|dialog)\t$1"
  check "$2 is painted" wait_until 10 drawn "a11y-$2" "$(box "$1")"
}
box() {  # box TITLE-PREFIX: the client's first visible window titled so
  local w
  for w in $(client_windows); do
    case "$(xdotool getwindowname "$w" 2>/dev/null)" in "$1"*) echo "$w"; return ;; esac
  done
}
box_gone() { test -z "$(box "$1")"; }
keyboard_checks() {  # keyboard_checks MODE
  activate "$main"
  check "$1: Tab reaches the first button" wait_until 20 tab_to "$button" 提示框
  key Return
  box_checks 提示 "$1-alert"
  check "$1: the alert's button has the focus" focused "$button" 确定
  check "$1: the alert says the page's text" grep -qP '\tlabel\t已保存\t' "$work/tree"
  key Escape
  check "$1: Escape closes it" wait_until 10 box_gone 提示
  check "$1: the focus is back on the page's button" wait_until 10 focused "$button" 提示框
  key Tab Return
  box_checks Javascript "$1-prompt"
  check "$1: the prompt's field has the focus" focused '(entry|text)' '[^\t]*'
  check "$1: the field is named by the page's question" grep -qP '\t(entry|text)\t请输入号码' "$work/tree"
  key 4 2 Return
  check "$1: Enter gives the page the answer" wait_until 10 has '回答：42'
  key Tab Return
  box_checks 提示 "$1-confirm"
  check "$1: the confirm box has OK and Cancel" \
    bash -c "grep -qP '\t$button\t确定\t' '$work/tree' && grep -qP '\t$button\t取消\t' '$work/tree'"
  key Escape
  check "$1: Escape cancels it" wait_until 10 has '已取消'
  # Past the last control and round again: nothing keeps the focus.
  check "$1: Tab comes round to the first button" wait_until 30 tab_to "$button" 提示框
  key Tab
  check "$1: Tab goes on" wait_until 10 focused "$button" 输入框
  key shift+Tab
  check "$1: Shift+Tab goes back" wait_until 10 focused "$button" 提示框
  check "$1: Shift+Tab comes round to the last button" wait_until 30 back_to "$button" 确认框
  # Another program takes the focus and gives it back, as Alt+Tab does:
  # the keys go on in the page, with no click first.
  xmessage -title veltro-other 'another program' &
  local other_pid=$! other
  other_up() { other=$(search_windows --onlyvisible --name '^veltro-other$' | head -1); [ -n "$other" ]; }
  check "$1: another program's window opens" wait_until 10 other_up
  activate "$other"
  activate "$main"
  key shift+Tab
  check "$1: back from another program, Shift+Tab goes on in the page" wait_until 10 focused "$button" 输入框
  kill "$other_pid"
}
serve_and_start "$demo"
wait_for_main
keyboard_checks window
stop_client

serve_and_start "$demo" --off-screen-rendering-enabled
wait_for_main
keyboard_checks off-screen
stop_client

# The failure page: its button is reached with Tab.
"$work/app/veltrocrm" --start-url=http://127.0.0.1:9/ --channel-service=127.0.0.1:9 > "$work/client.out" 2>&1 &
client_pid=$!
wait_for_main
check "failure page: its button reaches the screen reader" wait_until 60 has "\t$button\t刷新重试\t"
activate "$main"
check "failure page: Tab reaches it" wait_until 20 tab_to "$button" 刷新重试
stop_client
# The proxy's sign-in dialog: the screen reader hears the user name typed,
# and of the password field only what it is.
check "the proxy and the client start" start_behind_auth_proxy 9876
check "sign-in: the proxy's dialog is shown" wait_until 30 shown 代理服务器登录
check "sign-in: its password field is one to the screen reader" wait_until 10 has '\tpassword text\t密码'
/usr/bin/python3 "$probe" listen 30 > "$work/sign-in-events" 2>&1 &
listener=$!
wait_until 10 grep -qx listening "$work/sign-in-events"
activate "$(client_window 代理服务器登录)"
xdotool type --delay 30 alice
xdotool key Tab
xdotool type --delay 30 9876
check "sign-in: the user name typed is heard" \
  wait_until 10 grep -qP '^object:text-changed:insert\t[^\t]*\t[^\t]*\te$' "$work/sign-in-events"
check "sign-in: the password field is reached" \
  wait_until 10 grep -qP '^object:state-changed:focused\tpassword text\t' "$work/sign-in-events"
xdotool key Return
check "sign-in: the proxy is signed in to" wait_until 20 grep -q '^ok ' "$work/proxy.log"
check "sign-in: no character of the password is heard" \
  bash -c "! grep -P '^object:text-changed.*\t[^\t]*[6-9][^\t]*$' '$work/sign-in-events'"
kill "$listener" 2>/dev/null
stop_installed
finish
