#!/usr/bin/env bash
# Runs a project command in a Debian release (12 or 13):
#
#   scripts/in-debian.sh 13 ./scripts/test.sh
#   scripts/in-debian.sh 13 ./scripts/run.sh
#
# On a machine of that release the command simply runs. Elsewhere it runs in a root of that
# release made from Debian's packages with debootstrap and kept in
# $VELTRO_DEBIAN_ROOTS/<release> (/var/cache/veltrocrm-debian by default), entered as root in
# private mount and PID namespaces with this work tree mounted at its own path. Whatever the
# command installs goes into that root; the machine's own /etc and packages stay as they are,
# and everything the command started ends with it. Builds in the root go to build-deb<release>/
# (unless BUILD_DIR says otherwise), so they never mix with this machine's build/.
set -euo pipefail
usage() { echo "usage: scripts/in-debian.sh 12|13 COMMAND [ARGUMENT...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
release=$1
shift
case $release in
  12) suite=bookworm ;;
  13) suite=trixie ;;
  *) usage ;;
esac
if [ "$(. /etc/os-release && echo "${VERSION_ID:-}")" = "$release" ]; then
  exec "$@"
fi
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=DISPLAY,XAUTHORITY,CI,VELTRO_WERROR,BUILD_DIR,VELTRO_DEBIAN_ROOTS,VELTRO_DEBIAN_MIRROR -- "$0" "$release" "$@"
fi

top=$(cd "$(dirname "$0")/.." && pwd)
roots=${VELTRO_DEBIAN_ROOTS:-/var/cache/veltrocrm-debian}
root=$roots/$release
mirror=${VELTRO_DEBIAN_MIRROR:-http://deb.debian.org/debian}

make_root() {
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
  fi
  echo "in-debian.sh: making a Debian $release root in $root (once; about a minute)" >&2
  rm -rf "$root.new"
  debootstrap --variant=minbase "$suite" "$root.new" "$mirror" > "$roots/debootstrap-$release.log" 2>&1 || {
    tail -20 "$roots/debootstrap-$release.log" >&2
    exit 1
  }
  cat > "$root.new/etc/apt/sources.list" <<SOURCES
deb $mirror $suite main
deb $mirror $suite-updates main
deb http://deb.debian.org/debian-security $suite-security main
SOURCES
  # Only a finished root is ever used: a run cut short starts again.
  touch "$root.new/.veltrocrm-root"
  mv "$root.new" "$root"
}

if [ "${VELTRO_IN_DEBIAN:-}" != "$release" ]; then
  mkdir -p "$roots"
  (
    flock 9
    [ -e "$root/.veltrocrm-root" ] || make_root
  ) 9> "$roots/.lock-$release"
  # A PID namespace, so that nothing the command leaves running outlives it.
  # unshare ignores TERM and INT while it waits: a signal to this script
  # ends unshare instead, and with it (--kill-child) everything inside.
  VELTRO_IN_DEBIAN=$release unshare --mount --propagation private --pid --fork --kill-child -- "$0" "$release" "$@" &
  inner=$!
  trap 'kill -KILL "$inner" 2>/dev/null' TERM INT HUP
  status=0
  while :; do
    wait "$inner"
    status=$?
    kill -0 "$inner" 2>/dev/null || break
  done
  exit "$status"
fi

# In the private namespaces: the root is a mount point of its own, so that tests inside may
# unshare again; the work tree, the kernel's file systems and the display are mounted in.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount -t tmpfs -o mode=755 tmpfs "$root/run"
mkdir -p "$root$top"
mount --bind "$top" "$root$top"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
environment=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
  TERM="${TERM:-dumb}" BUILD_DIR="${BUILD_DIR:-build-deb$release}")
[ -z "${CI:-}" ] || environment+=(CI="$CI")
[ -z "${VELTRO_WERROR:-}" ] || environment+=(VELTRO_WERROR="$VELTRO_WERROR")
if [ -n "${DISPLAY:-}" ] && [ -d /tmp/.X11-unix ]; then
  mkdir -p "$root/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  environment+=(DISPLAY="$DISPLAY")
  if [ -n "${XAUTHORITY:-}" ] && [ -r "$XAUTHORITY" ]; then
    cp "$XAUTHORITY" "$root/tmp/.Xauthority"
    environment+=(XAUTHORITY=/tmp/.Xauthority)
  fi
fi
# The caller's folder when it is inside the work tree, else the tree's top.
here=$PWD
case $here in "$top"|"$top"/*) ;; *) here=$top ;; esac
# Not exec: this shell stays the namespace's first process and reaps what the command orphans.
status=0
chroot "$root" /usr/bin/env -i "${environment[@]}" /bin/bash -c 'cd "$1" && shift && exec "$@"' in-debian "$here" "$@" ||
  status=$?
exit "$status"
