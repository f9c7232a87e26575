#!/usr/bin/env bash
# Installs the Debian 12 packages the player needs. Usage: deps.sh [build|test|e2e|bench]
#   build: compile and run the player
#   test:  also what the test run starts or needs: pulseaudio (the private
#          sound server of the engine tests) and pulseaudio-utils (pactl,
#          parec, to drive and record it), clang and its libFuzzer runtime
#          for the fuzz target, llvm-14 for the symbolizer that names the
#          functions in its reports (only recommended by clang), ffmpeg and
#          sox for the fixtures and checks; dbus-daemon (dbus-run-session, a
#          private session bus), dbus-bin (dbus-send) and playerctl for the
#          desktop media-control tests, desktop-file-utils and appstream to
#          validate the installed desktop and metainfo files
#   e2e:   also the X server, window manager, notification area (trayer) and
#          input and screenshot tools of the end-to-end checks
#   bench: also the players bench/race.sh measures against (Audacious with
#          its GTK and Qt interfaces, Qmmp, mpv with its MPRIS script, VLC)
#          and the Python modules of its driver: D-Bus (the MPRIS requests)
#          and Xlib (waiting for a window to map)
# Quick when everything is there already: nothing is downloaded then.
set -euo pipefail

level=${1:-build}
packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libqt6svg6
          libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
          libsdl2-dev libpulse-dev libmpg123-dev fonts-liberation)
if [[ $level == test || $level == e2e || $level == bench ]]; then
  packages+=(pulseaudio pulseaudio-utils clang libclang-rt-14-dev llvm-14 ffmpeg sox)
  packages+=(dbus-daemon dbus-bin playerctl desktop-file-utils appstream)
fi
if [[ $level == e2e || $level == bench ]]; then
  packages+=(xvfb x11-utils xdotool openbox trayer imagemagick xcompmgr)
fi
if [[ $level == bench ]]; then
  packages+=(audacious audacious-plugins qmmp mpv mpv-mpris vlc python3-dbus python3-xlib)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
