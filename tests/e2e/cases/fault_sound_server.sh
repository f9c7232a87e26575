#!/usr/bin/env bash
# The sound server killed while a track plays: the player keeps running and
# says so on the track line, also after Pause and Play; once a server is
# back the next Play is heard, without a restart.
source "$(dirname "$0")/../lib.sh"
playing_tone

log "the sound server killed"
kill_sound_server
wait_for 5 "the track line to say the sound output is gone" track_line_has "the sound output is gone"
kill -0 "$player" || fail "the player ended with the sound server"
shot output-gone
log "track line: $(track_line)"
click label Pause
click label Play
sleep 1
kill -0 "$player" || fail "the player ended at Pause and Play without a sound server"
must "Pause and Play without a sound server hid that it is gone" track_line_has "the sound output is gone"

log "the sound server back, then Play"
start_sound_server
record again
click label Play
wait_for 5 "the 440 Hz tone after Play" hearing 440
wait_for 2 "the track line to name the track again" track_line_has "low60.mp3 - 01:00"
log "passed"
