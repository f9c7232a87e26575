#!/usr/bin/env bash
# Checks the Debian package on the Debian 12 it runs on, as a user would meet
# it: installs it with apt (its Depends alone, no Recommends), starts the
# installed player before anything else is installed, checks its menu entry,
# runs the end-to-end suite on /usr/bin/tarn-player, purges the package and
# checks that nothing of it is left.
#   check_package.sh FILE.deb
# It installs and removes packages as root: meant for a throwaway root, the
# copy of a plain Debian 12 that scripts/plain_debian_check.sh package runs
# it in. The end-to-end suite's output stays in /root/tarn-e2e/e2e/out.
set -euo pipefail
deb=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)
export DEBIAN_FRONTEND=noninteractive
fail() { echo "PACKAGE FAIL: $*"; exit 1; }
step() { echo "== $*"; }
player=""
work=$(mktemp -d)
cleanup() { [[ -n $player ]] && kill -KILL "$player" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
desktop=/usr/share/applications/tarn-player.desktop

step "apt install $(basename "$deb")"
apt-get update -q
apt install -y -q --no-install-recommends "$deb"
[[ $(dpkg-query -W -f='${db:Status-Status}' tarn-player) == installed ]] || fail "not installed"
dpkg -L tarn-player >"$work/files"
for f in /usr/bin/tarn-player /usr/share/man/man1/tarn-player.1.gz /usr/share/tarn-player/1016.avi \
         /usr/share/doc/tarn-player/copyright /usr/share/doc/tarn-player/changelog.Debian.gz \
         "$desktop" /usr/share/mime/packages/tarn-player.xml \
         /usr/share/metainfo/org.tarnplayer.TarnPlayer.metainfo.xml; do
  [[ -f $f ]] || fail "$f is not installed"
done

step "the installed player with nothing but its Depends"
# Every program and module of the package finds its libraries.
while read -r f; do
  [[ -f $f && $(head -c 4 "$f" | od -An -tx1 | tr -d ' \n') == 7f454c46 ]] || continue
  missing=$(ldd "$f" | grep 'not found' || true)
  [[ -z $missing ]] || fail "$f: $missing"
done <"$work/files"
# The modules in Debian's multiarch library folder.
modules=$(dirname "$(grep '/tarn-player/libtarn-sdl\.so$' "$work/files")")
[[ $modules == /usr/lib/*-linux-gnu/tarn-player ]] || fail "the modules are in $modules"
[[ $(tarn-player --version) == "Tarn Player "* ]] || fail "--version"
# It plays a WMA file (FFmpeg's module) to SDL's dummy output on Qt's
# offscreen platform: the engine's modules from their installed folder, the
# state files in the per-user data folder, a clean end on SIGTERM.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
data="$HOME/.local/share/Tarn Player/Tarn Player"
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy TARN_AUDIO_OUTPUT=sdl \
  tarn-player "$repo/tests/fixtures/tone440_wmav1.wma" >"$work/player.log" 2>&1 &
player=$!
for m in libtarn-sdl.so libtarn-ffmpeg.so; do
  for _ in $(seq 100); do grep -q "$modules/$m" "/proc/$player/maps" 2>/dev/null && break; sleep 0.1; done
  grep -q "$modules/$m" "/proc/$player/maps" ||
    fail "the player did not load $modules/$m: $(cat "$work/player.log")"
done
for _ in $(seq 100); do [[ -f $data/next2.ini ]] && break; sleep 0.1; done
[[ -f $data/next2.ini ]] || fail "no next2.ini in $data"
kill -TERM "$player"
wait "$player" || fail "the player did not end cleanly on SIGTERM: $(cat "$work/player.log")"
player=""

step "the menu entry"
apt-get install -y -q --no-install-recommends desktop-file-utils shared-mime-info appstream
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.tarnplayer.TarnPlayer.metainfo.xml ||
  fail "appstreamcli validate"
program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ $(command -v "$program") == /usr/bin/tarn-player ]] || fail "Exec=$program is not the installed player"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f /usr/share/icons/hicolor/scalable/apps/$icon.svg && -f /usr/share/icons/hicolor/48x48/apps/$icon.png ]] ||
  fail "no icon $icon in the hicolor theme"
# The desktop's caches, made by the triggers: the file types the entry opens
# (the playlist type among them) and the playlist type itself.
grep -q '^application/x-tarn-playlist=.*tarn-player.desktop' /usr/share/applications/mimeinfo.cache ||
  fail "mimeinfo.cache does not offer the player for .TPL files"
[[ -f /usr/share/mime/application/x-tarn-playlist.xml ]] || fail "the MIME database lacks .TPL playlists"

step "the end-to-end suite on /usr/bin/tarn-player"
"$repo/scripts/deps.sh" e2e-tools
e2e_status=0
cmake -S "$repo/tests/e2e" -B /root/tarn-e2e -G Ninja -DTARN_E2E_PLAYER=/usr/bin/tarn-player >/dev/null
(cd /root/tarn-e2e && ctest -L e2e --output-on-failure) || e2e_status=$?

step "apt purge tarn-player"
apt purge -y -q tarn-player
[[ $(dpkg-query -W -f='${db:Status-Status}' tarn-player 2>/dev/null || true) =~ ^(not-installed)?$ ]] ||
  fail "dpkg still knows tarn-player: $(dpkg -s tarn-player | grep Status)"
left=()
while read -r f; do
  # Shared folders (/usr/share/applications) stay; the package's own go.
  if [[ -e $f && (! -d $f || $f == */tarn-player || $f == */tarn-player/*) ]]; then left+=("$f"); fi
done <"$work/files"
((${#left[@]} == 0)) || fail "left after purge: ${left[*]}"
! grep -q tarn-player /usr/share/applications/mimeinfo.cache || fail "mimeinfo.cache still names the player"
[[ ! -e /usr/share/mime/application/x-tarn-playlist.xml ]] || fail "the MIME database keeps .TPL playlists"
echo "nothing of tarn-player is left"

((e2e_status == 0)) || fail "end-to-end cases failed on the installed player (output in /root/tarn-e2e/e2e/out)"
echo "package checks passed"
