#!/usr/bin/env bash
# End-to-end check of the visualisation window under a real X server with
# openbox and a private PulseAudio whose only sink is a null sink, recorded
# from its monitor:
#   - a track plays in the main window; Visualizitions shows its notice, and
#     after OK the window plays 1016.avi (screenshot while it plays);
#   - the track goes on meanwhile: its tone is heard at the sink and the
#     main window's time moves;
#   - the player's CPU and resident memory over 20 s with the music alone,
#     then over the 20 s from the window's opening (15 s of video, then its
#     last picture);
#   - right click > Full Screen fills the screen, Esc goes back;
#   - Close unloads the window and the music still plays.
# Usage: scripts/e2e_vis.sh [BUILD_DIR]. Leaves screenshots and recordings in
# $TARN_E2E_OUT (default /tmp/tarn-e2e-vis).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
app=$build/src # the application folder: the executable's own, where the build put 1016.avi
source "$root/bench/x_session.sh"
out=${TARN_E2E_OUT:-/tmp/tarn-e2e-vis}
rm -rf "$out"; mkdir -p "$out/media" "$out/home" "$out/pulse"
source "$root/scripts/e2e_common.sh"
[[ -f $app/1016.avi ]] || fail "no 1016.avi next to the executable"

# A 60 s tone, so the track never ends while the checks run.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=60" -ac 2 -b:a 192k "$out/media/low.mp3"

start_x_session "${TARN_E2E_DISPLAY:-:73}" "$out"

"$build/src/tarn-player" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || fail "the main window did not appear"
sleep 1

# The track, added in the full view and started with the Next hot spot.
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
xdotool key ctrl+a; sleep 1
xdotool type --delay 20 "$out/media/low.mp3"; xdotool key Return; sleep 0.7
eval "$(xdotool getwindowgeometry --shell "$win")"
client_top=$((HEIGHT - 452)) # the full view's client area is 452 px high, below the menu bar
xdotool mousemove --window "$win" $(((2400 + 247) / 15)) $((client_top + (2400 + 247) / 15)) click 1
sleep 1
[[ $(xdotool getwindowname "$win") == *low.mp3 ]] || fail "the track did not start"

cpu() { awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / tck }' "/proc/$player/stat"; }
rss() { awk '/VmRSS/ { print $2 }' "/proc/$player/status"; }
measure() { # label seconds
  local before after
  before=$(cpu); sleep "$2"; after=$(cpu)
  awk -v a="$before" -v b="$after" -v s="$2" -v l="$1" -v r="$(rss)" \
    'BEGIN { printf "%s: %.2f CPU s in %d s (%.2f %% of one core), resident %d KiB\n", l, b - a, s, 100 * (b - a) / s, r }' |
    tee -a "$out/figures.txt"
}
measure "music alone" 20

# Visualizitions: the notice, OK, then the window.
xdotool mousemove --window "$win" $(((3120 + 787) / 15)) $((client_top + (3720 + 127) / 15)) click 1
sleep 1
import -window root "$out/1-notice.png"
xdotool key Return
vis=""
for _ in $(seq 25); do
  for w in $(xdotool search --name '^ $' 2>/dev/null); do xwininfo -id "$w" | grep -q IsViewable && vis=$w; done
  [[ -n $vis ]] && break; sleep 0.2
done
[[ -n $vis ]] || fail "the visualisation window did not appear"
# 20 s from the window's opening: the 15 s of video, then its last picture
# standing. The screenshot and the recording are taken meanwhile, by other
# processes.
measure "music and the window, 20 s from its opening" 20 & meter=$!
parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/with-video.wav" & rec=$!; pids+=($rec)
sleep 3
import -window root "$out/2-video.png"
kill "$rec"; wait "$rec" 2>/dev/null || true
wait "$meter"

stat_of() { sox "$1" -n trim "$2" 0.5 remix 1 stat 2>&1; }
freq() { stat_of "$1" "$2" | awk '/Rough   frequency/ {print $3}'; }
rms() { stat_of "$1" "$2" | awk '/RMS     amplitude/ {print $3}'; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b * 0.97 && a <= b * 1.03) }'; }
echo "recording while the video plays: 1.0 s $(freq "$out/with-video.wav" 1.0) Hz rms $(rms "$out/with-video.wav" 1.0)"
near "$(freq "$out/with-video.wav" 1.0)" 440 || fail "the track was not heard while the video played"

# Right click on the picture: the menu, then Full Screen and Esc.
eval "$(xdotool getwindowgeometry --shell "$vis")"
xdotool mousemove --window "$vis" 150 100 click 3; sleep 0.7
import -window root "$out/3-menu.png"
xdotool key Down Return; sleep 1
import -window root "$out/4-full-screen.png"
full=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$full")"
[[ $WIDTH == 1024 && $HEIGHT == 768 ]] || fail "Full Screen did not fill the screen: ${WIDTH}x$HEIGHT"
xdotool key Escape; sleep 1
import -window root "$out/5-back.png"
eval "$(xdotool getwindowgeometry --shell "$vis")"
[[ $WIDTH == 305 ]] || fail "the window is not back at its size after Esc: ${WIDTH}x$HEIGHT"

# Close: the window goes, the music stays.
xdotool mousemove --window "$vis" $(((2520 + 607) / 15)) $(((3360 + 247) / 15)) click 1; sleep 1
xwininfo -id "$vis" >/dev/null 2>&1 && xwininfo -id "$vis" | grep -q IsViewable && fail "Close did not close the window"
parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/after-close.wav" & rec=$!; pids+=($rec)
sleep 1.5; kill "$rec"; wait "$rec" 2>/dev/null || true
near "$(freq "$out/after-close.wav" 0.5)" 440 || fail "the track stopped with the window"
[[ $(xdotool getwindowname "$win") == *low.mp3 ]] || fail "the main window's track changed"
import -window root "$out/6-closed.png"
echo "E2E visualisation done; screenshots, recordings and figures in $out"
