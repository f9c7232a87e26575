#!/usr/bin/env bash
# The player in a Wayland session without X11: a compositor with no screen
# (weston's headless backend) started here, DISPLAY unset. The player opens
# there, plays the track given on its command line (heard at the sink), keeps
# its main window shown with no notification area to hide into, its Options
# say that the strip can be neither on top nor see-through there, Mini
# Controls opens the strip, whose Back brings the main window back, and a
# second start hands its file over to be played; Qt warns of nothing.
# Buttons are pressed over the accessibility bus: nothing from outside moves
# a pointer on Wayland. Then the choice of window system at start: with an X
# server and a compositor both named X11 is taken, with an X server named
# that does not answer the compositor is; with no display named, or only an
# X server that does not answer, the player says why and ends with status 1,
# never a core dump.
source "$(dirname "$0")/../lib.sh"
low=$(tone low60.mp3 440 60)
high=$(tone high60.mp3 880 60)
settings SIZE=1

socket=tarn-wayland-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --no-config \
  >"$out/weston.log" 2>&1 &
started $!
wait_for 10 "the Wayland compositor's socket" test -S "$XDG_RUNTIME_DIR/$socket"

# platform PATTERN: the player has loaded Qt's platform plugin of that name.
platform() {
  seen="Qt platform plugins loaded: $(grep -o 'platforms/[^ ]*' "/proc/$player/maps" 2>/dev/null | sort -u | paste -sd' ')"
  grep -q "platforms/$1" "/proc/$player/maps" 2>/dev/null
}
# window_shown NAME: a shown window of the player with that title.
window_shown() {
  local dump
  dump=$(a11y)
  seen="windows: $(awk -F'\t' '$1 == "frame" || $1 == "filler" && $2 != "" { print $2 }' <<<"$dump" | paste -sd'|')"
  awk -F'\t' -v n="$1" '($1 == "frame" || $1 == "filler") && $2 == n { f = 1 } END { exit !f }' <<<"$dump"
}
main_shown() { [[ -n $(control "push button" "Mini Controls") ]]; }
# start_on DISPLAY WAYLAND_DISPLAY [FILE]: the player started with these
# variables (empty: unset), its main window shown.
start_on() {
  env -u DISPLAY -u WAYLAND_DISPLAY ${1:+DISPLAY=$1} ${2:+WAYLAND_DISPLAY=$2} \
    "$TARN_E2E_PLAYER" "${@:3}" >>"$out/player.log" 2>&1 &
  player=$!
  started "$player"
  wait_for 15 "the main window" eval 'main_shown || player_gone'
  if player_gone; then
    player_ended
    fail "the player ended at start with status $status"
  fi
}
# refused DISPLAY WAYLAND_DISPLAY MESSAGE: the player started with these
# variables ends at once with status 1 and MESSAGE on its standard error.
refused() {
  local status=0 said
  env -u DISPLAY -u WAYLAND_DISPLAY ${1:+DISPLAY=$1} ${2:+WAYLAND_DISPLAY=$2} \
    timeout 20 "$TARN_E2E_PLAYER" >"$out/refused.log" 2>&1 || status=$?
  said=$(cat "$out/refused.log")
  seen="status $status, said: $said"
  ((status == 1)) || fail "DISPLAY \"$1\", WAYLAND_DISPLAY \"$2\": not ended with status 1"
  [[ $said == *"$3"* ]] || fail "DISPLAY \"$1\", WAYLAND_DISPLAY \"$2\": no \"$3\" on stderr"
  log "DISPLAY \"$1\", WAYLAND_DISPLAY \"$2\": status 1, \"$(tail -1 <<<"$said")\""
}
exit_player() {
  press "push button" "Exit"
  player_ended
  ((status == 0)) || fail "Exit ended the player with status $status"
}

log "the player on Wayland alone, a track on its command line"
start_on "" "$socket" "$low"
platform libqwayland || fail "the player did not open on Wayland"
record
wait_for 5 "the 440 Hz tone" hearing 440

log "no notification area on Wayland: the main window stays"
# The tray is set up once the window has painted, before the sound starts.
main_shown || fail "the main window went without a tray to come back from"

log "Options: the word about Wayland"
press "push button" "Options"
wait_for 5 "the note on Wayland in Options" label_shown "^On Wayland .*neither on top nor see-through"

log "Mini Controls: the strip instead of the main window"
press "push button" "Mini Controls"
wait_for 5 "the mini player strip" window_shown "Rude Re3"
wait_for 2 "the main window to hide" eval '! main_shown'
hearing 440 || fail "the track stopped when the strip opened"
log "the strip's Back"
press "push button" "Back"
wait_for 5 "the main window again" main_shown
wait_for 2 "the strip to close" eval '! window_shown "Rude Re3"'
hearing 440 || fail "the track stopped when the main window came back"

log "a second start on Wayland hands its file to the player"
handed=0
env -u DISPLAY WAYLAND_DISPLAY="$socket" timeout 20 "$TARN_E2E_PLAYER" "$high" \
  >>"$out/second.log" 2>&1 || handed=$?
seen=$(cat "$out/second.log")
((handed == 0)) || fail "the second start ended with status $handed"
wait_for 5 "the handed-over track's 880 Hz tone" hearing 880
stop_recording
exit_player
seen=$(grep -E 'QObject::connect|qt\.qpa\.wayland' "$out/player.log" || true)
[[ -z $seen ]] || fail "Qt warned about the player's windows or tray on Wayland"

log "an X server and a compositor: X11"
start_on "$DISPLAY" "$socket"
platform libqxcb || fail "the player did not take X11 with both named"
exit_player

# A display number that no X server answers.
silent_x=""
for n in $(seq 900 999); do
  [[ -e /tmp/.X11-unix/X$n ]] || grep -q "X11-unix/X$n\$" /proc/net/unix || { silent_x=:$n; break; }
done
[[ -n $silent_x ]] || fail "no free display number for an X server that does not answer"
log "an X server that does not answer, and a compositor: Wayland"
start_on "$silent_x" "$socket"
platform libqwayland || fail "the player did not fall back to Wayland"
exit_player

refused "" "" "neither DISPLAY (X11) nor WAYLAND_DISPLAY (Wayland) is set"
refused "$silent_x" "" "could not open the display"
log "passed"
