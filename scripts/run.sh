#!/usr/bin/env bash
# Installs what is needed, builds, and runs the client. When the service
# cannot be reached it runs against the bundled demo service on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
host=$(sed -n 's/^#define VELTRO_SERVICE_HOST "\(.*\)"$/\1/p' "$BUILD_DIR/generated/build_config.h")
args=()
if ! curl -s -o /dev/null --max-time 5 "https://$host/client"; then
  port_file=$(mktemp)
  "$BUILD_DIR/demo_server" 0 > "$port_file" &
  demo_pid=$!
  trap 'kill $demo_pid 2>/dev/null || true; rm -f "$port_file"' EXIT
  for _ in $(seq 50); do [ -s "$port_file" ] && break; sleep 0.1; done
  echo "Service unreachable: using the local demo service on port $(cat "$port_file")"
  args+=("--start-url=http://127.0.0.1:$(cat "$port_file")/client")
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting the client under Xvfb"
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD_DIR/veltrocrm" "${args[@]}"
fi
"$BUILD_DIR/veltrocrm" "${args[@]}"
