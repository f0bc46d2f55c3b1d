#!/usr/bin/env bash
# Downloads as a user meets them in the built client: the save dialog (driven
# by keys) for a file link, an <a download> and a blob: export, the notice
# after each, a cancelled dialog; installers that are not the service's own
# (another origin's frame or link, a frame steering the page, names that
# only contain ".exe") get the dialog too; the service's installer saved without
# asking with its progress dialog, cancelled, then started by a stand-in
# desktop handler that fails, then by one that works (the client closes).
# Usage: downloads_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
site=$work/site
mkdir -p "$site" "$work/bin"
head -c 400000 /dev/urandom > "$site/Setup.exe"
head -c 20000 /dev/urandom > "$site/report.xlsx"
printf 'a,b\n1,2\n' > "$site/data.csv"
printf '<p>x</p>' > "$site/report.exe.html"
printf '[Desktop Entry]\nExec=true\n' > "$site/run.exe.desktop"
# Another origin: a second server with its own installer.
other=$work/other
mkdir -p "$other"
head -c 1000 /dev/urandom > "$other/evil.exe"
"$demo" 0 "$other" > "$work/other-port" 2>/dev/null &
other_pid=$!
wait_until 5 test -s "$work/other-port" || { echo "second server did not start"; exit 1; }
other_url=http://127.0.0.1:$(cat "$work/other-port")
cat > "$site/index.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>downloads</title>
<style>body{margin:0;background:#fff;font:bold 40px sans-serif}
a,div,iframe{display:block;height:100px;width:900px;color:#c01020;border:0}</style></head><body>
<a href="/slow/Setup.exe">installer</a>
<a href="/report.xlsx" download>report</a>
<div onclick="var a = document.createElement('a');
  a.href = window.URL.createObjectURL(new Blob(['id,name\n1,张三\n'], {type: 'text/csv'}));
  a.download = 'export.csv'; a.click();">blob export</div>
<a href="/data.csv" download>data</a>
<a href="data:text/plain;charset=utf-8,%E5%A4%87%E6%B3%A8%20note" download="note.txt">data url</a>
<iframe src="$other_url/own.html"></iframe>
<iframe src="$other_url/top.html"></iframe>
<a href="$other_url/evil.exe">other host</a>
<a href="/report.exe.html" download>exe.html</a>
<a href="/run.exe.desktop" download>exe.desktop</a>
</body></html>
HTML
link_page() {  # link_page FILE HREF TARGET: a page that is one big link
  printf '<!DOCTYPE html><body style="margin:0;background:#fff"><a href="%s" target="%s" style="display:block;height:100px;font:bold 40px sans-serif;color:#c01020">link</a></body>' \
    "$2" "$3" > "$1"
}
link_page "$other/own.html" "$other_url/evil.exe" _self
# The desktop's handler: records what it opens and where, answers with the
# code in $work/exit.
cat > "$work/bin/xdg-open" <<SH
#!/bin/sh
echo "\$1|\$(pwd)" >> "$work/launched"
exit \$(cat "$work/exit")
SH
chmod +x "$work/bin/xdg-open"
echo 1 > "$work/exit"

PATH=$work/bin:$PATH serve_and_start "$demo"
# A frame of another origin that sends the whole page to the service's installer.
link_page "$other/top.html" "http://127.0.0.1:$(cat "$work/port")/slow/Setup.exe" _top
wait_for_main
band() {  # band N: a click on the page's band N
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  xdotool mousemove --window "$main" 200 $((50 + 100 * $1)) click 1
}
desktop=$HOME/Desktop
downloads=$HOME/Documents/Downloads

# A blob: export and an <a download>: the save dialog on the desktop folder
# with the suggested name, Return saves, the notice follows.
band 2
check "a blob export opens the save dialog" wait_until 15 shown 另存为
check "the save dialog is painted" wait_until 10 drawn save-dialog "$(client_window 另存为)"
press 另存为 Return
check "the export is saved on the desktop" wait_until 10 test -s "$desktop/export.csv"
check "with the page's bytes" bash -c "printf 'id,name\n1,张三\n' | cmp -s - '$desktop/export.csv'"
check "the notice is shown" wait_until 10 shown 文件下载
check "the notice is painted" wait_until 10 drawn download-notice "$(client_window 文件下载)"
check "the notice did not take the focus" test "$(xdotool getactivewindow 2>/dev/null)" != "$(client_window 文件下载)"
press 文件下载 Return
check "the notice closes" wait_until 10 not_shown 文件下载

band 1
check "a file link opens the save dialog" wait_until 15 shown 另存为
press 另存为 Return
check "the report is saved byte for byte" wait_until 10 cmp -s "$site/report.xlsx" "$desktop/report.xlsx"
check "its notice is shown" wait_until 10 shown 文件下载
press 文件下载 Return

band 4
check "a data: link opens the save dialog" wait_until 15 shown 另存为
press 另存为 Return
check "its text is saved" wait_until 10 bash -c "printf '备注 note' | cmp -s - '$desktop/note.txt'"
check "with a notice" wait_until 10 shown 文件下载
press 文件下载 Return
check "that closes" wait_until 10 not_shown 文件下载

band 3
check "a cancelled save dialog" wait_until 15 shown 另存为
press 另存为 Escape
sleep 2
check "saves nothing" test ! -e "$desktop/data.csv"
check "and shows no notice" not_shown 文件下载

# centred_over_main: the progress dialog's centre within a few pixels of
# the main window's (it once went to the corner from the second time on).
centre_of() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x + int(w / 2), y + int(h / 2)}'; }
centred_over_main() {
  local dialog main_centre dialog_centre
  dialog=$(progress_id)
  [ -n "$dialog" ] || return 1
  main_centre=$(centre_of "$(client_window "$main_title")")
  dialog_centre=$(centre_of "$dialog")
  echo "progress dialog centre $dialog_centre, main window centre $main_centre"
  awk -v a="$main_centre" -v b="$dialog_centre" 'BEGIN { split(a, p, " "); split(b, q, " ");
    dx = p[1] - q[1]; dy = p[2] - q[2]; exit !(dx * dx + dy * dy <= 64 * 64) }'
}
# Installers that are not the service's own: the save dialog, no progress
# dialog, nothing started.
for case in "5 an installer of another origin's frame" "6 a frame of another origin steering the page" \
  "7 a link to another host's installer" "8 a name with .exe inside" "9 a desktop entry named .exe"; do
  band "${case%% *}"
  user_decides "${case#* }"
