#!/usr/bin/env bash
# The tray icon shows with its start-up balloon; its menu hides and shows
# the main window (at its place) while the track plays on; About opens from
# it, Bugs from About, each closing with its button; Mini Controls shows the
# strip, whose Back brings the window back at its place; Exit with the window
# hidden ends the player and saves. With no notification area the window
# shows, and the icon comes once one runs.
source "$(dirname "$0")/../lib.sh"
# The balloon goes by itself after 4 s: it is looked for before the track is
# added and played, which may take longer than that on a busy machine.
icon_and_balloon() {
  wait_for 5 "the player's icon in the tray" tray_icon
  must "no start-up balloon" label_shown "Tarn Player is running, Click me for options."
  shot icon-and-balloon
}
playing_tone icon_and_balloon

log "the tray menu's Hide, then Show"
geometry "$win"
before="$X $Y"
tray_menu "Hide Tarn Player"
wait_for 2 "the main window hidden" unmapped "$win"
hearing 440 || fail "the track stopped with the window hidden"
tray_menu "Show Tarn Player"
wait_for 2 "the main window shown again" mapped "$win"
geometry "$win"
[[ "$X $Y" == "$before" ]] || fail "the main window came back at $X $Y, not at $before"
hearing 440 || fail "the track stopped when the window came back"

log "About from the tray menu, Bugs from About"
tray_menu About
wait_for 3 "the About box" window_named "About Tarn Player"
about=$found
click "push button" Bugs
wait_for 3 "the bug-report window" window_named Bugs
bugs=$found
mapped "$about" || fail "the About box closed when Bugs opened"
shot about-and-bugs
click "push button" Close
wait_for 2 "the bug-report window to close" unmapped "$bugs"
click "push button" OK
wait_for 2 "the About box to close" unmapped "$about"
hearing 440 || fail "the track stopped meanwhile"

log "Mini Controls from the tray menu; the strip's Back"
tray_menu "Mini Controls"
wait_for 3 "the mini player strip" window_named "Rude Re3"
strip=$found
wait_for 2 "the main window hidden" unmapped "$win"
click "push button" Back
wait_for 2 "the main window back" mapped "$win"
geometry "$win"
[[ "$X $Y" == "$before" ]] || fail "the main window came back from the strip at $X $Y, not at $before"

log "Exit from the tray menu with the window hidden"
tray_menu "Hide Tarn Player"
wait_for 2 "the main window hidden" unmapped "$win"
tray_menu Exit
player_ended
[[ $status == 0 ]] || fail "the tray menu's Exit ended the player with status $status"
saved SIZE=1 || fail "the tray menu's Exit did not save the settings"

log "no notification area: the window shows; the icon comes with one"
stop_tray
start_player
tray_icon && fail "an icon without a notification area"
start_tray
wait_for 5 "the icon once a notification area runs" tray_icon
log "passed"
