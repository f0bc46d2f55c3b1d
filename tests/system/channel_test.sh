#!/usr/bin/env bash
# Channel selection of the built client, in a private mount and network
# namespace (only loopback), with a temporary file over /etc/hosts and
# /etc itself behind an overlay, so that nothing reaches the real /etc.
# Usage: channel_test.sh VELTROCRM DEMO_SERVER CHANNEL_SERVER
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces --net -- "$@"
exe=$1 demo=$2 channels=$3

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; umount /etc/hosts 2>/dev/null; umount /etc 2>/dev/null; umount /run 2>/dev/null; rm -rf "$work"' EXIT
ip link set lo up
# The channels' public addresses answer here, on this namespace's own
# loopback device.
for address in 45.76.113.2 45.76.113.3 45.76.113.4 45.76.113.9; do ip addr add "$address/32" dev lo; done
private_etc_and_run
# As the package installs it, naming the test's service domains; the
# channel list below names a foreign one too.
mkdir -p /etc/veltrocrm
printf '# test\ndead.example\nalive.example\nghost.example\n' > /etc/veltrocrm/pinnable-domains

# The hosts file: dead.example resolves to an address nothing answers at
# (no route leaves this namespace); alive.example to one that answers; a
# crashed run left a pinned line behind.
marker='# VeltroCRM channel pin'
original=$(printf '127.0.0.1\tlocalhost\n# comment line\n10.66.0.1 dead.example\n10.66.0.1 www.paypal.com\n127.0.0.5 alive.example\n\n::1 ip6-localhost\nlast line without end')
printf '%s%s\n%s' "${original%last line without end}" "127.0.0.7 stale.example $marker" 'last line without end' \
  > "$work/hosts"
mount --bind "$work/hosts" /etc/hosts

cat > "$work/channels.json" <<'JSON'
[{"domain":"dead.example","ip":"10.66.0.2"},
 {"domain":"dead.example","ip":"45.76.113.2"},
 {"domain":"dead.example","ip":"45.76.113.3"},
 {"domain":"dead.example","ip":"127.0.0.1"},
 {"domain":"alive.example","ip":"45.76.113.9"},
 {"domain":"ghost.example","ip":"45.76.113.4"},
 {"domain":"www.paypal.com","ip":"45.76.113.2"},
 {"domain":"dead.example","ip":"45.76.113.2\n6.6.6.6 bank.example\n#"},
 {"domain":"1","ip":"45.76.113.2"}, {"domain":"localhost","ip":"45.76.113.2"}, {"domain":"corp","ip":"45.76.113.2"},
 {"domain":"::1","ip":"45.76.113.2"}, {"domain":".","ip":"45.76.113.2"}, {"domain":"line","ip":"45.76.113.2"}]
JSON
"$channels" "$work/channels.json" 0 > "$work/channel-port" 2>/dev/null &
"$demo" 0 > "$work/demo-port" 2>/dev/null &
wait_until 5 test -s "$work/channel-port" && wait_until 5 test -s "$work/demo-port" || { echo "servers did not start"; exit 1; }

mkdir -p "$work/app/log" "$work/home"
cp "$exe" "$work/app/veltrocrm"
cp "$(dirname "$exe")/veltrocrm-hosts-helper" "$work/app/"
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
start_client() {
  "$work/app/veltrocrm" --start-url="http://127.0.0.1:$(cat "$work/demo-port")/client" \
    --channel-service="127.0.0.1:$(cat "$work/channel-port")" > "$work/client.out" 2>&1 &
  client=$!
}
start_client

pinned() { grep -qE "^45\.76\.113\.[23] dead\.example $marker\$" /etc/hosts; }
check "the unreachable domain is pinned to an answering candidate" wait_until 40 pinned
check "the crashed run's line is gone" test "$(grep -c 'stale.example' /etc/hosts)" = 0
program_log="$work/app/log/软件日志$(date +%Y%m%d).txt"
check "the hosts helper removed it and the client logged its line" \
  bash -c "iconv -f UTF-16LE -t UTF-8 '$program_log' | grep -q 'hosts helper: stale pinned lines removed'"
check "no line of a hostile answer got in" test "$(grep -c '6.6.6.6' /etc/hosts)" = 0
check "a foreign domain of the channel list is not pinned" test "$(grep -c 'paypal' /etc/hosts)" = 1
check "and the client logged the refused pair" \
  bash -c "iconv -f UTF-16LE -t UTF-8 '$program_log' | grep -q 'refused: not a domain of the service: 45.76.113.2 www.paypal.com'"
