#!/usr/bin/env bash
# End-to-end check of the real program, as a person would use it: a real X
# server (Xvfb) with a window manager, a private PulseAudio whose only sink is a
# null sink, the player driven with xdotool, its sound recorded from the sink's
# monitor and checked with sox. Leaves screenshots and the recording in
# $TARN_E2E_OUT (default /tmp/tarn-e2e).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh e2e
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tarn-player >/dev/null

out=${TARN_E2E_OUT:-/tmp/tarn-e2e}
rm -rf "$out"; mkdir -p "$out/media" "$out/home" "$out/pulse"
source "$root/scripts/e2e_common.sh"

# Two tones: 440 Hz then 880 Hz, 3 s each, so the automatic advance is audible.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=3" -ac 2 -b:a 192k "$out/media/low.mp3"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=880:duration=3" -ac 2 -b:a 192k "$out/media/high.mp3"

source bench/x_session.sh
start_x_session :71 "$out"

SDL_AUDIODRIVER=pulseaudio build/src/tarn-player >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=""
for _ in $(seq 50); do win=$(xdotool search --onlyvisible --name '^Tarn Player$' 2>/dev/null | head -1) && [[ -n $win ]] && break; sleep 0.2; done
[[ -n $win ]] || fail "the main window did not appear"
sleep 0.5
import -window root "$out/1-start.png"

# Full view, then add both files through the Add dialog (Ctrl+A), typing the path.
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
for f in low high; do
  xdotool key ctrl+a; sleep 1
  xdotool type --delay 20 "$out/media/$f.mp3"; xdotool key Return; sleep 0.7
done
import -window root "$out/2-added.png"

# Record the null sink while Next starts entry 0 and the player advances to entry 1.
# A short recording latency keeps the null sink at short periods, as a device
# would be; with the default 2 s an idle sink starts a new stream up to 2 s late.
parec -d tarn_null.monitor --latency-msec=20 --file-format=wav --channels=2 --rate=48000 "$out/record.wav" & rec=$!; pids+=($rec)
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$win")"
client_top=$(( HEIGHT - 452 ))  # the full view's client area is 452 px high, below the menu bar
next_x=$(( (2400 + 247) / 15 )); next_y=$(( client_top + (2400 + 247) / 15 ))
xdotool mousemove --window "$win" "$next_x" "$next_y" click 1
sleep 2
import -window root "$out/3-playing.png"
sleep 5
kill "$rec"; wait "$rec" 2>/dev/null || true
import -window root "$out/4-end.png"

# The recording holds the 440 Hz tone, then (after the automatic advance) the
# 880 Hz tone. sox's rough frequency needs one channel.
stat_of() { sox "$out/record.wav" -n trim "$1" 0.5 remix 1 stat 2>&1; }
freq() { stat_of "$1" | awk '/Rough   frequency/ {print $3}'; }
rms() { stat_of "$1" | awk '/RMS     amplitude/ {print $3}'; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b * 0.97 && a <= b * 1.03) }'; }
echo "recording: $(soxi -D "$out/record.wav") s"
for t in 1.0 2.0 4.5 5.0; do echo "at ${t}s: rms $(rms $t) freq $(freq $t)"; done
near "$(freq 1.0)" 440 || fail "no 440 Hz tone at 1.0 s of the recording"
near "$(freq 4.5)" 880 || fail "no 880 Hz tone at 4.5 s: the automatic advance did not happen"
awk -v r="$(rms 2.0)" 'BEGIN { exit !(r > 0.05) }' || fail "the first track is too quiet"

# Exit from the File menu: settings are saved.
xdotool windowactivate --sync "$win" key alt+f; sleep 0.3; xdotool key x; sleep 1
kill -0 "$player" 2>/dev/null && fail "Exit did not end the player"
conf="$XDG_CONFIG_HOME/Tarn Player/Tarn Player.conf"
[[ -f $conf ]] || fail "no settings file at $conf"
grep -qx 'SIZE=1' "$conf" || fail "the full view was not saved"
cmp -s <(printf '1\r\n') build/src/rep.ini || fail "rep.ini does not hold the Repeat state"
echo "E2E done; screenshots and recording in $out"
