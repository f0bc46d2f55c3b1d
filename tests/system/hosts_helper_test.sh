#!/usr/bin/env bash
# The root helper as anyone allowed to run it could start it, the way
# pkexec passes on what it is given: a file size limit with its signal
# ignored, a standard error that is a full pipe, kill -9 at every step of
# a rewrite of a bind-mounted /etc/hosts, a linked /etc/hosts, answers
# that are no service's address, a pinned name sharing a line with others.
# In a private mount namespace with /etc behind an overlay and /run empty.
# Usage: hosts_helper_test.sh HELPER
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces strace -- "$@"
helper=$1

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; umount /etc/hosts 2>/dev/null; umount /etc 2>/dev/null; umount /run 2>/dev/null; rm -rf "$work"' EXIT
mount --make-rprivate /
private_etc_and_run
mkdir -p /etc/veltrocrm
printf 'example\n' > /etc/veltrocrm/pinnable-domains
marker='# VeltroCRM channel pin'
original=$(printf '127.0.0.1\tlocalhost\n127.0.1.1\tdesk\n10.1.1.1 files.corp crm.example # shared\n')$'\n'
pinned=$(printf '127.0.0.1\tlocalhost\n127.0.1.1\tdesk\n10.1.1.1 files.corp # shared\n45.76.113.2 crm.example %s\n' "$marker")$'\n'
reset_hosts() { rm -f /etc/hosts; printf '%s' "$original" > /etc/hosts; }
is() { cmp -s /etc/hosts <(printf '%s' "$1"); }
# whole: what the file holds is the old or the new text, perhaps followed by
# empty lines: never empty, never a piece of a line.
whole() {
  local text
  text=$(cat /etc/hosts)
  [ "$text" = "${original%$'\n'}" ] || [ "$text" = "${pinned%$'\n'}" ]
}
resolves() { test "$(getent hosts "$1" | awk '{print $1}')" = "$2"; }

# Pinned: only the pinned name leaves the shared line, the other still
# resolves; unpinned, the line is whole again.
reset_hosts
check "a pin is taken" "$helper" pin 45.76.113.2 crm.example
check "the file holds the pin and the rest of the shared line" is "$pinned"
check "the pinned name resolves to the pin" resolves crm.example 45.76.113.2
check "the other name of its line still resolves" resolves files.corp 10.1.1.1
check "unpin" "$helper" unpin
check "the shared line is whole again" is "$original"

# Only addresses a hosted service can have.
for address in 127.0.0.1 0.0.0.0 255.255.255.255 224.0.0.1 169.254.1.1 10.0.0.1 192.168.1.1 \
  192.0.2.1 198.51.100.7 203.0.113.2 192.88.99.1; do
  "$helper" pin "$address" crm.example 2> "$work/errors"
  check "$address is refused" test $? = 2
  check "and the refusal says why" grep -q "not an address a service can have: $address crm.example" "$work/errors"
done
check "none of them changed the file" is "$original"

# A file size limit with its signal ignored once emptied the file for good.
for limit in 0 1; do
  reset_hosts
  (trap '' XFSZ; ulimit -f "$limit"; "$helper" pin 45.76.113.2 crm.example 2> "$work/errors")
  check "under 'ulimit -f $limit' the pin is taken or refused whole" whole
  (trap '' XFSZ; ulimit -f "$limit"; "$helper" unpin 2>> "$work/errors")
  check "and the unpin leaves the file as it was" is "$original"
done
grep -h . "$work/errors" | sort -u | sed 's/^/  helper said: /'

# A standard error nobody reads, full: the helper ends anyway and lets the
# lock go at once.
reset_hosts
mkfifo "$work/full"
exec 3<> "$work/full"
head -c 1000000 /dev/zero >&3 &
filler=$!
started=$SECONDS
timeout 20 "$helper" pin 45.76.113.2 crm.example 2>&3
check "with a full standard error the helper still pins and ends" test $? = 0
timeout 20 "$helper" unpin 2>&3
check "a second helper is not held up" test $? = 0
check "within seconds" test $((SECONDS - started)) -lt 10
check "and the file is as it was" is "$original"
kill "$filler" 2>/dev/null
exec 3>&-

# A link: written through, still a link afterwards.
rm -f /etc/hosts
printf '%s' "$original" > /etc/hosts.real
ln -s hosts.real /etc/hosts
check "a pin through a linked hosts file" "$helper" pin 45.76.113.2 crm.example
check "leaves the link a link" test -L /etc/hosts
check "and pins in the file it leads to" cmp -s /etc/hosts.real <(printf '%s' "$pinned")
"$helper" unpin
check "the unpin too" bash -c "test -L /etc/hosts && cmp -s /etc/hosts.real <(printf '%s' \"\$1\")" _ "$original"
rm -f /etc/hosts /etc/hosts.real

# A bind-mounted file (a container's): rewritten in place. kill -9 at every
# file operation of a pin and of an unpin: the file is always whole, and
# the next run leaves it exactly as it should be.
printf '%s' "$original" > "$work/mounted"
touch /etc/hosts
mount --bind "$work/mounted" /etc/hosts
check "a mounted file is pinned in place" "$helper" pin 45.76.113.2 crm.example
check "with the pinned text" is "$pinned"
check "and is still the mount" mountpoint -q /etc/hosts
"$helper" unpin
check "and put back" is "$original"
broken=0 steps=0
for command in pin unpin; do
  for call in openat write pwrite64 fsync ftruncate rename unlink close; do
    n=1
    while :; do
      if [ "$command" = pin ]; then printf '%s' "$original" > /etc/hosts; else "$helper" pin 45.76.113.2 crm.example 2>/dev/null; fi
      if [ "$command" = pin ]; then arguments=(pin 45.76.113.2 crm.example); else arguments=(unpin); fi
      # In a subshell: the shell says nothing of the kill.
      status=$(strace -o /dev/null -e trace="$call" -e inject="$call:signal=KILL:when=$n" "$helper" "${arguments[@]}" \
        > /dev/null 2>&1; echo $?)
      steps=$((steps + 1))
      whole || { broken=$((broken + 1)); echo "  not whole after kill at $command/$call #$n:"; od -c /etc/hosts | head -5; }
      "$helper" unpin 2>/dev/null
      is "$original" || { broken=$((broken + 1)); echo "  not put back after kill at $command/$call #$n"; }
      # A run that ended by itself made fewer such calls: the next one.
      [ "$status" -ge 128 ] || break
      n=$((n + 1))
    done
  done
done
echo "killed at $steps steps"
check "kill -9 at every step leaves the mounted file whole and the next run puts it right" test "$broken" = 0
check "and that was many steps" test "$steps" -gt 40
umount /etc/hosts
finish
