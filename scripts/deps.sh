#!/usr/bin/env bash
# Installs the Debian 12 packages the player needs.
# Usage: deps.sh [build|test|bench|package|e2e-tools]
#   build: compile and run the player (qt6-wayland: its windows in a Wayland
#          session without XWayland)
#   test:  also what the test run starts or needs: pulseaudio (the private
#          sound server of the engine tests) and pulseaudio-utils (pactl,
#          parec, to drive and record it), clang and its libFuzzer runtime
#          for the fuzz target, llvm-14 for the symbolizer that names the
#          functions in its reports (only recommended by clang), ffmpeg and
#          sox for the fixtures and checks; dbus-daemon (dbus-run-session, a
#          private session bus), dbus-bin (dbus-send) and playerctl for the
#          desktop media-control tests, desktop-file-utils and appstream to
#          validate the installed desktop and metainfo files; for the
#          end-to-end suite the X server (xvfb), window manager (openbox),
#          notification area (trayer), X tools (x11-utils: xprop, xwininfo,
#          xmessage), input (xdotool) and screenshots (imagemagick), and the
#          accessibility bus with its Python bindings, through which the cases
#          read the windows' texts (at-spi2-core, gir1.2-atspi-2.0,
#          python3-gi), procps (pgrep), a Wayland compositor with no
#          screen (weston) for the case of a session without X11, and
#          PipeWire with WirePlumber and its PulseAudio service (pipewire,
#          wireplumber, pipewire-pulse; pipewire-bin for pw-metadata) for the
#          cases on a PipeWire desktop
#   e2e:   the same as test (kept for older instructions)
#   bench: also the players bench/race.sh measures against (Audacious with
#          its GTK and Qt interfaces, Qmmp, mpv with its MPRIS script, VLC)
#          and the Python modules of its driver: D-Bus (the MPRIS requests)
#          and Xlib (waiting for a window to map), and xcompmgr
#   e2e-tools: only what the end-to-end suite needs to check a player
#          installed already (tests/e2e with TARN_E2E_PLAYER): cmake and
#          ninja-build for ctest, and the test level's sound server, bus, X and
#          Wayland tools
#   package: build, and what makes and checks the Debian package
#          (scripts/package.sh): dpkg-dev (dpkg-buildflags, dpkg-shlibdeps),
#          file (CPack finds the programs and libraries with it), lintian
# Quick when everything is there already: nothing is downloaded then.
set -euo pipefail

level=${1:-build}
# What the end-to-end suite runs beside the player (see "test" above).
e2e_tools=(pulseaudio pulseaudio-utils ffmpeg sox dbus-daemon dbus-bin playerctl
           desktop-file-utils appstream xvfb x11-utils xdotool openbox trayer imagemagick
           at-spi2-core gir1.2-atspi-2.0 python3-gi procps weston pipewire wireplumber
           pipewire-pulse pipewire-bin)
if [[ $level == e2e-tools ]]; then
  packages=(cmake ninja-build "${e2e_tools[@]}")
else
  packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libqt6svg6
            libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
            libsdl2-dev libpulse-dev libmpg123-dev fonts-liberation qt6-wayland)
fi
if [[ $level == test || $level == e2e || $level == bench ]]; then
  packages+=(clang libclang-rt-14-dev llvm-14 "${e2e_tools[@]}")
fi
if [[ $level == package ]]; then
  packages+=(dpkg-dev file lintian)
fi
if [[ $level == bench ]]; then
  packages+=(audacious audacious-plugins qmmp mpv mpv-mpris vlc python3-dbus python3-xlib
             xcompmgr)
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