check "a loopback answer is refused and logged, never probed" \
  bash -c "iconv -f UTF-16LE -t UTF-8 '$program_log' | grep -q 'channel address refused: not a service.s: 127.0.0.1'"
check "hostile domains took no line out" grep -q '^127.0.0.1.localhost$' /etc/hosts
check "the IPv6 line is still there" grep -q '^::1 ip6-localhost$' /etc/hosts
check "the reachable domain gets no line" test "$(grep -c 'alive.example' /etc/hosts)" = 1
check "the unresolvable domain is left alone" test "$(grep -c 'ghost.example' /etc/hosts)" = 0
check "the old line of the pinned domain is gone" test "$(grep -c 'dead.example' /etc/hosts)" = 1
check "the last line got its line end" grep -q '^last line without end$' /etc/hosts
page_log="$work/app/log/网页日志$(date +%Y%m%d).txt"
loads() { iconv -f UTF-16LE -t UTF-8 "$page_log" 2>/dev/null | grep -c '演示页面已加载'; }
reloaded() { [ "$(loads)" -ge 2 ]; }
check "the page loads the start URL again" wait_until 20 reloaded

title='VeltroCRM客户管理系统 (版本2.6.1)'
wait_until 10 bash -c "search_windows --name '^VeltroCRM' >/dev/null"
wmctrl -c "$title"
check "the client ends" wait_until 30 bash -c "! kill -0 $client 2>/dev/null"
# Byte for byte what it was before the run, the user's own line for the
# pinned domain included; only the crashed run's line is gone.
printf '%s' "$original" > "$work/expected"
check "at exit the file is as it was before the run" cmp -s /etc/hosts "$work/expected"

# Closed while the run is still probing: it ends at once and pins nothing.
cp /etc/hosts "$work/before-close"
start_client
wait_until 20 bash -c "search_windows --onlyvisible --name '^VeltroCRM' >/dev/null"
wmctrl -c "$title"
closed_at=$(date +%s%N)
wait_until 20 bash -c "! kill -0 $client 2>/dev/null"
elapsed_ms=$((($(date +%s%N) - closed_at) / 1000000))
echo "closing to exit during a run: $elapsed_ms ms"
check "closing during a run ends the client within a second" test "$elapsed_ms" -lt 1000
check "a run stopped by closing pins nothing" cmp -s /etc/hosts "$work/before-close"

# SIGTERM (a logout, a kill) takes the same way out as closing the window:
# the run's pinned lines go.
cp /etc/hosts "$work/before-term"
start_client
check "a run pins before the signal" wait_until 40 pinned
kill -TERM "$client"
check "SIGTERM ends the client" wait_until 30 bash -c "! kill -0 $client 2>/dev/null"
check "and the file is as it was before that run" cmp -s /etc/hosts "$work/before-term"

# kill -9 in the middle of a rewrite of a large file that can only be
# rewritten in place, then a clean run: the file ends as it began.
umount /etc/hosts
{ seq 1 200000 | sed 's/^/# filler line /'; printf '%s' "$original"; } > "$work/hosts"
cp "$work/hosts" "$work/expected"
mount --bind "$work/hosts" /etc/hosts
size=$(stat -c %s /etc/hosts)
start_client
deadline=$((SECONDS + 40))
while [ "$(stat -c %s /etc/hosts)" = "$size" ] && [ $SECONDS -lt $deadline ]; do :; done
kill -9 "$client"
wait "$client" 2>/dev/null
check "the kill came while the file was being rewritten" test "$(stat -c %s /etc/hosts)" != "$size"
start_client
check "the next run pins again" wait_until 40 pinned
# The killed run's helper may have pinned first: wait for this run's window.
check "the next run shows its window" \
  wait_until 30 bash -c "search_windows --onlyvisible --pid $client --name '^VeltroCRM' >/dev/null"
sleep 1
wmctrl -c "$title"
check "the next run ends" wait_until 30 bash -c "! kill -0 $client 2>/dev/null"
check "after the crash and a clean run the file is as it began" cmp -s /etc/hosts "$work/expected"
check "no file of ours is left in /etc" test -z "$(ls -A /etc | grep '^\.veltrocrm-hosts-')"

if [ "$failures" != 0 ]; then
  echo "--- the program log"; iconv -f UTF-16LE -t UTF-8 "$program_log" | tr -d '\r' | grep -v '^datetime' | tail -40
  echo "--- processes"; ps -eo pid,etimes,args | grep -E 'veltrocrm|hosts-helper' | grep -v grep
fi
finish
