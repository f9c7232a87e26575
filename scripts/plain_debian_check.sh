#!/usr/bin/env bash
# Runs the test command on a plain Debian 12 root that has nothing but what
# scripts/deps.sh installs, so a package the tests need and deps.sh misses
# fails here even when this machine has it.
#   sudo scripts/plain_debian_check.sh [ROOT]             full scripts/test.sh
#   sudo TARN_QUICK=1 scripts/plain_debian_check.sh [ROOT] normal build only
# ROOT (default: chroot-bookworm next to the repository, never inside it) is
# made once with debootstrap (minbase: the required packages and apt only),
# then reused. The repository's committed branch is cloned into ROOT/root/tarn,
# or fetched when cloned already; uncommitted changes are not tested. The test
# command runs in the chroot as root with a clean environment. Needs root, a
# Debian host, and the network. TARN_MIRROR chooses the Debian mirror.
# For a fresh root, delete ROOT while nothing is mounted under it (findmnt).
#
# The Debian package the same way:
#   sudo scripts/plain_debian_check.sh package [FILE.deb] [ROOT]
# builds the package with scripts/package.sh (or takes FILE.deb) and runs
# tests/install/check_package.sh in a fresh copy, ROOT.check, of a plain
# root (default ROOT: chroot-deb next to the repository) that is never
# changed itself: apt install of the package, the installed player and its
# menu entry, the end-to-end suite on /usr/bin/tarn-player, apt purge and
# nothing left. Downloaded packages are kept in ROOT.apt for the next run;
# ROOT.check stays for a look until the next run.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
mode=test deb=""
if [[ ${1:-} == package ]]; then
  mode=package
  shift
  if [[ ${1:-} == *.deb ]]; then
    deb=$(realpath "$1")
    shift
    [[ -f $deb ]] || { echo "no package $deb" >&2; exit 1; }
  fi
fi
default_root=chroot-bookworm
[[ $mode == package ]] && default_root=chroot-deb
root=$(realpath -m "${1:-$repo/../$default_root}")
mirror=${TARN_MIRROR:-http://deb.debian.org/debian}
[[ $(id -u) -eq 0 ]] || { echo "run as root (debootstrap, chroot, mounts)" >&2; exit 1; }
[[ $root/ == "$repo"/* ]] && { echo "ROOT must be outside the repository" >&2; exit 1; }

if [[ ! -x $root/usr/bin/apt-get || -d $root/debootstrap ]]; then
  command -v debootstrap >/dev/null || apt-get install -y -q --no-install-recommends debootstrap
  echo "== debootstrap bookworm into $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
# The sources of a freshly installed Debian 12: the release, its updates and security.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
# Packages installed in the chroot must not start daemons on this machine.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
unmount_all() {
  # Lazily: a sound server left by a test that died may still hold /dev.
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" || true; done
  mounted=()
}
trap unmount_all EXIT
mount_into() { # root: the machine's /proc, /sys and /dev for the chroot
  local d
  for d in /proc /sys /dev /dev/pts; do
    if ! mountpoint -q "$1$d"; then
      mount --bind "$d" "$1$d"
      mounted+=("$1$d")
    fi
  done
}
clone_into() { # root: the committed branch in ROOT/root/tarn
  if [[ -d $1/root/tarn/.git ]]; then
    # The clone is a copy under test only: it follows the branch exactly.
    git -C "$1/root/tarn" fetch -q origin HEAD
    git -C "$1/root/tarn" reset -q --hard FETCH_HEAD
  else
    git clone -q "$repo" "$1/root/tarn"
  fi
  echo "== testing $(git -C "$1/root/tarn" log -1 --format='%h %s')"
}
in_chroot() { # root, command: run as root there with a clean environment
  env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM="${TERM:-dumb}" TARN_QUICK="${TARN_QUICK:-0}" \
    chroot "$1" /bin/bash -c "$2"
}

if [[ $mode == test ]]; then
  mount_into "$root"
  clone_into "$root"
  in_chroot "$root" 'cd /root/tarn && time scripts/test.sh'
  exit 0
fi

if [[ -z $deb ]]; then
  echo "== scripts/package.sh"
  "$repo/scripts/package.sh" | tee "$root.package.log"
  deb=$(tail -1 "$root.package.log")
fi
check=$root.check
# Never delete through a mount of the machine's own /dev or /proc.
if findmnt -rn -o TARGET | grep -q "^$check/"; then
  echo "something is mounted under $check (findmnt): unmount it first" >&2
  exit 1
fi
echo "== a fresh copy of $root in $check"
rm -rf "$check"
cp -a "$root" "$check"
mount_into "$check"
mkdir -p "$root.apt"
mount --bind "$root.apt" "$check/var/cache/apt/archives"
mounted+=("$check/var/cache/apt/archives")
clone_into "$check"
cp "$deb" "$check/root/"
in_chroot "$check" "time /root/tarn/tests/install/check_package.sh /root/$(basename "$deb")"
