#!/usr/bin/env bash
# Who may have an installer started: a frame of another origin beside the
# service tries every way it has (a popup whose name report it breaks, a
# form and a link into a new tab, a redirect to the service's installer, a
# window it opens with a click, 200 popups, an external link), and never
# gets a file started or a window without a click. The service's own ways
# are upgrades: a hidden frame of its own, a blob: it built, a popup of its
# own (which closes the whole client for the installer); a file the user
# saves meanwhile is never started in its place; at most 32 windows open.
# Usage: upgrade_routes_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

# A Chinese desktop, where every window of the client speaks Chinese.
export LANG=zh_CN.UTF-8
private_install "$exe"
site=$work/site other=$work/other
mkdir -p "$site" "$other" "$work/bin"
for name in setup.deb frame-setup.deb popup-setup.deb; do head -c 300000 /dev/urandom > "$site/$name"; done
printf '#!/bin/sh\necho report\n' > "$site/report.sh"
"$demo" 0 "$other" > "$work/other-port" 2>/dev/null &
other_pid=$!
wait_until 5 test -s "$work/other-port" || { echo "second server did not start"; exit 1; }
other_url=http://127.0.0.1:$(cat "$work/other-port")
# The desktop's handler: records what it is asked to open, answers with the
# code in $work/exit.
cat > "$work/bin/xdg-open" <<SH
#!/bin/sh
echo "\$1" >> "$work/launched"
exit \$(cat "$work/exit")
SH
chmod +x "$work/bin/xdg-open"
echo 1 > "$work/exit"

