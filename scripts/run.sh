#!/usr/bin/env bash
# Installs what is missing, builds, and runs the client. When the service
# cannot be reached it runs against the bundled demo service on 127.0.0.1;
# without a display, on a private Xvfb. Whatever this script started is
# stopped however it ends (the client's window closed, Ctrl+C, kill).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --if-needed
# The client and what it starts; tests and benchmarks are built by scripts/test.sh.
./scripts/build.sh veltrocrm veltrocrm-hosts-helper phonebox phonebox-sim phone-sim demo_server
BUILD_DIR=${BUILD_DIR:-build}
host=$(sed -n 's/^#define VELTRO_SERVICE_HOST "\(.*\)"$/\1/p' "$BUILD_DIR/generated/build_config.h")

client_pid="" demo_pid="" xvfb_pid="" port_file=""
stop_all() {
  if [ -n "$client_pid" ] && kill -TERM "$client_pid" 2>/dev/null; then wait "$client_pid" 2>/dev/null || true; fi
  for pid in $demo_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  [ -z "$port_file" ] || rm -f "$port_file"
}
trap stop_all EXIT
trap 'exit 130' INT TERM HUP

args=()
if ! curl -s -o /dev/null --max-time 5 "https://$host/client"; then
  port_file=$(mktemp)
  "$BUILD_DIR/demo_server" 0 > "$port_file" &
  demo_pid=$!
  for _ in $(seq 50); do [ -s "$port_file" ] && break; sleep 0.1; done
  echo "Service unreachable: using the local demo service on port $(cat "$port_file")"
  # The demo rings the simulated phone box (build/phonebox-sim) unless told otherwise.
  export VELTROCRM_PHONEBOX=${VELTROCRM_PHONEBOX:-sim}
  args+=("--start-url=http://127.0.0.1:$(cat "$port_file")/client")
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # Xvfb picks a free display itself and says which: no one else's is borrowed.
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3> "$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  display=:$(head -1 "$display_file")
  rm -f "$display_file"
  echo "No display: starting the client under Xvfb on $display"
  export DISPLAY=$display
fi
"$BUILD_DIR/veltrocrm" "${args[@]}" &
client_pid=$!
status=0
wait "$client_pid" || status=$?
client_pid=""
exit "$status"
