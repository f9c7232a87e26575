#!/usr/bin/env bash
# The saved settings come back at start (view, volume, Repeat); Exit and the
# close box both write rep.ini and the settings, and the next start shows
# what was left.
source "$(dirname "$0")/../lib.sh"
rm -f "$app/rep.ini"
settings Vol=1250 REP=1 SIZE=0
start_player
must "the saved compact view is not shown" compact_view
must "the saved volume is not shown as 50 %" label_shown '^Volume 50 %$'
must "the saved Repeat is not ticked" checked "check box" Repeat
shot started-compact

log "change view, Repeat and volume, then Exit"
click "push button" "Show Playlist"
wait_for 2 "the full view" full_view
click "check box" Repeat
wait_for 2 "Repeat unticked" eval '! checked "check box" Repeat'
drag "scroll bar" "" 0.5 1.2
wait_for 2 "the volume label at 100 %" label_shown '^Volume 100 %$'
click "push button" Exit
player_ended
[[ $status == 0 ]] || fail "Exit ended the player with status $status"
[[ $(repeat_file) == "$(printf '2\r\n' | od -An -c | tr -s ' ')" ]] || fail "rep.ini is not 2 (Repeat off): $(repeat_file)"
saved SIZE=1 && saved REP=0 && saved Vol=2500 || fail "Exit did not save the full view, Repeat off and volume 2500"

log "a second start restores them; the close box saves too"
rm -f "$app/rep.ini"
start_player
must "the full view saved at Exit is not shown" full_view
must "the volume saved at Exit is not shown" label_shown '^Volume 100 %$'
checked "check box" Repeat && fail "Repeat is ticked although it was saved off"
click "push button" "Hide Playlist"
wait_for 2 "the compact view" compact_view
click "check box" Repeat
wait_for 2 "Repeat ticked" checked "check box" Repeat
close_box "$win"
player_ended
[[ $status == 0 ]] || fail "the close box ended the player with status $status"
[[ $(repeat_file) == "$(printf '1\r\n' | od -An -c | tr -s ' ')" ]] || fail "rep.ini is not 1 (Repeat on): $(repeat_file)"
saved SIZE=0 && saved REP=1 || fail "the close box did not save the compact view and Repeat on"
start_player
must "the view saved by the close box is not shown" compact_view
must "the Repeat saved by the close box is not ticked" checked "check box" Repeat
log "passed"
