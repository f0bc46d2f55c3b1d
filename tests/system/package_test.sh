#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack, installed with
# dpkg and started from its desktop entry by a user who is not root, with
# polkit deciding over the hosts helper. All of it in a private mount and
# network namespace where /usr, /var and /etc are overlays and /run is
# empty, so the machine's own files and package database never change.
# Usage: package_test.sh BUILD_DIR DEMO_SERVER CHANNEL_SERVER WINDOW_SHOT
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces --net dpkg -- "$@"
build=$1 demo=$2 channels=$3 shot=$4

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
ip link set lo up
# As systemd sets it on a Debian 12 desktop: every user may send ICMP echo
# requests through datagram sockets. A new network namespace starts without.
echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range
for folder in usr var etc; do
  mkdir -p "$work/$folder-upper" "$work/$folder-work"
  if ! mount -t overlay overlay -o "lowerdir=/$folder,upperdir=$work/$folder-upper,workdir=$work/$folder-work" "/$folder"; then
    echo "cannot put /$folder behind an overlay: skipped"
    exit 77
  fi
done
mount -t tmpfs tmpfs /run && mkdir -p /run/dbus

(cd "$build" && cpack -G DEB -B "$work/package" > "$work/cpack.out" 2>&1)
deb=$(ls "$work"/package/veltrocrm_*_amd64.deb 2>/dev/null | head -1)
check "CPack builds the package" test -n "$deb"
release=$(. /etc/os-release && echo "$VERSION_ID")
check "its version names the Debian release it is built in" \
  bash -c "dpkg-deb -f '$deb' Version | grep -qE '^[0-9.]+\+deb$release\$'"
# Kept beside the build, where the other release's run of this test finds it.
mkdir -p "$build/packages" && rm -f "$build"/packages/*.deb && cp "$deb" "$build/packages/"
for other in "$build"/../build*/packages/veltrocrm_*_amd64.deb; do
  case $other in *"+deb$release"_amd64.deb | *'*'*) continue ;; esac
  check "apt refuses the other release's $(basename "$other") here" \
    bash -c "apt-get install -s '$(realpath "$other")' 2>&1 | grep -q 'Depends: base-files'"
done
check "it depends on a Chinese font and recommends the input methods' Qt frontend" bash -c \
  "dpkg-deb -f '$deb' Depends | grep -q 'fonts-noto-cjk | fonts-wqy-microhei' && dpkg-deb -f '$deb' Recommends | grep -q 'fcitx5-frontend-qt6 | ibus'"
# The client loads libcurl itself, so the package's own list must name it.
check "it depends on libcurl" bash -c "dpkg-deb -f '$deb' Depends | grep -qE '(^|, )libcurl4(,|$| )'"
check "dpkg installs it with its dependencies from Debian" dpkg -i "$deb"
check "the command is on the path and prints the version" \
  bash -c "PATH=/usr/bin:/bin veltrocrm --version | head -1 | grep -qx 'VeltroCRM客户管理系统 [0-9.]*'"
entry=/usr/share/applications/veltrocrm.desktop
if command -v desktop-file-validate >/dev/null; then
  check "the desktop entry is valid" desktop-file-validate "$entry"
fi
check "the desktop entry names the window's class" grep -qx 'StartupWMClass=veltrocrm' "$entry"
check "the icon is in the hicolor theme" test -s /usr/share/icons/hicolor/48x48/apps/veltrocrm.png
check "the man page is installed" bash -c "zcat /usr/share/man/man1/veltrocrm.1.gz | grep -q '^\.TH VELTROCRM 1'"
check "the package lists the service's domains as the only pinnable ones" \
  bash -c "grep -v '^#' /etc/veltrocrm/pinnable-domains | grep -qx 'veltrocrm.com' && test \"\$(stat -c %U:%a /etc/veltrocrm/pinnable-domains)\" = root:644"
check "as a configuration file of the package" bash -c "dpkg-query -W -f='\${Conffiles}' veltrocrm | grep -q /etc/veltrocrm/pinnable-domains"
check "the policy file comes root's, commented out, a configuration file" bash -c \
  "test \"\$(stat -c %U:%a /etc/veltrocrm/policy.ini)\" = root:644 && ! grep -qE '^[A-Za-z]+=' /etc/veltrocrm/policy.ini &&
   dpkg-query -W -f='\${Conffiles}' veltrocrm | grep -q /etc/veltrocrm/policy.ini"
# The test's service domain, as an administrator would add a staging one.
echo 'dead.example' >> /etc/veltrocrm/pinnable-domains
check "polkit knows the helper by its installed path" \
  grep -q '>/usr/lib/veltrocrm/veltrocrm-hosts-helper<' /usr/share/polkit-1/actions/com.veltrocrm.hosts-helper.policy

# The system bus and polkit of a desktop. Without a login manager there is
# no active session, so a rule gives the test user what the package's
# action gives the active session.
dbus-daemon --system --fork --nopidfile --print-pid > "$work/dbus.pid"
pids+=("$(cat "$work/dbus.pid")")
/usr/lib/polkit-1/polkitd --no-debug > "$work/polkitd.out" 2>&1 &
pids+=($!)
mkdir -p /etc/polkit-1/rules.d
cat > /etc/polkit-1/rules.d/50-veltrocrm-test.rules <<'RULE'
polkit.addRule(function(action, subject) {
  if (action.id == "com.veltrocrm.hosts-helper" && subject.user == "nobody") return polkit.Result.YES;
});
RULE

