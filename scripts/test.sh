#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite (unit, integration and system
# tests) on a private X display with a window manager, in a D-Bus session of its own (so no
# notification service or input method of the machine's answers a test by chance). Arguments
# go to ctest (`scripts/test.sh -R system_landline`).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --if-needed
./scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
# What the tests start (the key ring, input methods, Qt's dialogs, the
# engine's caches) keeps its files in a home of the run's own, never in the
# home of the user running them.
test_home=$(mktemp -d)
export HOME=$test_home XDG_CONFIG_HOME=$test_home/.config XDG_CACHE_HOME=$test_home/.cache \
  XDG_DATA_HOME=$test_home/.local/share
# Xvfb picks a free display itself and says which.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3> "$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
wm_pid=""
trap 'kill $wm_pid $xvfb_pid 2>/dev/null || true; rm -rf "$test_home"' EXIT
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
display=:$(head -1 "$display_file")
rm -f "$display_file"
DISPLAY=$display openbox >/dev/null 2>&1 &
wm_pid=$!
export DISPLAY=$display
cd "$BUILD_DIR"
status=0
dbus-run-session -- ctest --output-on-failure --timeout 300 "$@" || status=$?
# Cases skipped inside the unit and integration runs (those that need root,
# say) are not ctest's to count: named here.
# A run without skips has no such line: grep's "nothing" is no failure.
skipped=$({ grep -h '^\[  SKIPPED \] [A-Za-z]' Testing/Temporary/LastTest.log 2>/dev/null || true; } | sed 's/ ([0-9]* ms)$//' | sort -u)
if [ -n "$skipped" ]; then
  echo "Cases skipped inside the test programs: $(wc -l <<< "$skipped")"
  sed 's/^\[  SKIPPED \] /  /' <<< "$skipped"
fi
exit "$status"
