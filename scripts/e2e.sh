#!/usr/bin/env bash
# The end-to-end suite by itself: installs what it needs, builds the player
# and runs the CTest label e2e (tests/e2e: a private desktop with Xvfb,
# openbox, trayer, a session bus and PulseAudio with a null sink; the cases
# drive the installed player with xdotool and check the windows and the
# sound; the Wayland case starts weston's headless compositor and presses
# the buttons over the accessibility bus; the playback case runs again on a
# second desktop whose sound server is PipeWire, label pipewire). Screenshots,
# recordings and logs: BUILD_DIR/e2e/out/CASE (BUILD_DIR/e2e-pipewire/out/CASE).
#   scripts/e2e.sh [BUILD_DIR] [ctest options, e.g. -R e2e_playback]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
scripts/deps.sh test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tarn-player
cd "$build" && ctest -L e2e --output-on-failure "$@"
