#!/usr/bin/env bash
# Save Playlist writes the playlist through the save dialog; Load Playlist
# reads it back into an emptied playlist; saved again, the file is the same
# byte for byte.
source "$(dirname "$0")/../lib.sh"
one=$(tone "low tone.mp3" 440 5)
two=$(tone "high+tone.mp3" 880 5)
settings SIZE=1
start_player
add_file "$one"
add_file "$two"

save_playlist() { # path
  click "push button" "Save Playlist"
  file_dialog "$1"
  answer "there are 2 Songs in your playlist"
  answer "Saving playlist"
  answer "Saved your playlist"
  [[ -s $1 ]] || fail "Save Playlist did not write $1"
}
log "Save Playlist"
save_playlist "$out/first.TPL"

log "the playlist emptied with Remove, then Load Playlist"
for name in "low tone.mp3" "high+tone.mp3"; do
  click "list item" "$(printf '%s' "$name" | sed 's/[][\.*^$()+?{}|]/\\&/g')"
  click "push button" Remove
  wait_for 2 "$name removed" eval "! list_has '$name'"
done
click "push button" "Load Playlist"
file_dialog "$out/first.TPL"
answer "Playlist Imported"
wait_for 3 "the loaded playlist to be the saved one" playlist_is "low tone.mp3|high+tone.mp3"

log "saved again: the same bytes"
save_playlist "$out/second.TPL"
cmp "$out/first.TPL" "$out/second.TPL" || {
  seen="first: $(od -c "$out/first.TPL" | head -5)"
  fail "the playlist saved after loading differs from the one loaded"
}
log "passed"
