# Shared by the system tests: results, waiting and a private installation.
# Source it, then call `finish` at the end.
failures=0
passes=0
# Screenshots of the windows a test opened, kept for people to look at.
shots=${VELTRO_SHOTS:-$PWD/window-shots}
mkdir -p "$shots"
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); echo "ok: $name"; else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
wait_until() {  # wait_until SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $deadline ] && return 1; sleep 0.2; done
}
finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" = 0 ]
}

# painted NAME WINDOW COLOUR: the screenshot ($shot is window_shot) shows
# the page: its text colour, many colours, hardly any black.
painted() {
  local out black colour colours
  out=$("$shot" "$2" "$shots/$1.png" "$3" 2>/dev/null) || return 1
  black=$(echo "$out" | sed -n 's/.*black=\([0-9.]*\).*/\1/p')
  colour=$(echo "$out" | sed -n 's/.*colour=\([0-9]*\).*/\1/p')
  colours=$(echo "$out" | sed -n 's/.*colours=\([0-9]*\).*/\1/p')
  echo "$out" > "$shots/$1.txt"
  awk -v b="$black" -v c="$colour" -v n="$colours" 'BEGIN { exit !(b < 0.2 && c >= 300 && n >= 8) }'
}

# private_install EXE: a copy of the client, its hosts helper and its
# phone-box library in $work/app with log/ beside it (where pardo.ini goes
# too) and a home of its own; the client and demo
# server started into $client_pid and $demo_pid are stopped at exit.
private_install() {
  work=$(mktemp -d)
  client_pid=""
  demo_pid=""
  trap 'cleanup_install' EXIT
  mkdir -p "$work/app/log" "$work/home" "$work/site"
  cp "$1" "$work/app/veltrocrm"
  cp "$(dirname "$1")/libphonebox.so" "$work/app/"
  cp "$(dirname "$1")/veltrocrm-hosts-helper" "$work/app/"
  export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
}
cleanup_install() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}

# client_window NAME: the first visible window of $client_pid titled exactly
# NAME (xdotool's own pattern matches other titles too).
client_window() {
  local w
  for w in $(xdotool search --all --onlyvisible --pid "$client_pid" --class . 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return; }
  done
}

# serve_and_start DEMO_SERVER: serves $work/site and starts the installed
# client on its index.html into $client_pid (the caller's environment, PATH
# included, goes with it).
serve_and_start() {
  "$1" 0 "$work/site" > "$work/port" 2>/dev/null &
  demo_pid=$!
  wait_until 5 test -s "$work/port" || { echo "demo server did not start"; exit 1; }
  "$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/port")/index.html" --channel-service=127.0.0.1:9 \
    > "$work/client.out" 2>&1 &
  client_pid=$!
}

# wait_for_main: checks that the main window comes up; its id in $main.
main_title='VeltroCRM客户管理系统 (版本2.6.1)'
main_up() { test -n "$(client_window "$main_title")"; }
wait_for_main() {
  check "main window is shown" wait_until 30 main_up
  main=$(client_window "$main_title")
  sleep 1
}
