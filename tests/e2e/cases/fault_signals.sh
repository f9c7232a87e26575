#!/usr/bin/env bash
# SIGTERM (a logout, `kill`) and SIGINT (Ctrl+C) while a track plays end the
# player as Exit does: status 0 (no crash, no core), rep.ini and the
# settings written.
source "$(dirname "$0")/../lib.sh"
tone=$(tone low60.mp3 440 60)
for sig in TERM INT; do
  log "SIG$sig while playing"
  rm -f "$app/rep.ini"
  settings SIZE=1 REP=1
  start_player
  record "$sig"
  add_file "$tone"
  click "push button" "Hide Playlist"
  wait_for 2 "the compact view" compact_view
  click label Play
  wait_for 5 "the tone" hearing 440
  kill -"$sig" "$player"
  player_ended
  [[ $status == 0 ]] || fail "SIG$sig ended the player with status $status"
  [[ $(repeat_file) == "$(printf '1\r\n' | od -An -c | tr -s ' ')" ]] || fail "SIG$sig: rep.ini is not 1: $(repeat_file)"
  saved SIZE=0 && saved REP=1 || fail "SIG$sig: the settings were not saved"
done
log "passed"
