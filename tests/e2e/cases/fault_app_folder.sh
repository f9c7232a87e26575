#!/usr/bin/env bash
# The application folder full (a 64 KiB tmpfs filled up), then read-only (the
# same remounted), while the player runs: Options' Save and Save Playlist say
# that they could not write and leave the earlier files as they were; a flag
# set while the folder cannot take its reset is acted on exactly once; Exit
# still ends the player cleanly with its settings saved, and rep.ini holds a
# whole line (the old or the new). Skipped where tmpfs cannot be mounted.
source "$(dirname "$0")/../lib.sh"
sudo=()
(($(id -u) == 0)) || sudo=(sudo -n)
if ! "${sudo[@]}" mount -t tmpfs -o size=64k tarn-e2e "$app" 2>"$out/mount.log"; then
  echo "SKIPPED: cannot mount a tmpfs on the application folder here: $(cat "$out/mount.log")"
  exit 77
fi
at_exit+=('"${sudo[@]}" umount "$app"')
a=$(tone a60.mp3 440 60) b=$(tone b60.mp3 660 60) c=$(tone c60.mp3 880 60)

for mode in full read-only; do
  log "the application folder $mode"
  "${sudo[@]}" mount -o remount,rw "$app"
  rm -f "$app"/*
  printf ' 60 \r\n' >"$app/Trans.ini"
  printf '1\r\n' >"$app/rep.ini"
  printf ' 0 \r\nend\r\n' >"$app/list.TPL"
  settings SIZE=1 REP=0
  start_player
  record "$mode"
  for f in "$a" "$b" "$c"; do add_file "$f"; done
  play_entry a60.mp3
  wait_for 5 "the first track" hearing 440
  wait_for 2 "the flag files made by the poll" test -f "$app/next2.ini"

  # A request written just before the folder fills or turns read-only.
  kill -STOP "$player"
  printf 1 >"$app/next2.ini"
  if [[ $mode == full ]]; then
    dd if=/dev/zero of="$app/filler" bs=1k 2>/dev/null || true
  else
    "${sudo[@]}" mount -o remount,ro "$app"
  fi
  kill -CONT "$player"
  # The poll cannot set the flag back to 0: it acts on the request once and
  # not again at the following polls, and the request stays in the file.
  wait_for 3 "next2.ini acted on: the next track" caption_is "$b"
  sleep 2 # four more polls
  caption_is "$b" || fail "next2.ini acted on more than once"
  cmp -s <(printf 1) "$app/next2.ini" || fail "next2.ini changed: $(od -c "$app/next2.ini")"

  click "push button" Options
  wait_for 5 "the Options window" window_named Options
  options=$found
  click "push button" Up
  click "push button" Save
  answer "Could not save the mini player's opacity"
  cmp -s <(printf ' 60 \r\n') "$app/Trans.ini" || fail "Trans.ini changed: $(od -c "$app/Trans.ini")"
  close_box "$options"
  wait_for 2 "the Options window to close" unmapped "$options"

  click "push button" "Save Playlist"
  file_dialog "$app/list.TPL" replace
  answer "there are 3 Songs"
  answer "Saving playlist"
  answer "Could not save the playlist"
  cmp -s <(printf ' 0 \r\nend\r\n') "$app/list.TPL" || fail "the earlier list.TPL was damaged"

  click "push button" Exit
  player_ended
  [[ $status == 0 ]] || fail "Exit ended the player with status $status"
  saved REP=0 && saved SIZE=1 || fail "Exit did not save the settings"
  rep=$(od -An -c "$app/rep.ini" | tr -s ' ')
  [[ $rep == " 1 \r \n" || $rep == " 2 \r \n" ]] || fail "rep.ini holds neither line: $rep"
done
log "passed"
