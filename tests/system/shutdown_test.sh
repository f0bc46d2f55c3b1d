#!/usr/bin/env bash
# A termination signal (logout, kill, Ctrl+C) with each kind of dialog open:
# one signal ends the client cleanly within 2 s, and a second one right
# after never crashes it. A signal inside a dialog's loop once left the
# client running, and a second one freed the open box from under it.
# Usage: shutdown_test.sh VELTROCRM DEMO_SERVER WINDOW_SHOT
set -uo pipefail
exe=$1 demo=$2 shot=$3
. "$(dirname "$0")/lib.sh"

private_install "$exe"
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>dialogs</title>
<style>body{margin:0;background:#fff;color:#c01020;font:bold 40px sans-serif}
.band{display:block;height:100px;width:900px;color:#c01020}</style></head><body>
<div class="band" onclick="alert('alert open')">alert</div>
<div class="band" onclick="confirm('confirm open')">confirm</div>
<div class="band" onclick="prompt('prompt open', 'x')">prompt</div>
<a class="band" href="data:text/plain,saved" download="note.txt">save</a>
<div class="band" onclick="window.onbeforeunload = function (e) { e.preventDefault(); e.returnValue = 'stay'; };
  location.reload();">leave</div>
</body></html>
HTML

# A visible window of the client other than the main one: the dialog.
dialog_id() {
  local w
  for w in $(client_windows); do
    [ "$w" != "$main" ] && [ "$(xdotool getwindowname "$w" 2>/dev/null)" != "$main_title" ] && { echo "$w"; return; }
  done
}
dialog_up() { test -n "$(dialog_id)"; }
gone() { ! kill -0 "$client_pid" 2>/dev/null; }

# end_with NAME BAND SIGNALS: opens the dialog of BAND, sends SIGNALS
# SIGTERMs and checks the end.
end_with() {
  local name=$1 band=$2 signals=$3 sent_at status ended_ms
  serve_and_start "$demo"
  wait_for_main
  # A click can come before the view takes input: clicked again until the
  # dialog is up (a modal one takes no second click).
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool windowactivate --sync "$main" mousemove --window "$main" 300 $((band * 100 - 50)) click 1 > /dev/null 2>&1
    wait_until 3 dialog_up && break
  done
  if ! dialog_up; then
    check "$name opens" false
    stop_client
    return
  fi
  [ "$signals" = 1 ] && check "the $name is painted" wait_until 10 painted "shutdown-$name" "$(dialog_id)" efefef
  sent_at=$(date +%s%3N)
  kill -TERM "$client_pid"
  # The second after the first has been taken, while the dialog unwinds.
  [ "$signals" = 2 ] && sleep 0.05 && kill -TERM "$client_pid" 2>/dev/null
  wait_until 10 gone || kill -KILL "$client_pid"
  ended_ms=$(($(date +%s%3N) - sent_at))
  wait "$client_pid"
  status=$?
  echo "$name, $signals signal(s): ended after $ended_ms ms with status $status"
  check "$signals signal(s) with the $name open end the client within 2 s" test "$ended_ms" -le 2000
  if [ "$signals" = 1 ]; then
    check "cleanly" test "$status" = 0
  else
    # Once the windows are gone the exit is bounded: a signal then ends it
    # the default way (143). Never a crash.
    check "without a crash" test "$status" = 0 -o "$status" = 143
  fi
  client_pid=""
  kill "$demo_pid" 2>/dev/null
  demo_pid=""
}

for signals in 1 2; do
  end_with alert-box 1 "$signals"
  end_with confirm-box 2 "$signals"
  end_with prompt-dialog 3 "$signals"
  end_with save-dialog 4 "$signals"
  end_with leave-page-box 5 "$signals"
done
finish
