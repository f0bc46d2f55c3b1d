#!/usr/bin/env bash
# veltrocrm --support-bundle: one archive with 15 days of logs as UTF-8
# text, the versions, the settings with their origins and the desktop,
# readable by the user only, and none of the web client's data.
# Usage: support_bundle_test.sh VELTROCRM DEMO_SERVER
set -uo pipefail
exe=$1 demo=$2
. "$(dirname "$0")/lib.sh"
export LANG=zh_CN.UTF-8
private_install "$exe"
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><body>web data<script>
document.cookie = 'session=cookie-value-zz123; max-age=86400';
localStorage.setItem('draft', 'stored-value-zz456');
console.log('page ready');
console.log('phoneCall("13912345678")');
</script></body>
HTML
serve_and_start "$demo"
wait_for_main
program_log="$work/app/log/软件日志$(date +%Y%m%d).txt"
page_log="$work/app/log/网页日志$(date +%Y%m%d).txt"
check "the page logged" wait_until 20 bash -c "iconv -f UTF-16LE -t UTF-8 '$page_log' | grep -q 'page ready'"
stop_client
# Older days: two within the 15 days, one before.
for days in 3 14 20; do
  cp "$program_log" "$work/app/log/软件日志$(date -d "$days days ago" +%Y%m%d).txt"
done

bundle=$work/out/bundle.tar.gz
mkdir -p "$work/out" "$work/x"
check "the bundle is written" "$work/app/veltrocrm" --support-bundle="$bundle"
check "readable by the user only" test "$(stat -c %a "$bundle")" = 600
tar -xzf "$bundle" -C "$work/x"
b=$work/x/veltrocrm-support
check "it holds the version and the engine's" grep -q 'Qt WebEngine' "$b/version.txt"
check "the settings and where they came from" grep -q "start-url: .* (from built in)" "$b/settings.txt"
check "the desktop: display, scale, input method, language, monitors" bash -c \
  "grep -q '^  DISPLAY=' '$b/desktop.txt' && grep -q QT_SCALE_FACTOR '$b/desktop.txt' &&
   grep -q QT_IM_MODULE '$b/desktop.txt' && grep -q 'LANG=zh_CN.UTF-8' '$b/desktop.txt' &&
   grep -q '^monitor .*[0-9]x[0-9]' '$b/desktop.txt'"
check "today's logs, as UTF-8 text" bash -c "iconv -f UTF-8 -t UTF-8 '$b/logs/$(date +%F).txt' >/dev/null &&
  grep -q 'page ready' '$b/logs/$(date +%F).txt'"
check "the days within 15" test -s "$b/logs/$(date -d '14 days ago' +%F).txt" -a -s "$b/logs/$(date -d '3 days ago' +%F).txt"
check "not older ones" test ! -e "$b/logs/$(date -d '20 days ago' +%F).txt"
check "nothing of the web client's data" bash -c "! zcat '$bundle' | grep -qa -e zz123 -e zz456"
check "callers' numbers are masked" bash -c "grep -q 'phoneCall(\"139\*\*\*\*5678\")' '$b/logs/$(date +%F).txt' &&
  ! zcat '$bundle' | grep -qa 13912345678"
check "unless asked for whole" bash -c "'$work/app/veltrocrm' --support-bundle='$work/out/whole.tar.gz' --with-caller-numbers &&
  zcat '$work/out/whole.tar.gz' | grep -qa 13912345678"
check "an existing file is not replaced" bash -c "! '$work/app/veltrocrm' --support-bundle='$bundle' 2>'$work/err' &&
  grep -q 'exists already' '$work/err'"
check "without a name it goes to the home folder" bash -c \
  "cd / && test -s \"\$(env -u DISPLAY '$work/app/veltrocrm' --support-bundle)\""
home_bundle=$(ls "$HOME"/veltrocrm-support-*.tar.gz)
check "without a display it says so" bash -c "tar -xzOf '$home_bundle' veltrocrm-support/desktop.txt |
  grep -q 'monitors: none reachable'"
finish
