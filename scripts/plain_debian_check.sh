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
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${1:-$repo/../chroot-bookworm}")
mirror=${TARN_MIRROR:-http://deb.debian.org/debian}
[[ $(id -u) -eq 0 ]] || { echo "run as root (debootstrap, chroot, mounts)" >&2; exit 1; }
[[ $root/ == "$repo"/* ]] && { echo "ROOT must be outside the repository" >&2; exit 1; }

if [[ ! -x $root/usr/bin/apt-get || -d $root/debootstrap ]]; then
  command -v debootstrap >/dev/null || apt-get install -y -q --no-install-recommends debootstrap
  echo "== debootstrap bookworm into $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror"
  # The sources of a freshly installed Debian 12: the release, its updates and security.
  cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
  # Packages installed in the chroot must not start daemons on this machine.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
unmount_all() {
  # Lazily: a sound server left by a test that died may still hold /dev.
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" || true; done
}
trap unmount_all EXIT
for d in /proc /sys /dev /dev/pts; do
  if ! mountpoint -q "$root$d"; then
    mount --bind "$d" "$root$d"
    mounted+=("$root$d")
  fi
done

if [[ -d $root/root/tarn/.git ]]; then
  # The clone is a copy under test only: it follows the branch exactly.
  git -C "$root/root/tarn" fetch -q origin HEAD
  git -C "$root/root/tarn" reset -q --hard FETCH_HEAD
else
  git clone -q "$repo" "$root/root/tarn"
fi
echo "== testing $(git -C "$root/root/tarn" log -1 --format='%h %s')"

env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" TARN_QUICK="${TARN_QUICK:-0}" \
  chroot "$root" /bin/bash -c 'cd /root/tarn && time scripts/test.sh'
