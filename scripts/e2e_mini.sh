#!/usr/bin/env bash
# End-to-end check of the mini player, the flag files and the Options window
# under a real X server with openbox and a compositor (xcompmgr, so the
# strip's opacity shows in screenshots), with a private PulseAudio whose only
# sink is a null sink, recorded from its monitor:
#   - Mini Controls (Ctrl+M) shows the strip above another, active window,
#     with _NET_WM_STATE_ABOVE and the opacity of Trans.ini (60 %);
#   - `printf 1 > next2.ini` in the application folder skips to the next
#     track (timed from the write to the caption, and heard at the sink);
#   - the strip's Pause and Play hold and resume the sound;
#   - its Back button brings the main window back, whose Options button opens
#     the Options window;
#   - the player's CPU over $TARN_E2E_IDLE_SECONDS (default 60) with the
#     strip shown and the track stopped.
# Usage: scripts/e2e_mini.sh [BUILD_DIR]. Leaves screenshots and recordings in
# $TARN_E2E_OUT (default /tmp/tarn-e2e-mini).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
app=$build/src # the application folder: the executable's own
source "$root/bench/x_session.sh"
out=${TARN_E2E_OUT:-/tmp/tarn-e2e-mini}
idle_seconds=${TARN_E2E_IDLE_SECONDS:-60}
rm -rf "$out"; mkdir -p "$out/media" "$out/home" "$out/pulse"
source "$root/scripts/e2e_common.sh"

# 60 s tones, so no track ends on its own while the checks run.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=60" -ac 2 -b:a 192k "$out/media/low.mp3"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=880:duration=60" -ac 2 -b:a 192k "$out/media/high.mp3"

start_x_session "${TARN_E2E_DISPLAY:-:72}" "$out"
xcompmgr >/dev/null 2>&1 & pids+=($!)

printf ' 60 \r\n' > "$app/Trans.ini"
rm -f "$app/back1.ini" "$app/stop1.ini" "$app/next2.ini"
"$build/src/tarn-player" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || fail "the main window did not appear"
sleep 1
for f in back1 stop1 next2; do
  cmp -s <(printf ' 0 \r\n') "$app/$f.ini" || fail "$f.ini does not hold the number line 0 after the first poll"
done

# Add both files in the full view (Ctrl+S, Ctrl+A), then play the first one
# from the compact view (Ctrl+H) with the Next hot spot.
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
for f in low high; do
  xdotool key ctrl+a; sleep 1
  xdotool type --delay 20 "$out/media/$f.mp3"; xdotool key Return; sleep 0.7
done
xdotool key ctrl+h; sleep 0.5
click_hot_spot "$win" 2400
sleep 1
[[ $(xdotool getwindowname "$win") == *low.mp3 ]] || fail "the first track did not start"

# Mini Controls, then another window on top of it, activated.
xdotool windowactivate --sync "$win" key ctrl+m; sleep 1
strip=""
for w in $(xdotool search --name '^Rude Re3$'); do xwininfo -id "$w" | grep -q IsViewable && strip=$w; done
[[ -n $strip ]] || fail "the strip did not appear"
xwininfo -id "$win" | grep -q IsUnMapped || fail "the main window is still shown"
eval "$(xdotool getwindowgeometry --shell "$strip")"
xmessage -geometry "700x200+$((X - 40))+$((Y - 60))" -bg '#e8e0c8' \
  "$(printf 'Another window, activated after the strip: the strip stays above it.\n%.0s' 1 2 3 4 5 6)" \
  >/dev/null 2>&1 & pids+=($!)
sleep 1
other=$(xdotool search --name '^xmessage$' | head -1)
xdotool windowactivate --sync "$other"; sleep 0.5
xprop -id "$strip" _NET_WM_STATE _NET_WM_WINDOW_OPACITY | tee "$out/xprop.txt"
grep -q _NET_WM_STATE_ABOVE "$out/xprop.txt" || fail "the strip is not kept above"
# 60 % of 0xffffffff
grep -q '= 2576980377$' "$out/xprop.txt" || fail "the strip's opacity is not 60 %"
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
[[ $stacking == *$(printf '0x%x' "$other")*$(printf '0x%x' "$strip")* ]] || fail "the strip is below the other window: $stacking"
import -window root "$out/1-strip-over-window.png"

