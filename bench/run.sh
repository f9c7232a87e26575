#!/bin/bash
# Engine benchmarks. Results and how to read them: bench/README.md.
#
#   bench/run.sh [BUILD_DIR] [all|cpu|pulse|gap|pulsegap|latency|sinklatency|
#                             deadlist|wakeups|machine]
#
# BUILD_DIR (default build) must hold tarn-engine-play, tarn-player and the
# bench programs (ninja tarn-engine-play tarn-player bench/all). Parts:
#   cpu      3-minute 192 kbit/s MP3 in real time on SDL's dummy driver, set
#            against the floor (decode + resample as fast as possible), same run
#   pulse    the same file through a private PulseAudio server into a null
#            sink for 170 s: CPU seconds per minute, resident and proportional
#            memory; the server's wake-ups while it plays and while it is paused
#   gap      silence at 10 automatic advances, on the disk driver's output
#   latency  Play() to first sample handed to the output (dummy and PulseAudio)
#   pulsegap silence at 10 advances, recorded from the PulseAudio null sink's monitor
#   sinklatency  Play, Pause, resume, seek and volume: request to the change
#            heard at the null sink (recorded from its monitor)
#   deadlist the window over a playlist of one playable file and 32766
#            missing ones: its longest stall, and its CPU once the advance gave up
#   wakeups  the whole player (window, engine, output) under Xvfb, idle,
#            playing, paused and stopped: wake-ups per second of each thread,
#            and of the sound server
#   machine  CPU per timer wake-up; decoding in one go against decoding in bursts
#
# Everything that plays through PulseAudio runs with TARN_AUDIO_OUTPUT=pulse
# and SDL_AUDIODRIVER=pulseaudio, so that an engine that has its own
# PulseAudio output uses it and one that has only SDL uses SDL's.
# TARN_BENCH_OUTPUT=sdl makes the engine use SDL's PulseAudio driver instead.
# What plays on SDL's dummy driver says TARN_AUDIO_OUTPUT=sdl: the engine
# takes the SDL output only when asked to.
# A player that does not end in time is stopped (timeout) and says so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
part=${2:-all}
player=$build/src/tarn-engine-play
monitor=$here/play_monitor.py
source "$here/x_session.sh"
source "$here/media.sh"
export TARN_FIXTURES=$root/tests/fixtures
export SDL_NO_SIGNAL_HANDLERS=1
# The bench programs live apart from the engine's modules, which a program
# finds only beside itself or in its installed library folder.
export TARN_CODEC_MODULE=$build/src/libtarn-ffmpeg.so TARN_PULSE_MODULE=$build/src/libtarn-pulse.so \
  TARN_SDL_MODULE=$build/src/libtarn-sdl.so

