#!/bin/bash
# CPU of the main window over 60 s, idle and while playing, under Xvfb with
# SDL's dummy sound driver. Results and how to read them: bench/README.md.
#
#   bench/ui_window_cpu.sh [BUILD_DIR] [SECONDS]
#
# BUILD_DIR (default build) must hold src/tarn-player. The file played is a
# 150 s stereo MP3 at 192 kbit/s made here. It is added with Ctrl+A through
# the Add dialog and started with the Play hot spot, as a user would.
# Screenshots of both phases are left in $TARN_BENCH_OUT (default
# /tmp/tarn-bench-window).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-60}
out=${TARN_BENCH_OUT:-/tmp/tarn-bench-window}
source "$here/x_session.sh"
rm -rf "$out"
mkdir -p "$out/home"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*220*t)|0.3*sin(2*PI*330*t):s=44100:d=150" \
    -c:a libmp3lame -b:a 192k "$out/song.mp3"

export DISPLAY=${TARN_BENCH_DISPLAY:-:58}
export HOME=$out/home XDG_CONFIG_HOME=$out/home/.config XDG_CURRENT_DESKTOP=none
export TARN_AUDIO_OUTPUT=sdl SDL_AUDIODRIVER=dummy SDL_NO_SIGNAL_HANDLERS=1
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & pids+=($!); fi

"$build/src/tarn-player" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || { echo "the main window did not appear" >&2; exit 1; }
sleep 2

cpu() { awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / tck }' "/proc/$player/stat"; }
measure() { # label: CPU seconds used over $seconds of wall time
    local before after
    before=$(cpu)
    sleep "$seconds"
    after=$(cpu)
    awk -v l="$1" -v a="$before" -v b="$after" -v s="$seconds" \
        'BEGIN { printf "%-8s %.2f CPU s in %d s (%.2f %% of one core)\n", l, b - a, s, 100 * (b - a) / s }'
}

measure idle
import -window root "$out/idle.png"

xdotool windowactivate --sync "$win" key ctrl+a
sleep 1.5
xdotool type --delay 10 "$out/song.mp3"
xdotool key Return
sleep 1
click_hot_spot "$win" 720 # Play
sleep 2
measure playing
import -window root "$out/playing.png"
