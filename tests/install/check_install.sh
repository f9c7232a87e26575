#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop would:
# the files in their FHS places, desktop-file-validate and appstreamcli on the
# desktop and metainfo files, and a start of the installed player, which keeps
# its state files in the per-user data folder, not beside itself.
# Usage: check_install.sh BUILD_DIR (run under dbus-run-session by CTest).
set -euo pipefail
build=$1
work=$(mktemp -d)
player=""
cleanup() { [[ -n $player ]] && kill "$player" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "INSTALL FAIL: $*"; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/tarn-player share/applications/tarn-player.desktop \
         share/metainfo/org.tarnplayer.TarnPlayer.metainfo.xml \
         share/mime/packages/tarn-player.xml share/man/man1/tarn-player.1.gz \
         share/icons/hicolor/scalable/apps/tarn-player.svg \
         share/icons/hicolor/{16x16,32x32,48x48,128x128}/apps/tarn-player.png; do
  [[ -f $prefix/$f ]] || fail "$f is not installed"
done
[[ -d $prefix/share/tarn-player ]] || fail "no data folder share/tarn-player"
# Debian's documents go into the package (cpack), not into a plain install.
[[ ! -e $prefix/share/doc/tarn-player ]] || fail "a plain install has Debian's share/doc/tarn-player"
cmake --install "$build" --component debian --prefix "$work/deb" >/dev/null
gzip -t "$work/deb/share/doc/tarn-player/changelog.Debian.gz" &&
  [[ -f $work/deb/share/doc/tarn-player/copyright ]] || fail "the package's copyright and changelog"
# The engine's modules, where the player looks for them relative to itself.
for m in libtarn-ffmpeg.so libtarn-pulse.so libtarn-sdl.so; do
  module=$(find "$prefix" -path "*/tarn-player/$m" -type f | head -1)
  [[ -n $module && $(realpath --relative-to="$prefix/bin" "$(dirname "$module")") == ../lib*/tarn-player ]] ||
    fail "$m is not installed in lib/.../tarn-player"
done
# No installed file names the build tree: a player that looked there for code
# would run whatever another user put in its place once the build is moved or
# gone. Debug information aside; source file names in assertion and sanitiser
# messages are only text.
build_abs=$(realpath "$build")
while IFS= read -r -d '' f; do
  objcopy --strip-debug "$f" "$work/stripped" 2>/dev/null || cp "$f" "$work/stripped"
  named=$(strings -a "$work/stripped" | grep -F "$build_abs" | grep -cvE '\.(c|cc|cpp|h|hpp)$' || true)
  [[ $named == 0 ]] || fail "${f#"$prefix"/} names the build tree: $(strings -a "$work/stripped" |
    grep -F "$build_abs" | grep -vE '\.(c|cc|cpp|h|hpp)$' | head -3)"
done < <(find "$prefix" -type f -print0)
# The visualisation's video goes with the program once the build has it.
[[ ! -f $build/src/1016.avi || -f $prefix/share/tarn-player/1016.avi ]] || fail "1016.avi is not installed"
desktop-file-validate "$prefix/share/applications/tarn-player.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.tarnplayer.TarnPlayer.metainfo.xml" \
  >/dev/null || fail "appstreamcli validate"
grep -qx 'Exec=tarn-player %F' "$prefix/share/applications/tarn-player.desktop" || fail "Exec line"

# A start from the prefix: the flag files appear in the per-user data folder.
# The player finds its modules itself; a module beside the executable (where
# a bin folder shared with other programs may hold anything) is not taken.
unset TARN_CODEC_MODULE TARN_PULSE_MODULE TARN_SDL_MODULE
cp "$(find "$prefix" -path "*/tarn-player/libtarn-sdl.so")" "$prefix/bin/"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy TARN_AUDIO_OUTPUT=sdl
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
[[ $("$prefix/bin/tarn-player" --version) == "Tarn Player "* ]] || fail "--version"
wma=$(dirname "$0")/../fixtures/tone440_wmav1.wma
"$prefix/bin/tarn-player" "$(realpath "$wma")" & player=$!
data="$XDG_DATA_HOME/Tarn Player/Tarn Player"
for _ in $(seq 50); do [[ -f $data/next2.ini ]] && break; sleep 0.1; done
[[ -f $data/next2.ini ]] || fail "no next2.ini in the per-user data folder $data"
[[ -e $prefix/bin/next2.ini ]] && fail "the installed player wrote next2.ini beside itself"
# The engine loads its output at start, and FFmpeg's module for the WMA file
# it was given: the installed modules, not the build's nor the one in bin/.
for m in libtarn-sdl.so libtarn-ffmpeg.so; do
  for _ in $(seq 50); do grep -q "$m" "/proc/$player/maps" && break; sleep 0.1; done
  grep -q "$(realpath "$prefix")/lib.*/tarn-player/$m" "/proc/$player/maps" ||
    fail "the installed player did not load its installed $m"
  grep "$m" "/proc/$player/maps" | grep -qv "$(realpath "$prefix")/lib.*/tarn-player/$m" &&
    fail "the installed player loaded another $m: $(grep "$m" "/proc/$player/maps" | head -1)"
done
kill -TERM "$player"; wait "$player" || fail "the player did not end cleanly on SIGTERM"
player=""
[[ -f $data/rep.ini ]] || fail "Exit did not write rep.ini to the data folder"
echo "install checks passed"
