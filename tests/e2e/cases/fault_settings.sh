#!/usr/bin/env bash
# A settings file that is garbage, empty or a directory: the player starts
# with the defaults (compact view, full volume, Repeat ticked) and Exit ends
# it cleanly; a file is written anew, a directory is left alone.
source "$(dirname "$0")/../lib.sh"
at_exit+=('rm -rf "$conf"')
for kind in garbage empty directory; do
  log "settings: $kind"
  rm -rf "$conf"
  mkdir -p "$(dirname "$conf")"
  case $kind in
    garbage) head -c 4096 /dev/urandom >"$conf"; printf '\n[Settings\n=\n\x01\x02\n' >>"$conf" ;;
    empty) : >"$conf" ;;
    directory) mkdir "$conf" ;;
  esac
  start_player
  must "$kind settings: not the compact view" compact_view
  must "$kind settings: not the full volume" label_shown '^Volume 100 %$'
  must "$kind settings: Repeat not ticked" checked "check box" Repeat
  click "push button" Exit
  player_ended
  [[ $status == 0 ]] || fail "$kind settings: Exit ended the player with status $status"
  if [[ $kind == directory ]]; then
    [[ -d $conf ]] || fail "the directory in the settings file's place was removed"
  else
    saved SIZE=0 && saved REP=1 && saved Vol=2500 || fail "$kind settings: Exit did not save the settings"
  fi
done
log "passed"