# printf 1 > next2.ini: the next track, timed to the caption and recorded.
parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/next.wav" & rec=$!; pids+=($rec)
sleep 1.5
start=$(date +%s%N)
printf 1 > "$app/next2.ini"
until [[ $(xdotool getwindowname "$win") == *high.mp3 ]]; do
  (( $(date +%s%N) - start < 3000000000 )) || fail "next2.ini did not move the player on"
  sleep 0.002
done
echo "next2.ini to the next track's caption: $(( ($(date +%s%N) - start) / 1000000 )) ms"
sleep 1.5
kill "$rec"; wait "$rec" 2>/dev/null || true
stat_of() { sox "$1" -n trim "$2" 0.3 remix 1 stat 2>&1; }
freq() { stat_of "$1" "$2" | awk '/Rough   frequency/ {print $3}'; }
rms() { stat_of "$1" "$2" | awk '/RMS     amplitude/ {print $3}'; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b * 0.97 && a <= b * 1.03) }'; }
echo "recording around the write at 1.5 s: 1.0 s $(freq "$out/next.wav" 1.0) Hz, 2.3 s $(freq "$out/next.wav" 2.3) Hz"
near "$(freq "$out/next.wav" 1.0)" 440 || fail "no 440 Hz before the write"
near "$(freq "$out/next.wav" 2.3)" 880 || fail "no 880 Hz after the write"
cmp -s <(printf ' 0 \r\n') "$app/next2.ini" || fail "next2.ini was not cleared"

# The strip's Pause, then Play (hot spots at x 48 and 24, 17 px square).
parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/pause.wav" & rec=$!; pids+=($rec)
sleep 1
xdotool mousemove --window "$strip" 56 8 click 1
sleep 2
xdotool mousemove --window "$strip" 32 8 click 1
sleep 1.5
kill "$rec"; wait "$rec" 2>/dev/null || true
echo "recording: rms before Pause $(rms "$out/pause.wav" 0.5), paused $(rms "$out/pause.wav" 2.0), after Play $(rms "$out/pause.wav" 3.8)"
awk -v r="$(rms "$out/pause.wav" 0.5)" 'BEGIN { exit !(r > 0.05) }' || fail "no sound before Pause"
awk -v r="$(rms "$out/pause.wav" 2.0)" 'BEGIN { exit !(r < 0.001) }' || fail "Pause did not hold the sound"
awk -v r="$(rms "$out/pause.wav" 3.8)" 'BEGIN { exit !(r > 0.05) }' || fail "Play did not resume the sound"

# Back: the main window again, then Options from its full view.
xdotool mousemove --window "$strip" 132 8 click 1; sleep 1
xwininfo -id "$win" | grep -q IsViewable || fail "Back did not show the main window"
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $(( (4680 + 787) / 15 )) $(( HEIGHT - 452 + (3720 + 127) / 15 )) click 1
sleep 1
options=$(xdotool search --name '^Options$' | head -1)
[[ -n $options ]] || fail "the Options window did not open"
import -window root "$out/2-options.png"
xdotool windowclose "$options" 2>/dev/null || xdotool key --window "$options" alt+F4

# Idle: the strip shown, the track stopped through the strip's Stop.
xdotool windowactivate --sync "$win" key ctrl+m; sleep 1
for w in $(xdotool search --name '^Rude Re3$'); do xwininfo -id "$w" | grep -q IsViewable && strip=$w; done
xdotool mousemove --window "$strip" 80 8 click 1; sleep 1
parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/stopped.wav" & rec=$!; pids+=($rec)
sleep 1; kill "$rec"; wait "$rec" 2>/dev/null || true
awk -v r="$(rms "$out/stopped.wav" 0.5)" 'BEGIN { exit !(r < 0.001) }' || fail "the strip's Stop was not carried out"
cpu() { awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / tck }' "/proc/$player/stat"; }
before=$(cpu); sleep "$idle_seconds"; after=$(cpu)
awk -v a="$before" -v b="$after" -v s="$idle_seconds" \
  'BEGIN { printf "idle with the strip shown: %.2f CPU s in %d s (%.2f %% of one core)\n", b - a, s, 100 * (b - a) / s }'
echo "E2E mini done; screenshots and recordings in $out"
