#!/usr/bin/env bash
# Builds the Debian package of the player and checks it with lintian:
#   scripts/package.sh [BUILD_DIR]      (default: build-deb)
# A Release build (no tests, no benchmarks) with Debian's compiler and linker
# flags (dpkg-buildflags, all hardening), installed under /usr by CPack; the
# package's Depends come from dpkg-shlibdeps plus what the player loads at
# run time without linking it (cmake/Packaging.cmake). A lintian error fails
# the script; warnings are shown. The last line of the output is the path of
# the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
# Files and folders of the package readable by all, writable by root alone.
umask 022
scripts/deps.sh package

# Debian's flags: fortified functions, stack protector, read-only relocations
# bound at start, source paths mapped away from this folder. Given on every
# configure, so that a build folder made before holds them too. The date of
# the last commit dates the changelog and the files (reproducible).
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
ldflags=$(flags LDFLAGS)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tarn-player_*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log"; exit 1; }
deb=$(realpath "$(ls "$build"/tarn-player_*.deb)")

echo "== lintian"
# Exit status 1 on errors only (the default --fail-on error).
lintian --display-info "$deb" || {
  echo "lintian found errors in $deb" >&2
  exit 1
}
dpkg-deb --field "$deb" Package Version Depends
echo "$deb"
