#!/bin/bash
# Races tarn-player against Audacious (GTK and Qt interfaces), Qmmp, mpv and
# VLC on the same files, in a private desktop: Xvfb with openbox, a session
# bus of its own and a PulseAudio whose only sink is a null sink, recorded
# from its monitor. Prints one markdown table and writes it to a file.
#
#   bench/race.sh BUILD_DIR [ROUNDS]
#
# BUILD_DIR must hold src/tarn-player. ROUNDS (default 5) is the number of
# latency rounds; each round starts every player once, in turn, and measures
# start-up, Play, Pause, resume, volume, seek and the gaps in that session.
# Then RACE_CPU_ROUNDS rounds measure CPU, wake-ups and memory. Settings:
#   RACE_CPU_ROUNDS   rounds of the CPU and memory part (default 2)
#   RACE_CPU_SECONDS  length of each CPU window (default 8)
#   RACE_IDLE_SECONDS how long a player sits stopped before the Play that
#                     measures the first sound (default 4)
#   RACE_PLAYERS      which players, of: tarn audacious-gtk audacious-qt
#                     qmmp mpv vlc (default all, in that order)
#   RACE_KEEP         a folder (writable by the players' user) for every latency
#                     session's recording (WAV) and its requests (JSON)
#   RACE_OUT          folder for the table (race.md) and the raw figures
#                     (race.json) (default /tmp/tarn-race)
#   TARN_BENCH_SOUND  pipewire: the sound server is PipeWire (with WirePlumber
#                     and its PulseAudio service) instead of PulseAudio; the
#                     server's CPU is then that of all three
#   RACE_RECORD_MS    the recorder's latency (default 20; 50 with PipeWire,
#                     where a shorter one would shorten the graph's period)
# How each figure is taken: bench/README.md and bench/race.py.
#
# The players run as an ordinary user: VLC refuses to run as root, so when
# started as root everything after the installation runs as `nobody`.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
[ $# -ge 1 ] || { echo "usage: bench/race.sh BUILD_DIR [ROUNDS]" >&2; exit 2; }
build=$(cd "$1" && pwd)
rounds=${2:-5}
out=${RACE_OUT:-/tmp/tarn-race}
[ -x "$build/src/tarn-player" ] || { echo "no $build/src/tarn-player" >&2; exit 2; }
python=/usr/bin/python3 # Debian's, which has the dbus and Xlib modules
export PYTHONDONTWRITEBYTECODE=1

if [ -z "${RACE_WORK:-}" ]; then
    "$root/scripts/deps.sh" bench
    mkdir -p "$out"
    work=$(mktemp -d /tmp/tarn-race-work.XXXXXX)
    export RACE_WORK=$work
    # The inner part writes the ids of everything it starts here; whatever
    # way it ends, they are stopped.
    stop_all() {
        local p
        [ -f "$work/pids" ] && for p in $(tac "$work/pids"); do kill "$p" 2>/dev/null || true; done
        [ -f "$work/race.md" ] && cp "$work/race.md" "$work/race.json" "$out/" 2>/dev/null
        rm -rf "$work"
    }
    trap stop_all EXIT
    trap 'exit 130' INT TERM
    if [ "$(id -u)" = 0 ]; then
        chown nobody:nogroup "$work"
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$0" "$@"
    else
        "$0" "$@"
    fi
    echo "table: $out/race.md, raw figures: $out/race.json"
    exit 0
fi

# The inner part: the private desktop, the test files, the race.
work=$RACE_WORK
source "$here/x_session.sh"
source "$here/media.sh"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM
note_pid() { echo "$1" >>"$work/pids"; }

if [ "${TARN_BENCH_SOUND:-}" = pipewire ]; then
    export RACE_RECORD_MS=${RACE_RECORD_MS:-50}
fi
start_private_desktop 70 99 "$work"
for p in "${pids[@]}"; do note_pid "$p"; done
xwininfo -root >/dev/null || { echo "Xvfb did not start on $DISPLAY" >&2; exit 1; }
# Every player runs without the accessibility bus, which none needs here.
export NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0

# The test files: music (MP3 and WMA, three minutes), a tone file for the
# latencies (0-20 s a 440 Hz tone, 20-40 s silence, 40-60 s the tone), and a
# continuous 440 Hz tone cut in two (2 s and 1.5 s) as MP3 and as WAV.
media=$work/media
mkdir -p "$media"
echo "making the test files"
make_music "$media/song.mp3"
make_music "$media/song.wma" -c:a wmav2 -b:a 192k
tone() { # file, start s, length s, ffmpeg codec args...
    local f=$1 from=$2 length=$3
    shift 3
    ffmpeg -nostdin -v error -y -f lavfi \
        -i "aevalsrc=0.5*sin(2*PI*440*(t+$from))*(lt(t+$from\\,20)+gte(t+$from\\,40)):s=44100:c=stereo:d=$length" \
        "$@" "$f"
}
mp3=(-c:a libmp3lame -b:a 192k)
wav=(-c:a pcm_s16le)
tone "$media/latency.mp3" 0 60 "${mp3[@]}"
tone "$media/gap_a.mp3" 0 2 "${mp3[@]}"
tone "$media/gap_b.mp3" 2 1.5 "${mp3[@]}"
tone "$media/gap_a.wav" 0 2 "${wav[@]}"
tone "$media/gap_b.wav" 2 1.5 "${wav[@]}"

echo "start: $(uptime)"
"$python" "$here/race.py" --build "$build" --media "$media" --work "$work" \
    --pulse-pid "${server_pids[@]}" --rounds "$rounds" \
    --cpu-rounds "${RACE_CPU_ROUNDS:-2}" --cpu-seconds "${RACE_CPU_SECONDS:-8}" \
    --idle-seconds "${RACE_IDLE_SECONDS:-4}" \
    --players ${RACE_PLAYERS:-tarn audacious-gtk audacious-qt qmmp mpv vlc} \
    --table "$work/race.md" --raw "$work/race.json" ${RACE_KEEP:+--keep "$RACE_KEEP"}
echo "end: $(uptime)"
