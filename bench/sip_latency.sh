#!/usr/bin/env bash
# Caller's INVITE to phoneCall in the page, through a real phone system:
# in a private network namespace, Kamailio and two baresip phones (a
# caller and the agent's desk phone on extension 1001) as in the SIP
# system test, and the built client watching 1001. Each call is dialled,
# stamped by the page with the wall clock, and hung up before the next;
# the clock starts when the dial command is written, a little before
# baresip sends the INVITE. Prints the median and 99th percentile, and
# how many calls were lost or repeated.
# Usage (root, with a display): bench/sip_latency.sh VELTROCRM DEMO_SERVER [CALLS]
set -uo pipefail
if [ "${VELTRO_IN_NAMESPACE:-}" != 1 ]; then
  VELTRO_IN_NAMESPACE=1 exec unshare --mount --net -- dbus-run-session -- bash "$0" "$@"
fi
exe=$1 demo=$2 calls=${3:-200}
tests=$(cd "$(dirname "$0")/../tests/system" && pwd)
. "$tests/lib.sh"
. "$tests/sip/phones.sh"
private_install "$exe"
trap 'cleanup_install stop_phones' EXIT
phones_net
start_kamailio
start_phone desk 1001 10.77.0.2 4402 && start_phone caller 13800138000 10.77.0.3 4403 || { echo "phones did not start"; exit 1; }
cat > "$work/site/index.html" <<'HTML'
<html><body><script>
function phoneCall(number) { console.log('stamp ' + ((performance.timeOrigin + performance.now()) * 1000).toFixed(0)); }
app.startLandlineCapture();
</script></body></html>
HTML
serve_and_start "$demo" --sip-server=10.77.0.1 --sip-extension=1001
log_text() { iconv -f UTF-16LE -t UTF-8 "$work/app/log/$1$(date +%Y%m%d).txt" 2>/dev/null | tr -d '\r' | sed 's/^\xEF\xBB\xBF//'; }
watched() { log_text 软件日志 | grep -q "SIP dialogs of extension 1001 watched"; }
wait_until 60 watched || { echo "the client never watched the extension"; exit 1; }
stamped() { [ "$(log_text 网页日志 | grep -c '^stamp ')" -ge "$1" ]; }
: > "$work/sent"
for i in $(seq "$calls"); do
  date +%s%6N >> "$work/sent"
  phone caller dial sip:1001@10.77.0.1
  wait_until 10 stamped "$i" || echo "call $i lost"
  phone caller hangup
  wait_until 10 phone_event desk CALL_CLOSED "$i" || echo "call $i did not end"
done
sleep 1
log_text 网页日志 | grep '^stamp ' | cut -d' ' -f2 > "$work/got"
python3 - "$work/sent" "$work/got" <<'PY'
import statistics, sys
sent = [int(x) for x in open(sys.argv[1])]
got = [int(x) for x in open(sys.argv[2])]
latencies = sorted((g - s) / 1000 for s, g in zip(sent, got))
print("calls %d, stamped %d (lost %d, repeated %d)" % (len(sent), len(got), max(0, len(sent) - len(got)),
                                                       max(0, len(got) - len(sent))))
if latencies:
    p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))]
    print("median %.2f ms, 99th percentile %.2f ms, max %.2f ms" % (statistics.median(latencies), p99, latencies[-1]))
PY