done
check "none of them was started" test ! -e "$work/launched"
check "nor saved in the downloads folder" test -z "$(ls -A "$downloads" 2>/dev/null)"

# The installer: no dialog, the progress dialog instead: no title bar, the
# one window kept above the others.
band 0
check "the installer's progress dialog is shown" wait_until 15 progress_up
check "the progress dialog is painted" wait_until 10 drawn upgrade-progress "$(progress_id)"
check "it is centred over the main window" centred_over_main
check "no save dialog for the installer" not_shown 另存为
activate "$(progress_id)"
xdotool key Escape
check "Esc closes the progress dialog" wait_until 10 no_progress
sleep 4
check "the cancelled installer is not started" test ! -e "$work/launched"
check "nor saved whole" bash -c "! cmp -s '$site/Setup.exe' '$downloads/Setup.exe'"

# A handler that fails: the user is told, the client stays.
band 0
check "the second upgrade's progress dialog is shown" wait_until 15 progress_up
check "centred over the main window again" centred_over_main
check "the installer downloads again" wait_until 20 test -e "$work/launched"
check "into the documents' Downloads folder, started from the desktop" \
  test "$(cat "$work/launched")" = "$downloads/Setup.exe|$desktop"
check "byte for byte" cmp -s "$site/Setup.exe" "$downloads/Setup.exe"
check "a failed start is explained" wait_until 10 shown 提示
check "the failure message is painted" wait_until 10 drawn upgrade-failed "$(client_window 提示)"
press 提示 Return
check "the client stays" bash -c "sleep 1; kill -0 $client_pid"

# A handler that works: the client closes for the installer.
echo 0 > "$work/exit"
band 0
check "the third upgrade's progress dialog is shown" wait_until 15 progress_up
check "centred over the main window a third time" centred_over_main
check "the installer is started" wait_until 20 bash -c "[ \$(wc -l < '$work/launched') = 2 ]"
check "and the client closes" wait_until 20 bash -c "! kill -0 $client_pid 2>/dev/null"
client_pid=""
kill "$other_pid" 2>/dev/null
finish
