#!/usr/bin/env bash
# A playlist of a real track followed by 5 000 files that are not there:
# loading it and the automatic advance past the missing entries keep the
# window answering (timed throughout over the accessibility bus: figures in
# the output, only a generous bound asserted); the advance gives up after a
# run of unplayable entries with the end-of-playlist line.
source "$(dirname "$0")/../lib.sh"
real=$(tone short1.mp3 440 1)
list=$out/dead.TPL
{
  printf ' 5001 \r\n%s+short1.mp3\r\n' "$real"
  for i in $(seq 5000); do printf '%s/gone/%04d.mp3+%04d.mp3\r\n' "$out" "$i" "$i"; done
  printf 'end\r\n'
} >"$list"
settings SIZE=1 REP=0
start_player
record
# answering SECONDS: times the window's answers in the background.
answering() {
  /usr/bin/python3 "$e2e_src/a11y.py" "$player" answers "$1" >"$out/answers-$2.txt" &
  answers_pid=$!
}
bound() { # label: fails when an answer took longer than 2 s
  wait "$answers_pid" || true
  read -r n median longest <"$out/answers-$1.txt" || fail "no answers measured while $1"
  log "while $1: $n answers, median $median ms, longest $longest ms"
  awk -v l="$longest" 'BEGIN { exit !(l < 2000) }' || fail "the window did not answer for $longest ms while $1"
}

log "Load Playlist with 5 001 entries"
answering 5 loading
click "push button" "Load Playlist"
file_dialog "$list"
answer "Playlist Imported"
bound loading
wait_for 5 "the real track listed" list_has short1.mp3

log "the advance past the missing entries"
play_entry short1.mp3
wait_for 5 "the real track's tone" hearing 440
answering 3 advancing
wait_for 10 "the end-of-playlist line after the missing entries" track_line_has "End Of Playlist"
log "the end-of-playlist line"
bound advancing
log "track line: $(track_line)"
kill -0 "$player" || fail "the player ended"
log "passed"
