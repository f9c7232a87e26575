#!/bin/bash
# Engine benchmarks. Results and how to read them: bench/README.md.
#
#   bench/run.sh [BUILD_DIR] [all|cpu|pulse|gap|pulsegap|latency|machine]
#
# BUILD_DIR (default build) must hold tarn-engine-play and the bench_engine_*
# programs (ninja tarn-engine-play bench/all). Parts:
#   cpu      3-minute 192 kbit/s MP3 in real time on SDL's dummy driver, set
#            against the floor (decode + resample as fast as possible), same run
#   pulse    the same file through a private PulseAudio server into a null
#            sink: CPU seconds per minute, resident and proportional memory
#   gap      silence at 10 automatic advances, on the disk driver's output
#   latency  Play() to first sample handed to the device (dummy and PulseAudio)
#   pulsegap silence at 10 advances, recorded from the PulseAudio null sink's monitor
#   machine  CPU per timer wake-up; decoding in one go against decoding in bursts
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
part=${2:-all}
player=$build/src/tarn-engine-play
monitor=$here/play_monitor.py
export TARN_FIXTURES=$root/tests/fixtures
export SDL_NO_SIGNAL_HANDLERS=1

work=$(mktemp -d /tmp/tarn-bench.XXXXXX)
pulse_pid=
cleanup() {
    if [ -n "$pulse_pid" ]; then
        kill "$pulse_pid" 2>/dev/null || true
        wait "$pulse_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Three minutes of music-like stereo sound (two moving tones over pink noise),
# encoded at 192 kbit/s CBR: made here, never committed.
song=$work/song.mp3
make_song() {
    ffmpeg -nostdin -v error -y \
        -f lavfi -i "aevalsrc=0.3*sin(2*PI*220*t)*sin(2*PI*0.5*t)|0.2*sin(2*PI*330*t+sin(2*PI*5*t)):s=44100:d=180" \
        -f lavfi -i "anoisesrc=color=pink:amplitude=0.1:d=180:r=44100" \
        -filter_complex "[1]pan=stereo|c0=c0|c1=c0[n];[0][n]amix=inputs=2:normalize=0" \
        -c:a libmp3lame -b:a 192k "$song"
}

# A PulseAudio server of our own with a null sink as its only (default) sink,
# so nothing is heard and no desktop session is needed.
start_pulse() {
    mkdir -p "$work/pulse"
    export PULSE_RUNTIME_PATH=$work/pulse XDG_RUNTIME_DIR=$work/pulse
    export PULSE_SERVER=unix:$work/pulse/native
    pulseaudio --daemonize=no -n --exit-idle-time=-1 --use-pid-file=no \
        --load="module-null-sink sink_name=tarn_null" \
        --load="module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
        >"$work/pulse/log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "PulseAudio did not start:" >&2
    cat "$work/pulse/log" >&2
    return 1
}

pulse_cpu() { # CPU seconds the server has used so far
    awk '{ printf "%.3f\n", ($14 + $15) / '"$(getconf CLK_TCK)"' }' "/proc/$pulse_pid/stat"
}

run_cpu() {
    echo "== cpu: real-time playback on the dummy driver vs. the floor"
    "$build/bench/bench_engine_decode_floor" "$song" 5
    # The same floor as a whole process, start-up (loading the libraries) included,
    # as the playback's figure is.
    python3 "$monitor" --label floor-process -- "$build/bench/bench_engine_decode_floor" "$song" 1 \
        >"$work/floor-process.txt"
    head -1 "$work/floor-process.txt"
    SDL_AUDIODRIVER=dummy python3 "$monitor" --label dummy --memory-at 60 -- "$player" "$song"
}

run_pulse() {
    echo "== pulse: playback into a null sink"
    start_pulse
    local before after
    before=$(pulse_cpu)
    SDL_AUDIODRIVER=pulseaudio python3 "$monitor" --label pulse --memory-at 60 -- "$player" "$song"
    after=$(pulse_cpu)
    echo "[pulse] the server itself used $(awk "BEGIN { printf \"%.3f\", $after - $before }") CPU s meanwhile"
}

# Eleven loud files (a 500 or 750 Hz tone on a 0.3 offset, never below 0.1)
# of 1.000 s plus k x 17.3 ms, so that each ends at another point of the
# device's period, as real files do.
gap_files=()
make_gap_files() {
    local k f
    for k in $(seq 0 10); do
        f=$work/gap_$k.wav
        ffmpeg -nostdin -v error -y -f lavfi \
            -i "aevalsrc=0.3+0.2*sin(2*PI*$([ $((k % 2)) = 0 ] && echo 500 || echo 750)*t):s=48000:d=$(awk "BEGIN { print 1 + $k * 0.0173 }")" \
            -c:a pcm_s16le "$f"
        gap_files+=("$f")
    done
}

run_gap() {
    echo "== gap: silence at the automatic advance (disk driver, real time)"
    [ ${#gap_files[@]} -gt 0 ] || make_gap_files
    "$build/bench/bench_engine_gap" "${gap_files[@]}"
}

run_pulsegap() {
    echo "== pulsegap: silence at the automatic advance, recorded from a PulseAudio null sink"
    [ -n "$pulse_pid" ] || start_pulse
    [ ${#gap_files[@]} -gt 0 ] || make_gap_files
    local rate
    rate=$(pactl list short sinks | awk '$2 == "tarn_null" { for (i = 3; i <= NF; i++) if ($i ~ /Hz$/) { sub("Hz", "", $i); print $i } }')
    parec --device=tarn_null.monitor --format=float32le --channels=2 --rate="$rate" \
        --raw >"$work/gap.raw" &
    local rec=$!
    sleep 0.5
    SDL_AUDIODRIVER=pulseaudio "$player" "${gap_files[@]}" >/dev/null
    sleep 0.5 # what PulseAudio still holds
    kill "$rec"
    wait "$rec" 2>/dev/null || true
    python3 "$here/quiet_runs.py" "$work/gap.raw" "$rate" 2
}

run_machine() {
    echo "== machine: CPU a timer wake-up costs, and decoding spread over time"
    "$build/bench/bench_engine_wake_cost" 21333 500 # one wake-up per 1024 frames at 48 kHz
    "$build/bench/bench_engine_wake_cost" 85333 150
    # The three mostly sleep, so they run side by side.
    local b
    for b in 0 0.35 2; do
        "$build/bench/bench_engine_decode_paced" "$song" "$b" 60 >"$work/paced_$b.txt" &
    done
    wait
    cat "$work"/paced_*.txt
}

run_latency() {
    echo "== latency: Play() to first sample handed to the device"
    echo "-- dummy driver"
    SDL_AUDIODRIVER=dummy "$build/bench/bench_engine_latency" "$TARN_FIXTURES/tone440_cbr128_id3.mp3" 60
    echo "-- PulseAudio null sink"
    [ -n "$pulse_pid" ] || start_pulse
    SDL_AUDIODRIVER=pulseaudio "$build/bench/bench_engine_latency" "$TARN_FIXTURES/tone440_cbr128_id3.mp3" 60
}

# The machine's load changes what real-time figures mean; print it with them.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
trap 'echo "load average: $(cut -d" " -f1-3 /proc/loadavg)"; cleanup' EXIT

case "$part" in
cpu) make_song && run_cpu ;;
pulse) make_song && run_pulse ;;
gap) run_gap ;;
latency) run_latency ;;
pulsegap) run_pulsegap ;;
machine) make_song && run_machine ;;
all) make_song && run_cpu && run_pulse && run_gap && run_pulsegap && run_latency && run_machine ;;
*) echo "unknown part: $part" >&2 && exit 2 ;;
esac
