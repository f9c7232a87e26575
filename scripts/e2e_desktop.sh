#!/usr/bin/env bash
# End-to-end check of the desktop integration under a real X server with
# openbox, a private session bus (dbus-run-session) and a private PulseAudio
# whose only sink is a null sink, recorded from its monitor:
#   - a second `tarn-player FOLDER` hands the folder to the running player and
#     ends with status 0; the first appends its audio files in natural order
#     and plays the first of them;
#   - playerctl -p tarnplayer metadata / next / pause / play / position /
#     volume / loop drive and read the player, checked against the caption,
#     the recording and the saved settings;
#   - a second `tarn-player FILE` plays that file in the first player;
#   - MPRIS Quit ends the player through Exit (settings saved).
# Usage: scripts/e2e_desktop.sh [BUILD_DIR]. Leaves screenshots and recordings
# in $TARN_E2E_OUT (default /tmp/tarn-e2e-desktop).
set -euo pipefail
if [[ -z ${TARN_E2E_PRIVATE_BUS:-} ]]; then
  TARN_E2E_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
player_bin=$build/src/tarn-player
source "$root/bench/x_session.sh"
out=${TARN_E2E_OUT:-/tmp/tarn-e2e-desktop}
rm -rf "$out"; mkdir -p "$out/media/album/sub"
source "$root/scripts/e2e_common.sh"

tone() { # file, frequency, title
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$2:duration=60" -ac 2 -b:a 192k \
    -metadata title="$3" -metadata artist="Tarn Tones" "$1"
}
tone "$out/media/album/1 low.mp3" 440 "Low Tone"
tone "$out/media/album/2 mid.mp3" 660 "Mid Tone"
tone "$out/media/album/sub/10 high.mp3" 880 "High Tone"
tone "$out/media/single.mp3" 550 "Single Tone"
echo "not audio" > "$out/media/album/notes.txt"

start_x_session "${TARN_E2E_DISPLAY:-:74}" "$out"

pc() { playerctl -p tarnplayer "$@"; }
stat_of() { sox "$1" -n trim "$2" 0.3 remix 1 stat 2>&1; }
freq() { stat_of "$1" "$2" | awk '/Rough   frequency/ {print $3}'; }
rms() { stat_of "$1" "$2" | awk '/RMS     amplitude/ {print $3}'; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b * 0.97 && a <= b * 1.03) }'; }
record() { parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$1"; }

"$player_bin" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || fail "the main window did not appear"
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
for _ in $(seq 50); do pc status >/dev/null 2>&1 && break; sleep 0.1; done
[[ $(pc status) == Stopped ]] || fail "playerctl does not see the player"
import -window root "$out/1-start.png"

# A second start with a folder: handed over, appended in natural order, played.
start=$(date +%s%N)
"$player_bin" "$out/media/album" || fail "the second start ended with status $?"
echo "second start with a folder: ended after $(( ($(date +%s%N) - start) / 1000000 )) ms"
kill -0 "$player" || fail "the first player has gone"
sleep 1
[[ $(xdotool getwindowname "$win") == "$out/media/album/1 low.mp3" ]] ||
  fail "the folder's first file does not play: $(xdotool getwindowname "$win")"
import -window root "$out/2-folder-handed-over.png"
pc metadata | tee "$out/metadata.txt"
[[ $(pc metadata title) == "Low Tone" ]] || fail "metadata title"
length=$(pc metadata mpris:length)
(( length > 59000000 && length < 61000000 )) || fail "metadata length $length"
[[ $(pc metadata xesam:url) == "file://$out/media/album/1%20low.mp3" ]] || fail "metadata url"

# next, pause and play, heard at the sink.
record "$out/transport.wav" & rec=$!; pids+=($rec)
sleep 1; pc next; sleep 1.5; pc pause; sleep 1.5; pc play; sleep 1.5
kill "$rec"; wait "$rec" 2>/dev/null || true
[[ $(xdotool getwindowname "$win") == *"2 mid.mp3" ]] || fail "playerctl next did not change the track"
echo "recording: 0.5 s $(freq "$out/transport.wav" 0.5) Hz, 2.0 s $(freq "$out/transport.wav" 2.0) Hz," \
  "paused rms $(rms "$out/transport.wav" 3.5), resumed $(freq "$out/transport.wav" 5.0) Hz"
near "$(freq "$out/transport.wav" 0.5)" 440 || fail "no 440 Hz before next"
near "$(freq "$out/transport.wav" 2.0)" 660 || fail "no 660 Hz after next"
awk -v r="$(rms "$out/transport.wav" 3.5)" 'BEGIN { exit !(r < 0.001) }' || fail "pause did not hold the sound"
near "$(freq "$out/transport.wav" 5.0)" 660 || fail "play did not resume"

# position, volume and loop, read back through playerctl.
pc position 30; sleep 0.3
pos=$(pc position); echo "position after 'position 30': $pos"
awk -v p="$pos" 'BEGIN { exit !(p >= 30 && p < 31.5) }' || fail "position $pos"
pc volume 0.5; sleep 0.3
[[ $(pc volume) == 0.500000 ]] || fail "volume $(pc volume)"
pc loop None; sleep 0.3
[[ $(pc loop) == None ]] || fail "loop"
import -window root "$out/3-after-playerctl.png"

# A second start with one file: the first player plays it.
"$player_bin" "$out/media/single.mp3" || fail "the second start ended with status $?"
sleep 1
[[ $(xdotool getwindowname "$win") == "$out/media/single.mp3" ]] || fail "the handed-over file does not play"
[[ $(pc metadata title) == "Single Tone" ]] || fail "metadata after the hand-over"
import -window root "$out/4-file-handed-over.png"

# Quit over MPRIS: Exit runs, the settings are saved.
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tarnplayer /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit >/dev/null
for _ in $(seq 50); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
kill -0 "$player" 2>/dev/null && fail "Quit did not end the player"
conf="$XDG_CONFIG_HOME/Tarn Player/Tarn Player.conf"
grep -qx 'Vol=1250' "$conf" || fail "the volume set over MPRIS was not saved"
grep -qx 'REP=0' "$conf" || fail "the loop status set over MPRIS was not saved"
echo "E2E desktop done; screenshots and recordings in $out"