band_style='<style>body{margin:0;background:#fff;font:bold 40px sans-serif}
a,div,iframe{display:block;height:80px;width:900px;color:#c01020;border:0;margin:0}</style>'
cat > "$site/index.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>routes</title>$band_style</head><body>
<iframe src="$other_url/auto.html"></iframe>
<iframe src="$other_url/redirect.html"></iframe>
<iframe src="$other_url/open.html"></iframe>
<a href="/slow/report.sh" download>report</a>
<a href="/slow/setup.deb" download>installer</a>
<div onclick="var f = document.createElement('iframe'); f.style.display = 'none';
  f.src = '/slow/frame-setup.deb'; document.body.appendChild(f);">hidden frame</div>
<div onclick="var a = document.createElement('a');
  a.href = window.URL.createObjectURL(new Blob(['#!/bin/sh\n'], {type: 'application/octet-stream'}));
  a.download = 'blob-setup.deb'; a.click();">blob</div>
<div onclick="window.flood = []; for (var i = 0; i < 200; ++i) window.flood.push(window.open('about:blank', 'w' + i));">flood</div>
<div onclick="window.flood.forEach(function (w) { if (w) w.close(); });">close flood</div>
<div onclick="window.open('/popup.html', 'upgrade')">popup</div>
<a href="spotify:track:2">spotify</a>
<iframe src="$other_url/redirect?to=$(printf %s "http://127.0.0.1:SERVICE_PORT/slow/setup.deb" | sed 's/:/%3A/g; s|/|%2F|g')"></iframe>
</body></html>
HTML
cat > "$site/popup.html" <<'HTML'
<!DOCTYPE html><body style="margin:0;background:#fff"><script>location = '/slow/popup-setup.deb';
setTimeout(function () { window.close(); }, 300);</script></body>
HTML
service() { echo "http://127.0.0.1:$(cat "$work/port")"; }
frame_page() {  # frame_page FILE BODY
  printf '<!DOCTYPE html><html><head><meta charset="utf-8">%s</head><body>%s</body></html>' "$band_style" "$2" > "$1"
}

# The service's page itself points a frame at another origin, which
# redirects it to the installer: the service's port is known only now.
rm -f "$work/port"
"$demo" 0 "$site" > "$work/port" 2>/dev/null &
demo_pid=$!
wait_until 5 test -s "$work/port"
sed -i "s/SERVICE_PORT/$(cat "$work/port")/" "$site/index.html"
PATH=$work/bin:$PATH "$work/app/veltrocrm" --start-url="$(service)/index.html" --channel-service=127.0.0.1:9 \
  > "$work/client.out" 2>&1 &
client_pid=$!
installer="$(service)/setup.deb"
# Without a click, the other origin tries every way at once.
frame_page "$other/auto.html" "<script>
window.URL = function () { throw new Error('no report'); };
window.open('$installer');
var f = document.createElement('form'); f.target = '_blank'; f.action = '$installer'; f.method = 'get';
document.body.appendChild(f); f.submit();
window.addEventListener('click', function (e) { e.stopPropagation(); }, true);
var a = document.createElement('a'); a.target = '_blank'; a.href = '$installer'; document.body.appendChild(a); a.click();
for (var i = 0; i < 200; ++i) window.open('$(service)/index.html', 'x' + i);
var s = document.createElement('iframe'); s.src = 'spotify:track:1'; document.body.appendChild(s);
console.log('hostile frame done');
</script>"
frame_page "$other/redirect.html" "<div onclick=\"location = '$other_url/redirect?to=' + encodeURIComponent('$installer')\">redirect</div>"
frame_page "$other/open.html" "<div onclick=\"window.open('$(service)/slow/setup.deb')\">open</div>"
wait_for_main
page_log="$work/app/log/网页日志$(date +%Y%m%d).txt"
program_log="$work/app/log/软件日志$(date +%Y%m%d).txt"
logged() { iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | grep "$2" > /dev/null; }
band() {  # band N: a click on the page's band N
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  xdotool mousemove --window "$main" 200 $((40 + 80 * $1)) click 1
}
windows() { client_windows | wc -l; }
at_most_two_windows() { [ "$(windows)" -le 2 ]; }
downloads=$HOME/Documents/Downloads

user_decides "the service's own frame that another origin redirects to the installer"
check "the other origin's frame ran its tries" wait_until 20 logged "$page_log" 'hostile frame done'
check "its windows without a click are refused and logged" wait_until 10 logged "$program_log" 'new window refused: asked without a click'
check "its external link is refused and logged" wait_until 10 logged "$program_log" 'external link refused'
one_window() { test "$(windows)" = 1; }
check "the page finishes loading, and no window opened for the frame" wait_until 30 one_window
check "nothing was started" test ! -e "$work/launched"
check "nothing was saved as an upgrade" test -z "$(ls -A "$downloads" 2>/dev/null)"

# A redirect of the other origin to the service's installer, and a window
# the other origin opens with a click on the installer: files the user
# decides about, never upgrades.
for case in "1 a redirect of another origin" "2 a window another origin opened"; do
  band "${case%% *}"
  user_decides "${case#* }"
done
check "still nothing was started" test ! -e "$work/launched"

# The user's slow file through the dialog, then the service's slow
# installer: the user's finishes first and is not started for it.
band 3
check "the user's file asks where to go" wait_until 15 shown 另存为
press 另存为 Return
band 4
check "the service's installer shows its progress" wait_until 15 progress_up
check "the progress box is painted" wait_until 10 drawn upgrade-progress-chinese "$(progress_id)"
check "and carries the product's name, for the task bar" test "$(xdotool getwindowname "$(progress_id)")" = VeltroCRM客户管理系统
check "the user's file is saved" wait_until 20 cmp -s "$site/report.sh" "$HOME/Desktop/report.sh"
check "the installer is started" wait_until 20 test -s "$work/launched"
check "it is the installer, not the user's file" test "$(cat "$work/launched")" = "$downloads/setup.deb"
check "the failed start is explained" wait_until 10 shown 提示
press 提示 Return
wait_until 10 not_shown 提示
while shown 文件下载; do press 文件下载 Return; sleep 0.5; done

# A hidden frame of the service's, where its documents pointed frames at
# another origin moments ago: any of those may have been redirected to it,
# so the user decides. A blob: the service built is its own.
band 5
user_decides "the service's hidden frame beside frames it pointed at another origin"
band 6
check "the service's blob: installer is started" wait_until 20 grep -qx "$downloads/blob-setup.deb" "$work/launched"
wait_until 10 shown 提示 && press 提示 Return

# The service's own link to another program goes to the desktop.
band 10
check "the service's external link is handed to the desktop" wait_until 10 grep -qx "spotify:track:2" "$work/launched"
check "the other origin's never was" bash -c "! grep -q 'spotify:track:1' '$work/launched'"

# Even the service opens no more than 32 windows at once.
band 7
check "a flood of the service's popups stops at 32 windows" wait_until 30 logged "$program_log" 'new window refused: 32 are open'
check "the user is told of the limit" wait_until 10 shown 提示
check "the notice is painted" wait_until 10 drawn window-limit "$(client_window 提示)"
check "once" test "$(for w in $(client_windows); do xdotool getwindowname "$w"; echo; done | grep -cx 提示)" = 1
check "and it was logged" logged "$program_log" 'new window refused: 32 are open'
press 提示 Return
check "the notice closes" wait_until 10 not_shown 提示
count=$(windows)
echo "windows open: $count"
check "no more than 32 are open" test "$count" -le 32
band 8
check "they close" wait_until 30 at_most_two_windows

# A popup of the service brings the installer and closes while it comes:
# started all the same, and the whole client closes for it.
echo 0 > "$work/exit"
: > "$work/launched"
before=$(windows)
popup_open() { [ "$(windows)" -gt "$before" ]; }
popup_gone() { [ "$(windows)" -le "$before" ]; }
band 9
check "the popup opens" wait_until 10 popup_open
check "and closes while its installer downloads" wait_until 10 popup_gone
check "before the installer came" bash -c "! grep -q popup-setup '$work/launched'"
check "the popup's installer is started" wait_until 30 grep -qx "$downloads/popup-setup.deb" "$work/launched"
check "and the client closes, main window and all" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""

# On a page whose documents point no frame elsewhere, the service's hidden
# frame brings its installer: started.
cat > "$site/index.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>routes</title>$band_style</head><body>
<div onclick="var f = document.createElement('iframe'); f.style.display = 'none';
  f.src = '/slow/frame-setup.deb'; document.body.appendChild(f);">hidden frame</div>
</body></html>
HTML
PATH=$work/bin:$PATH serve_and_start "$demo"
wait_for_main
band 0
check "the service's hidden frame's installer is started" \
  wait_until 20 grep -qx "$downloads/frame-setup.deb" "$work/launched"
check "byte for byte" cmp -s "$site/frame-setup.deb" "$downloads/frame-setup.deb"
kill "$other_pid" 2>/dev/null
finish
