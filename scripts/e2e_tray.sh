#!/usr/bin/env bash
# End-to-end check of the tray icon, the About box and the bug-report window
# under a real X server with openbox, trayer as the notification area and a
# private PulseAudio whose only sink is a null sink, recorded from its monitor:
#   - the icon appears in the tray with the start-up balloon;
#   - a right click opens the tray menu at the pointer;
#   - "Hide Tarn Player" hides the main window while the track plays on,
#     "Show Tarn Player" brings it back to where it was, still playing;
#   - "Mini Controls" shows the mini player, whose Back brings the main
#     window back to where it was;
#   - "About" opens the About box at its fixed place; its Bugs button opens
#     the bug-report window;
#   - with the window hidden, the menu's Exit shows it and ends the player,
#     saving the settings;
#   - with no tray host the player starts and its window shows; the icon
#     appears once a tray host starts.
# Usage: scripts/e2e_tray.sh [BUILD_DIR]. Leaves screenshots and recordings in
# $TARN_E2E_OUT (default /tmp/tarn-e2e-tray).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" e2e
build=${1:-$root/build}
if [[ ! -x $build/src/tarn-player ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target tarn-player >/dev/null
fi
build=$(cd "$build" && pwd)
source "$root/bench/x_session.sh"
out=${TARN_E2E_OUT:-/tmp/tarn-e2e-tray}
rm -rf "$out"; mkdir -p "$out/media"
source "$root/scripts/e2e_common.sh"

# A 60 s tone, so the track plays through all the checks.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=60" -ac 2 -b:a 192k "$out/media/tone.mp3"

start_x_session "${TARN_E2E_DISPLAY:-:73}" "$out"
# Qt would use a desktop's D-Bus tray instead of the X11 one trayer hosts.
unset DBUS_SESSION_BUS_ADDRESS

start_tray() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 32 >/dev/null 2>&1 &
  tray=$!; pids+=($tray)
  sleep 1
}
# Prints "X Y", the centre of the player's icon in the tray; fails when the
# tray holds none.
icon_centre() {
  local line re='([0-9]+)x([0-9]+)[-+0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+)'
  # The first window of the player below trayer's panel in the window tree
  # (awk reads on to the end: xwininfo must not die of a closed pipe).
  line=$(xwininfo -root -tree | awk '
    /"panel": \("panel" "trayer"\)/ { indent = match($0, /[^ ]/); inside = 1; next }
    inside { if (match($0, /[^ ]/) <= indent) inside = 0; else if (/"tarn-player"/) { print; inside = 0 } }')
  [[ $line =~ $re ]] || return 1
  echo $(( BASH_REMATCH[3] + BASH_REMATCH[1] / 2 )) $(( BASH_REMATCH[4] + BASH_REMATCH[2] / 2 ))
}
mapped() { xwininfo -id "$1" | grep -q IsViewable; }
# Records the null sink for one second; prints the RMS amplitude.
heard() {
  parec -d tarn_null.monitor --file-format=wav --channels=2 --rate=48000 "$out/$1.wav" & local rec=$!
  sleep 1.2; kill "$rec"; wait "$rec" 2>/dev/null || true
  sox "$out/$1.wav" -n trim 0.2 0.8 remix 1 stat 2>&1 | awk '/RMS     amplitude/ {print $3}'
}
# Fails unless the sink carries the tone now; $1 names the moment.
playing_on() {
  local level; level=$(heard "$1")
  echo "$1: RMS $level at the sink"
  awk -v r="$level" 'BEGIN { exit !(r > 0.05) }'
}
# Opens the tray menu with a right click and picks its item number $1
# (1 Show, 2 Hide, 3 Mini Controls, 4 About, 5 Exit) with the keyboard.
tray_menu() {
  read -r ix iy < <(icon_centre)
  xdotool mousemove "$ix" "$iy" click 3; sleep 0.6
  xdotool key --repeat "$1" Down; xdotool key Return; sleep 0.8
}

# Start with a tray host: the icon and the start-up balloon.
start_tray
"$build/src/tarn-player" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || fail "the main window did not appear"
sleep 1
[[ -n $(icon_centre) ]] || fail "no icon in the tray"
echo "icon in the tray at $(icon_centre)"
import -window root "$out/1-icon-and-balloon.png"

# Full view, add the tone through the Add dialog and play it with a
# double-click on its entry.
xdotool windowactivate --sync "$win" key ctrl+s; sleep 0.5
xdotool key ctrl+a; sleep 1
xdotool type --delay 20 "$out/media/tone.mp3"; xdotool key Return; sleep 0.7
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" 40 $(( HEIGHT - 452 + 4080 / 15 + 8 )) click --repeat 2 --delay 80 1
sleep 1.5
[[ $(xdotool getwindowname "$win") == *tone.mp3 ]] || fail "the track did not start"
playing_on playing || fail "nothing heard while playing"

# The tray menu at the pointer.
read -r ix iy < <(icon_centre)
xdotool mousemove "$ix" "$iy" click 3; sleep 0.6
import -window root "$out/2-tray-menu.png"
xdotool key Escape; sleep 0.3

# Hide, then Show: the window goes and comes back where it was; the track
# plays on throughout.
xdotool windowmove "$win" 250 200; sleep 0.5
before=$(xwininfo -id "$win" | grep -E 'Absolute upper-left')
tray_menu 2
mapped "$win" && fail "Hide Tarn Player did not hide the main window"
playing_on hidden || fail "the track stopped when the window was hidden"
tray_menu 1
mapped "$win" || fail "Show Tarn Player did not bring the main window back"
[[ $(xwininfo -id "$win" | grep -E 'Absolute upper-left') == "$before" ]] ||
  fail "the main window came back elsewhere"
[[ $(xdotool getwindowname "$win") == *tone.mp3 ]] || fail "the track changed"
playing_on shown-again || fail "the track stopped when the window came back"

# Mini Controls from the tray menu: the strip stands in for the window, whose
# Back button brings the window back where it was.
tray_menu 3
strip=""
for w in $(xdotool search --name '^Rude Re3$'); do mapped "$w" && strip=$w; done
[[ -n $strip ]] || fail "Mini Controls did not show the strip"
mapped "$win" && fail "the main window stayed shown beside the strip"
import -window root "$out/3-mini-controls.png"
xdotool mousemove --window "$strip" 132 8 click 1; sleep 1
mapped "$win" || fail "the strip's Back did not bring the main window back"
[[ $(xwininfo -id "$win" | grep -E 'Absolute upper-left') == "$before" ]] ||
  fail "the main window came back elsewhere from the strip"

# About from the tray menu, at its fixed place; Bugs from the About box.
tray_menu 4
about=$(xdotool search --name '^About Tarn Player$' | head -1)
[[ -n $about ]] && mapped "$about" || fail "the About box did not open"
xwininfo -id "$about" | grep -q 'Absolute upper-left X:  156' || fail "the About box is not at its place"
import -window root "$out/4-about.png"
xdotool mousemove --window "$about" $(( (4320 + 622) / 15 )) $(( (3600 + 172) / 15 )) click 1; sleep 1
bugs=$(xdotool search --name '^Bugs$' | head -1)
[[ -n $bugs ]] && mapped "$bugs" || fail "Bugs did not open the bug-report window"
mapped "$about" || fail "the About box closed when Bugs opened"
import -window root "$out/5-bugs.png"
xdotool windowclose "$bugs"; xdotool windowclose "$about"; sleep 0.5

# Exit from the tray menu with the window hidden: shown, then the end.
tray_menu 2
tray_menu 5
for _ in $(seq 20); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
kill -0 "$player" 2>/dev/null && fail "Exit from the tray menu did not end the player"
grep -qx 'SIZE=1' "$XDG_CONFIG_HOME/Tarn Player/Tarn Player.conf" || fail "Exit did not save the settings"

# No tray host: the window shows; the icon comes once a host starts.
kill "$tray"; sleep 0.5
"$build/src/tarn-player" >"$out/player2.log" 2>&1 & player=$!; pids+=($player)
win=$(find_main_window) || fail "with no tray host the main window did not appear"
import -window root "$out/6-no-tray.png"
start_tray; sleep 1
[[ -n $(icon_centre) ]] || fail "no icon once a tray host started"
import -window root "$out/7-tray-later.png"
echo "E2E tray done; screenshots and recordings in $out"
