#!/usr/bin/env bash
# A file that changes on disk while it plays: cut short, it ends where it now
# ends (the length shown follows) and the next entry plays; deleted, it plays
# on (Linux keeps the open file); overwritten with another sound, that sound
# and its length follow, then the end of the playlist. No crash throughout.
source "$(dirname "$0")/../lib.sh"
for f in cut gone replaced; do cp "$(tone low30.wav 440 30)" "$out/$f.wav"; done
after=$(tone high3.wav 880 3)
# Made before anything plays, so that the overwrite lands early in the track.
# The engine has decoded about 4 s ahead when it lands: the new sound is heard
# from there to its end (8 s), and its length once the reads reach that end.
new=$(tone mid8.wav 660 8)
settings SIZE=1 REP=0
start_player
record
for f in cut gone replaced; do add_file "$out/$f.wav"; done
add_file "$after"

log "cut short while it plays"
play_entry cut.wav
wait_for 5 "the 440 Hz tone" hearing 440
truncate -s $((44 + 44100 * 4 * 4)) "$out/cut.wav" # 4 s of 16-bit stereo
wait_for 5 "the track line to show the new length" track_line_has "cut.wav -  00:04"
wait_for 8 "the next entry after the cut" caption_is "$out/gone.wav"
wait_for 3 "its tone" hearing 440
kill -0 "$player" || fail "the player ended"

log "deleted while it plays"
t=$(time_text)
rm "$out/gone.wav"
wait_for 5 "the time to move on after the deletion" eval '[[ $(time_text) > "$t" ]]'
hearing 440 || fail "the deleted file stopped sounding"
must "the track line changed at the deletion" track_line_has "gone.wav -  00:30"

log "overwritten with another sound while it plays"
play_entry replaced.wav
wait_for 5 "the 440 Hz tone" hearing 440
cat "$new" >"$out/replaced.wav"
wait_for 5 "the track line to show the new length" track_line_has "replaced.wav -  00:08"
wait_for 8 "the new sound (660 Hz)" hearing 660
wait_for 12 "the end-of-playlist line" track_line_has "End Of Playlist"
kill -0 "$player" || fail "the player ended"
log "passed"