work=$(mktemp -d /tmp/tarn-bench.XXXXXX)
pulse_pid=
x_pids=()
pulse_env=(env TARN_AUDIO_OUTPUT="${TARN_BENCH_OUTPUT:-pulse}" SDL_AUDIODRIVER=pulseaudio)
cleanup() {
    local p
    for p in "${x_pids[@]}" $pulse_pid; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Three minutes of music-like sound, 192 kbit/s CBR (bench/media.sh).
song=$work/song.mp3
make_song() { make_music "$song"; }

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

# Xvfb on a free display, with openbox when it is installed.
start_x() {
    local n
    for n in $(seq 70 99); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    export DISPLAY=:$n
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    x_pids+=($!)
    for _ in $(seq 50); do
        xwininfo -root >/dev/null 2>&1 && break
        sleep 0.1
    done
    if command -v openbox >/dev/null; then
        openbox >/dev/null 2>&1 &
        x_pids+=($!)
    fi
    sleep 1
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
    TARN_AUDIO_OUTPUT=sdl SDL_AUDIODRIVER=dummy python3 "$monitor" --label dummy --memory-at 60 -- "$player" "$song"
}

run_pulse() {
    echo "== pulse: playback into a null sink"
    [ -n "$pulse_pid" ] || start_pulse
    local before after
    before=$(pulse_cpu)
    # The first 170 s: a player whose end goes wrong (one that never reports
    # it and spins meanwhile) is measured on its playback all the same.
    "${pulse_env[@]}" python3 "$monitor" --label pulse --memory-at 60 --timeout 170 -- "$player" "$song" &
    local run=$!
    # The server's wake-ups while the file plays, 60 to 90 s in.
    sleep 60
    python3 "$here/thread_wakeups.py" --label playing --seconds 30 pulseaudio="$pulse_pid"
    wait "$run" || true # the monitor has said what went wrong
    after=$(pulse_cpu)
    echo "[pulse] the server itself used $(awk "BEGIN { printf \"%.3f\", $after - $before }") CPU s meanwhile"
    echo "-- paused: the same file paused 5 s in; player and server over 30 s of the pause"
    "${pulse_env[@]}" "$player" --pause-at 5:60 "$song" >"$work/paused.txt" &
    run=$!
    sleep 10
    python3 "$here/thread_wakeups.py" --label paused --seconds 30 \
        tarn-engine-play="$run" pulseaudio="$pulse_pid"
    kill "$run"
    wait "$run" 2>/dev/null || true
    grep -q pause "$work/paused.txt" || { echo "the player did not pause:" >&2; cat "$work/paused.txt" >&2; }
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
    "${pulse_env[@]}" timeout 60 "$player" "${gap_files[@]}" >"$work/pulsegap.txt" ||
        echo "the player did not end in time: $(tail -1 "$work/pulsegap.txt")"
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
    TARN_AUDIO_OUTPUT=sdl SDL_AUDIODRIVER=dummy "$build/bench/bench_engine_latency" "$TARN_FIXTURES/tone440_cbr128_id3.mp3" 60
    echo "-- PulseAudio null sink"
    [ -n "$pulse_pid" ] || start_pulse
    "${pulse_env[@]}" "$build/bench/bench_engine_latency" "$TARN_FIXTURES/tone440_cbr128_id3.mp3" 60
}

# A minute at the sink's rate: a 440 Hz tone on the left, on the right a level
# that rises from 0.05 to 0.95, which tells where in the file a sample is.
run_sinklatency() {
    echo "== sinklatency: request to the change heard at the null sink"
    [ -n "$pulse_pid" ] || start_pulse
    local rate
    rate=$(pactl list short sinks | awk '$2 == "tarn_null" { for (i = 3; i <= NF; i++) if ($i ~ /Hz$/) { sub("Hz", "", $i); print $i } }')
    ffmpeg -nostdin -v error -y -f lavfi \
        -i "aevalsrc=0.5*sin(2*PI*440*t)|0.05+0.9*t/60:s=$rate:d=60" -c:a pcm_s16le "$work/ramp.wav"
    "${pulse_env[@]}" "$build/bench/bench_engine_sink_latency" "$work/ramp.wav" "${TARN_BENCH_ROUNDS:-12}"
}

# The window over a dead playlist under Xvfb and through the private server:
# three times from a fresh start (the double-click opens the output), three
# times after the entry played for 1.5 s and stopped ("warm").
run_deadlist() {
    echo "== deadlist: the window's longest stall over a playlist of missing files"
    [ -n "$pulse_pid" ] || start_pulse
    [ -n "${DISPLAY:-}" ] || start_x
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" \
        -ac 2 "$work/tone3.wav"
    local how
    for how in cold cold cold warm warm warm; do
        echo "-- $how, load average $(cut -d' ' -f1-3 /proc/loadavg)"
        HOME=$work/home XDG_CONFIG_HOME=$work/home/.config "${pulse_env[@]}" \
            "$build/bench/bench_ui_dead_playlist" "$work/tone3.wav" 20 10 "$how" 2>/dev/null
    done
}

# The whole player under Xvfb, driven as a user would: Add (Ctrl+A and the
# file dialog), then the Play, Pause and Stop hot spots.
run_wakeups() {
    echo "== wakeups: the player's threads and the sound server, 30 s in each state"
    [ -n "$pulse_pid" ] || start_pulse
    [ -n "${DISPLAY:-}" ] || start_x
    mkdir -p "$work/home"
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CURRENT_DESKTOP=none \
        "${pulse_env[@]}" "$build/src/tarn-player" >"$work/player.log" 2>&1 &
    local app=$! win
    x_pids+=($app)
    win=$(find_main_window) || { echo "the main window did not appear" >&2; return 1; }
    state() { # what the server says of the player's stream
        pactl list sink-inputs | awk '/Corked:/ { c = c " corked=" $2 } END { print (c == "" ? "no stream" : "stream" c) }'
    }
    measure() {
        echo "-- $1 ($(state)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
        python3 "$here/thread_wakeups.py" --label "$1" --seconds 30 \
            tarn-player="$app" pulseaudio="$pulse_pid"
        # What the window showed, to look at afterwards.
        import -window root "${TARN_BENCH_OUT:-/tmp}/tarn-wakeups-$1.png" 2>/dev/null || true
    }
    sleep 3
    measure idle
    xdotool windowactivate --sync "$win" key ctrl+a
    sleep 1.5
    xdotool type --delay 10 "$song"
    xdotool key Return
    sleep 1
    click_hot_spot "$win" 720 # Play
    sleep 3
    measure playing
    click_hot_spot "$win" 1320 # Pause
    sleep 5
    measure paused
    click_hot_spot "$win" 720 # Play
    sleep 2
    click_hot_spot "$win" 1800 # Stop
    sleep 5
    measure stopped
}

# The machine's load changes what real-time figures mean; print it with them.
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $build, load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
trap 'echo "load average: $(cut -d" " -f1-3 /proc/loadavg)"; cleanup' EXIT

case "$part" in
cpu) make_song && run_cpu ;;
pulse) make_song && run_pulse ;;
gap) run_gap ;;
latency) run_latency ;;
pulsegap) run_pulsegap ;;
sinklatency) run_sinklatency ;;
deadlist) run_deadlist ;;
wakeups) make_song && run_wakeups ;;
machine) make_song && run_machine ;;
all) make_song && run_cpu && run_pulse && run_gap && run_pulsegap && run_latency &&
    run_sinklatency && run_deadlist && run_wakeups && run_machine ;;
*) echo "unknown part: $part" >&2 && exit 2 ;;
esac
