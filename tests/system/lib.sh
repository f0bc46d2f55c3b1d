# Shared by the system tests: results and waiting. Source it, then call
# `finish` at the end.
failures=0
passes=0
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
