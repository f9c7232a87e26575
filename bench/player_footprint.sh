#!/usr/bin/env bash
# The player's footprint under a private X session and sound server: the time
# from its start to its mapped main window, and, a few seconds into playing
# FILE, its resident memory (VmRSS), proportional set (Pss), the shared
# objects it maps and whether FFmpeg is among them. Prints one line per run
# and the medians.
#   bench/player_footprint.sh PLAYER FILE [RUNS]
# Run it under dbus-run-session (the player offers its desktop controls on
# the session bus). Needs Xvfb, openbox, pulseaudio, pactl and xdotool.
set -euo pipefail
player=$(realpath "$1")
file=$(realpath "$2")
runs=${3:-5}
here=$(dirname "$(realpath "$0")")
source "$here/x_session.sh"

out=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$out"
}
trap cleanup EXIT
start_x_session ":87" "$out"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
startups=() rss=() pss=()
for run in $(seq "$runs"); do
    start=$(date +%s%N)
    "$player" "$file" >/dev/null 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || { echo "the player ended before its window showed"; exit 1; }
        sleep 0.002
    done
    mapped=$((($(date +%s%N) - start) / 1000000))
    sleep 4 # playing by now: the decoder and the output are in their steady state
    playing=$(pactl list short sink-inputs | wc -l)
    vmrss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
    vmpss=$(awk '/^Pss:/ { print $2 }' "/proc/$pid/smaps_rollup")
    objects=$(awk '$6 ~ /\.so/ { print $6 }' "/proc/$pid/maps" | sort -u | wc -l)
    ffmpeg=$(grep -cE 'libav(codec|format|util)|libsw(resample|scale)' "/proc/$pid/maps" || true)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "run $run: window after ${mapped} ms, VmRSS ${vmrss} kB, Pss ${vmpss} kB," \
         "${objects} shared objects, FFmpeg mappings ${ffmpeg}, sound streams ${playing}"
    startups+=("$mapped") rss+=("$vmrss") pss+=("$vmpss")
done
echo "median: window after $(printf '%s\n' "${startups[@]}" | median) ms," \
     "VmRSS $(printf '%s\n' "${rss[@]}" | median) kB, Pss $(printf '%s\n' "${pss[@]}" | median) kB"