# The hosts file: dead.example resolves to an address nothing answers at,
# so the channel run pins it.
marker='# VeltroCRM channel pin'
printf '127.0.0.1\tlocalhost\n10.66.0.1 dead.example\n' > "$work/hosts"
cp "$work/hosts" "$work/hosts.before"
mount --bind "$work/hosts" /etc/hosts
echo '[{"domain":"dead.example","ip":"45.76.113.2"}]' > "$work/channels.json"
ip addr add 45.76.113.2/32 dev lo
"$channels" "$work/channels.json" 0 > "$work/channel-port" 2>/dev/null &
"$demo" 0 > "$work/demo-port" 2>/dev/null &
wait_until 5 test -s "$work/channel-port" && wait_until 5 test -s "$work/demo-port" || { echo "servers did not start"; exit 1; }

# The user: nobody, with a home and runtime folder of its own.
user=65534
home=$work/home
mkdir -p "$home" "$work/run" && chown "$user:$user" "$home" "$work/run" && chmod 700 "$work/run"
chmod 755 "$work"
# Started as the menu starts it: the entry's command line, from the path.
command=$(sed -n 's/^Exec=//p' "$entry")
env -i DISPLAY="$DISPLAY" HOME="$home" XDG_RUNTIME_DIR="$work/run" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  setpriv --reuid=$user --regid=$user --clear-groups -- $command \
  --start-url="http://127.0.0.1:$(cat "$work/demo-port")/client" \
  --channel-service="127.0.0.1:$(cat "$work/channel-port")" > "$work/client.out" 2>&1 &
client_pid=$!

wait_for_main
check "the window shows the page" wait_until 20 painted package-main "$main" 222233
check "the window's class is the desktop entry's" bash -c "xprop -id $main WM_CLASS | grep -q '\"veltrocrm\"$'"
check "the window has the program's icon" bash -c "xprop -id $main _NET_WM_ICON | grep -aq 'Icon (48 x 48)'"
check "the program runs as the user" test "$(stat -c %u /proc/$client_pid)" = "$user"
logs=$home/.local/state/veltrocrm/log
day=$(date +%Y%m%d)
loaded() { iconv -f UTF-16LE -t UTF-8 "$logs/网页日志$day.txt" 2>/dev/null | grep '演示页面已加载' > /dev/null; }
check "the logs are in the user's state folder" wait_until 10 loaded
check "nothing is written beside the installed program" test ! -e /usr/lib/veltrocrm/log -a ! -e /usr/lib/veltrocrm/pardo.ini
pinned() { grep -qx "45.76.113.2 dead.example $marker" /etc/hosts; }
check "the channel is pinned through the helper" wait_until 40 pinned
check "the firewall step is recorded in the user's config folder" \
  wait_until 5 grep -q '^isAdd=1' "$home/.config/veltrocrm/pardo.ini"
sandboxed() {
  local status
  for status in /proc/[0-9]*/status; do
    grep -q "^Uid:.*\b$user\b" "$status" 2>/dev/null && grep -q '^Seccomp:[[:space:]]*2' "$status" 2>/dev/null && return 0
  done
  return 1
}
sandbox_off() { iconv -f UTF-16LE -t UTF-8 "$logs/软件日志$day.txt" | grep 'engine sandbox off' > /dev/null; }
if sandbox_off; then
  echo "the kernel refuses user namespaces here: the engine's sandbox is off, as logged"
else
  check "the engine's pages run in its sandbox" sandboxed
fi

kill -TERM "$client_pid"
check "SIGTERM ends the client" wait_until 30 bash -c "! kill -0 $client_pid 2>/dev/null"
check "the helper took the pinned line out again" cmp -s /etc/hosts "$work/hosts.before"
check "the helper's own lines are in the user's log" \
  bash -c "iconv -f UTF-16LE -t UTF-8 '$logs/软件日志$day.txt' | grep -q 'hosts helper: hosts file put back'"
check "another program through pkexec is refused" \
  bash -c "! setpriv --reuid=$user --regid=$user --clear-groups -- pkexec /bin/true 2>/dev/null"
check "the helper refuses a hostile pin" \
  bash -c "! setpriv --reuid=$user --regid=$user --clear-groups -- pkexec /usr/lib/veltrocrm/veltrocrm-hosts-helper pin 6.6.6.6 'bank.example
x' 2>/dev/null"
check "the helper refuses to pin a domain that is not the service's" \
  bash -c "! setpriv --reuid=$user --regid=$user --clear-groups -- pkexec /usr/lib/veltrocrm/veltrocrm-hosts-helper pin 6.6.6.6 www.google.com 2>/dev/null"
check "and the file is unchanged" cmp -s /etc/hosts "$work/hosts.before"

if [ "$failures" != 0 ]; then
  echo "--- the program log"; iconv -f UTF-16LE -t UTF-8 "$logs/软件日志$day.txt" | tr -d '\r'
  echo "--- polkitd"; cat "$work/polkitd.out"
fi
check "dpkg removes the package" dpkg -r veltrocrm
check "and nothing of it stays but its settings" test ! -e /usr/lib/veltrocrm -a ! -e "$entry" -a -e /etc/veltrocrm/pinnable-domains
check "dpkg purges the package" dpkg -P veltrocrm
check "and its settings go too" test ! -e /etc/veltrocrm
check "and the package database forgets it" bash -c "! dpkg -s veltrocrm >/dev/null 2>&1"
finish
