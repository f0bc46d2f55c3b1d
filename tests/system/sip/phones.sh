# The phone system of the SIP tests, sourced by them inside a private
# network namespace: Kamailio on 10.77.0.1:5060 and baresip user agents,
# each on an address of its own on the loopback device, driven through
# sip_phone.py. A phone's sound goes round inside it (aubridge): Debian 13's
# baresip died in its file module when a call ended. Everything lives in $work/sip and ends with stop_phones.
sip_dir=$(dirname "${BASH_SOURCE[0]}")
phones_net() {
  ip link set lo up
  local a
  for a in 1 2 3 4 5 9; do ip addr add "10.77.0.$a/32" dev lo; done
  mkdir -p "$work/sip/db"
  local table
  for table in version presentity active_watchers watchers xcap pua; do
    cp "/usr/share/kamailio/dbtext/kamailio/$table" "$work/sip/db/"
  done
}
# start_kamailio [-A WITH_AUTH]: the server, until stop_kamailio.
start_kamailio() {
  sed 's/127\.0\.0\.1/10.77.0.1/g' "$sip_dir/kamailio.cfg" > "$work/sip/kamailio.cfg"
  kamailio -f "$work/sip/kamailio.cfg" -A "DB_URL=\"text://$work/sip/db\"" "$@" -P "$work/sip/kamailio.pid" \
    -Y "$work/sip" -E -DD >> "$work/sip/kamailio.log" 2>&1 &
  kamailio_pid=$!
  wait_until 10 grep -q "udp: 10.77.0.1" "$work/sip/kamailio.log"
}
stop_kamailio() {
  [ -n "${kamailio_pid:-}" ] && kill "$kamailio_pid" 2>/dev/null && wait "$kamailio_pid" 2>/dev/null
  kamailio_pid=""
}
# start_phone NAME USER ADDRESS CONTROL_PORT: a baresip registered as USER
# (password "pw" USER); its events go to $work/sip/NAME.events.
start_phone() {
  local dir=$work/sip/$1
  mkdir -p "$dir"
  cat > "$dir/config" <<CONFIG
sip_listen $3:5060
net_interface $3
module_path /usr/lib/baresip/modules
module g711.so
module aubridge.so
module_app account.so
module_app menu.so
module_app ctrl_tcp.so
ctrl_tcp_listen 127.0.0.1:$4
audio_source aubridge,$1
audio_player aubridge,$1
audio_alert aubridge,$1-alert
CONFIG
  echo "<sip:$2@10.77.0.1>;auth_pass=pw$2;answermode=manual;regint=600" > "$dir/accounts"
  : > "$dir/contacts"
  baresip -f "$dir" > "$dir/out.log" 2>&1 &
  mkfifo "$dir/commands"
  : > "$dir/events"
  wait_until 10 grep -q "baresip is ready" "$dir/out.log" || return 1
  python3 "$sip_dir/sip_phone.py" "$4" "$dir/events" "$dir/commands" &
  wait_until 10 grep -q "200 OK" "$dir/out.log"
}
# phone NAME COMMAND [ARGS]: a command to that phone.
phone() { echo "${*:2}" > "$work/sip/$1/commands"; }
# phone_event NAME TYPE [COUNT]: the phone has had COUNT (1) events of TYPE.
phone_event() { [ "$(grep -cF "\"type\": \"$2\"" "$work/sip/$1/events")" -ge "${3:-1}" ]; }
stop_phones() {
  stop_kamailio
  pkill -f "baresip -f $work/sip" 2>/dev/null
}
